#include "sealkit/clscipherbase.h"

#include "bitstringcipher.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "raisederror.h"
#include "textkit/clsstring.h"

#include <functional>
#include <gtest/gtest.h>
#include <random>

using sealkit::clsCipherBase;
using textkit::clsString;

namespace {

int ByteSum(const QString &text)
{
    int sum = 0;
    for (char b : platform::codepage::toAnsi(text))
        sum += static_cast<unsigned char>(b);
    return sum % 256;
}

// Texts of single-byte characters: any byte of the code page, or (with
// foreign) now and then characters the page lacks.
class RandomTexts {
public:
    QString next(qsizetype length, bool foreign = false)
    {
        QString text(length, Qt::Uninitialized);
        for (QChar &c : text) {
            if (foreign && m_byte(m_engine) < 8)
                c = QChar(u'\u4E00' + m_byte(m_engine));
            else
                c = platform::codepage::ansiChar(static_cast<unsigned char>(m_byte(m_engine)));
        }
        return text;
    }
    qsizetype length(qsizetype from, qsizetype to)
    {
        return std::uniform_int_distribution<qsizetype>(from, to)(m_engine);
    }

private:
    std::mt19937 m_engine{20240611};
    std::uniform_int_distribution<int> m_byte{0, 255};
};

const clsCipherBase cipher;

} // namespace

TEST(clsCipherBase, KnownCipherTexts)
{
    EXPECT_EQ(cipher.Encrypt(u"abc", true), QStringLiteral("6A666AEC"));
    EXPECT_EQ(cipher.Encrypt(u"abc", false), clsString::CHex2Str(u"6A666AEC"));
    EXPECT_EQ(cipher.Decrypt(clsString::CHex2Str(u"6A666AEC"), false), QStringLiteral("abc"));
    EXPECT_EQ(cipher.Decrypt(clsString::CHex2Str(u"6A666AEC"), true), QStringLiteral("616263"));

    EXPECT_EQ(cipher.Encrypt(u"", false), QString(2, QChar(0)));
    EXPECT_EQ(cipher.Encrypt(u"", true), QStringLiteral("0000"));
}

TEST(clsCipherBase, TextsTooShortToHoldACheckCharacterDecipherToNothing)
{
    EXPECT_EQ(cipher.Decrypt(u"", false), QString());
    EXPECT_EQ(cipher.Decrypt(u"x", false), QString());
    EXPECT_EQ(cipher.Decrypt(u"x", true), QString());
}

TEST(clsCipherBase, LengthLimitOfTheBitStrings)
{
    RandomTexts texts;
    const QString longest = texts.next(4095);
    const QString enciphered = cipher.Encrypt(longest, false);
    EXPECT_EQ(enciphered.size(), 4096);
    EXPECT_EQ(cipher.Encrypt(longest, true).size(), 8192);
    EXPECT_EQ(cipher.Decrypt(enciphered, false), longest);

    EXPECT_EQ(RaisedNumber([&] { cipher.Encrypt(texts.next(4096), false); }), platform::ErrOverflow);
    EXPECT_EQ(RaisedNumber([&] { cipher.Encrypt(texts.next(40000), true); }), platform::ErrOverflow);
    EXPECT_EQ(RaisedNumber([&] { cipher.Decrypt(texts.next(4097), false); }), platform::ErrOverflow);
}

TEST(clsCipherBase, EveryTextComesBackWithItsByteSum)
{
    RandomTexts texts;
    std::vector<qsizetype> lengths = {1, 2, 3, 4, 4094, 4095};
    for (int i = 0; i < 3000; ++i)
        lengths.push_back(texts.length(1, i % 10 == 0 ? 4095 : 200));
    for (qsizetype length : lengths) {
        const QString plain = texts.next(length);
        const QString enciphered = cipher.Encrypt(plain, false);
        ASSERT_EQ(enciphered.size(), length + 1);
        ASSERT_EQ(cipher.Decrypt(enciphered, false), plain) << "length " << length;
        ASSERT_EQ(ByteSum(enciphered), ByteSum(plain)) << "length " << length;
        ASSERT_EQ(cipher.Encrypt(plain, true), clsString::CStr2Hex(enciphered));
        ASSERT_EQ(cipher.Decrypt(enciphered, true), clsString::CStr2Hex(plain));
    }
}

// clsCipherBase against the cipher composed of clsString's bit-string
// members, on plain texts and on arbitrary cipher texts.
TEST(clsCipherBase, SameBytesAsTheBitStringComposition)
{
    RandomTexts texts;
    std::vector<qsizetype> lengths = {0, 1, 2, 3, 4095, 4096};
    for (int i = 0; i < 1000; ++i)
        lengths.push_back(texts.length(0, i % 3 == 0 ? 4096 : 64));
    for (qsizetype length : lengths) {
        for (bool hex : {false, true}) {
            const QString text = texts.next(length, length % 2 == 0);
            ASSERT_EQ(cipher.Decrypt(text, hex), sealkit::bitstrings::Decrypt(text, hex)) << "length " << length;
            if (length > 4095)
                continue;
            const QString enciphered = cipher.Encrypt(text, hex);
            ASSERT_EQ(enciphered, sealkit::bitstrings::Encrypt(text, hex)) << "length " << length;
        }
    }
    for (qsizetype length : {4096, 4097}) {
        const QString text = texts.next(length);
        const int plainError = length > 4095 ? platform::ErrOverflow : 0;
        const int cipherError = length > 4096 ? platform::ErrOverflow : 0;
        EXPECT_EQ(RaisedNumber([&] { cipher.Encrypt(text, false); }), plainError);
        EXPECT_EQ(RaisedNumber([&] { sealkit::bitstrings::Encrypt(text, false); }), plainError);
        EXPECT_EQ(RaisedNumber([&] { cipher.Decrypt(text, false); }), cipherError);
        EXPECT_EQ(RaisedNumber([&] { sealkit::bitstrings::Decrypt(text, false); }), cipherError);
    }
}

TEST(clsCipherBase, CharactersThePageLacksCountAsQuestionMarks)
{
    const QString foreign = QString::fromUtf16(u"a\u4E2Db\U0001F600");
    const QString asPage = QStringLiteral("a?b??");
    EXPECT_EQ(cipher.Encrypt(foreign, false), cipher.Encrypt(asPage, false));
    EXPECT_EQ(cipher.Decrypt(cipher.Encrypt(foreign, false), false), asPage);
    EXPECT_EQ(cipher.Decrypt(foreign, true), cipher.Decrypt(asPage, true));
}

TEST(clsCipherBase, DamagedCipherTextDeciphersWithoutError)
{
    const QString plain = QStringLiteral("Meeting moved to 15:30|Room 2");
    QString damaged = cipher.Encrypt(plain, false);
    damaged[3] = QChar(damaged[3].unicode() ^ 0x01);
    const QString result = cipher.Decrypt(damaged, false);
    EXPECT_EQ(result.size(), plain.size());
    EXPECT_NE(result, plain);
}
