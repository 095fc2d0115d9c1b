#include "common/md5.h"
#include "platform/error.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

using common::clsMD5;

namespace {

// Qt's own MD5, independent of ours, for the lengths that follow RFC 1321.
QString Rfc1321(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

// A text of n ASCII letters that is not one letter repeated.
QByteArray Pattern(int n)
{
    QByteArray bytes;
    for (int i = 0; i < n; ++i)
        bytes += static_cast<char>('a' + (i * 7) % 26);
    return bytes;
}

QString Digest(const QByteArray &ascii)
{
    clsMD5 md5;
    return md5.DigestStrToHexStr(QString::fromLatin1(ascii));
}

int ErrorNumberOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const platform::Error &e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(clsMD5, KnownDigests)
{
    struct Case {
        QByteArray text;
        const char *digest;
    };
    const Case cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {QByteArray(56, 'a'), "959729528C4D3149AAED8B0ACA8859BB"},
        // Further lengths that finish without padding, worked out by hand
        // from the final-block rule.
        {Pattern(120), "13C0F53021071084F5A52F46A8DC79BF"},
        {Pattern(121), "726531986179C9371D0A15E090E36B5F"},
        {Pattern(127), "CE2FF404BD9D781F4C40B35F085C465A"},
        {Pattern(184), "E9361911F78437E857EDF306AE7877F3"},
        {Pattern(250), "A777159B829CB186756AC2082D78C3F9"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Digest(c.text), QLatin1String(c.digest)) << "length " << c.text.size();
}

TEST(clsMD5, FollowsRfc1321ExceptAtTheDesignedLengths)
{
    for (int n = 0; n <= 400; ++n) {
        const int r = n % 64;
        const bool finishesWithoutPadding = r == 56 || (n >= 64 && r > 56);
        const QByteArray text = Pattern(n);
        EXPECT_EQ(Digest(text) == Rfc1321(text), !finishesWithoutPadding) << "length " << n;
    }
}

TEST(clsMD5, BytesPastTheFirst56OfTheLastBlockTakeNoPart)
{
    for (int n : {121, 124, 127, 185, 255}) {
        const int ignored = n % 64 - 56;
        QByteArray text = Pattern(n);
        const QString digest = Digest(text);

        QByteArray lastChanged = text;
        lastChanged[n - 1] = '#';
        EXPECT_EQ(Digest(lastChanged), digest) << "length " << n;

        QByteArray countedChanged = text;
        countedChanged[n - ignored - 1] = '#';
        EXPECT_NE(Digest(countedChanged), digest) << "length " << n;
    }
}

TEST(clsMD5, RegistersAfterInit)
{
    clsMD5 md5;
    md5.DigestStrToHexStr(QStringLiteral("abc"));
    md5.MD5Init();
    EXPECT_EQ(md5.RegisterA(), QStringLiteral("1732584193"));
    EXPECT_EQ(md5.RegisterB(), QStringLiteral("-271733879"));
    EXPECT_EQ(md5.RegisterC(), QStringLiteral("-1732584194"));
    EXPECT_EQ(md5.RegisterD(), QStringLiteral("271733878"));
    EXPECT_EQ(md5.GetValues(), QStringLiteral("0123456789ABCDEFFEDCBA9876543210"));
}

TEST(clsMD5, FeedingInPiecesEqualsFeedingAtOnce)
{
    const QByteArray text = Pattern(200);
    clsMD5 whole;
    whole.MD5Init();
    whole.MD5Update(200, text);
    const QString wholeA = whole.RegisterA();
    whole.MD5Final();

    for (int cut : {0, 1, 55, 56, 63, 64, 65, 127, 128, 129, 199, 200}) {
        clsMD5 pieces;
        pieces.MD5Init();
        pieces.MD5Update(cut, text.left(cut));
        pieces.MD5Update(200 - cut, text.mid(cut));
        EXPECT_EQ(pieces.RegisterA(), wholeA) << "cut at " << cut;
        pieces.MD5Final();
        EXPECT_EQ(pieces.GetValues(), whole.GetValues()) << "cut at " << cut;
    }
}

TEST(clsMD5, UpdateFeedsOnlyTheCountedBytes)
{
    clsMD5 md5;
    md5.MD5Init();
    md5.MD5Update(3, QByteArrayLiteral("abcdef"));
    md5.MD5Final();
    EXPECT_EQ(md5.GetValues(), Rfc1321("abc"));
}

TEST(clsMD5, UpdateRefusesBadCountsAndKeepsItsState)
{
    struct Case {
        qint32 count;
        int error;
    };
    for (const Case c : {Case{-1, platform::ErrInvalidCall}, Case{7, platform::ErrSubscript}}) {
        clsMD5 md5;
        md5.MD5Init();
        md5.MD5Update(1, QByteArrayLiteral("a"));
        EXPECT_EQ(ErrorNumberOf([&] { md5.MD5Update(c.count, QByteArrayLiteral("bcdef")); }), c.error);
        md5.MD5Update(2, QByteArrayLiteral("bc"));
        md5.MD5Final();
        EXPECT_EQ(md5.GetValues(), Rfc1321("abc")) << "count " << c.count;
    }
}

TEST(clsMD5, TotalWhoseBitLengthPasses32SignedBitsIsOverflow)
{
    const QByteArray mebibyte(1 << 20, 'x');
    clsMD5 md5;
    md5.MD5Init();
    for (int i = 0; i < 255; ++i)
        md5.MD5Update(mebibyte.size(), mebibyte);
    md5.MD5Update((1 << 20) - 1, mebibyte); // 2^28 - 1 bytes: 8 n still fits
    EXPECT_EQ(ErrorNumberOf([&] { md5.MD5Update(1, mebibyte); }), platform::ErrOverflow);
}

TEST(clsMD5, TextLengthLimit)
{
    clsMD5 md5;
    EXPECT_EQ(md5.DigestStrToHexStr(QString(32767, QLatin1Char('a'))).size(), 32);
    EXPECT_EQ(ErrorNumberOf([&] { md5.DigestStrToHexStr(QString(32768, QLatin1Char('a'))); }), platform::ErrOverflow);
}

TEST(clsMD5, LongLeftRotate)
{
    struct Case {
        quint32 value;
        qint32 bits;
        quint32 rotated;
    };
    const Case cases[] = {
        {0x00000001u, 1, 0x00000002u},
        {0x80000000u, 1, 0x00000001u},
        {0x12345678u, 0, 0x12345678u},
        {0x12345678u, 32, 0x12345678u},
        {0x12345678u, 36, 0x23456781u},
        {0x12345678u, -4, 0x81234567u},
    };
    for (const Case &c : cases)
        EXPECT_EQ(static_cast<quint32>(clsMD5::LongLeftRotate(static_cast<qint32>(c.value), c.bits)), c.rotated)
            << std::hex << c.value << " by " << std::dec << c.bits;
}

TEST(clsMD5, DigestFileEqualsDigestOfItsBytes)
{
    QTemporaryDir dir;
    for (int n : {0, 3, 56, 64, 121, 1000}) {
        const QString path = dir.filePath(QStringLiteral("f%1").arg(n));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Pattern(n));
        file.close();
        clsMD5 md5;
        EXPECT_EQ(md5.DigestFileToHexStr(path), Digest(Pattern(n))) << "length " << n;
    }
}

TEST(clsMD5, DigestFileIsEmptyWhenItCannotBeRead)
{
    QTemporaryDir dir;
    clsMD5 md5;
    EXPECT_EQ(md5.DigestFileToHexStr(dir.filePath(QStringLiteral("missing"))), QString());
    EXPECT_EQ(md5.DigestFileToHexStr(dir.path()), QString());
}

TEST(PasswordDigest, SaltFirstThroughTheAnsiPage)
{
    struct Case {
        QString password;
        QByteArray digested; // the bytes that follow the salt
    };
    const Case cases[] = {
        {QStringLiteral("secret"), "secret"},
        {QString(), ""},
        {QStringLiteral(" a b "), " a b "},
        {QStringLiteral("şifreİ"), "\xFE" "ifre\xDD"},          // Windows-1254
        {QStringLiteral("パスword"), "??word"},                  // not on the page
    };
    for (const Case &c : cases)
        EXPECT_EQ(common::PasswordDigest(c.password), Rfc1321("plumtreeorbit" + c.digested)) << c.password.toStdString();
}

TEST(PasswordDigest, FortyThreeCharactersFinishWithoutPadding)
{
    // 13 + 43 = 56 bytes.
    EXPECT_EQ(common::PasswordDigest(QString(43, QLatin1Char('x'))), QStringLiteral("C626EEA1C356C29394EBC590096A9B17"));
}
