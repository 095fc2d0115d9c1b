#include "vorbex/modpdu.h"

#include "simpdu/simpdu.h"

#include "text.h"

#include <gtest/gtest.h>

#include <random>

using namespace modPDU;

namespace {

QDateTime TestStamp()
{
    return QDateTime(QDate(2024, 12, 31), QTime(23, 59, 58), Qt::OffsetFromUTC, 3 * 3600);
}

// Every character with a GSM code: the default alphabet and the extension.
QList<QChar> GsmCharacters()
{
    QList<QChar> all;
    for (int k = 0; k < 128; ++k) {
        for (const QString& entry : {GsmAlphabetEntry(k), GsmExtensionEntry(k)})
            if (!entry.isEmpty())
                all.append(entry[0]);
    }
    return all;
}

// A random text of at most `maxSeptets` septets drawn from `characters`.
QString RandomText(std::mt19937& random, const QList<QChar>& characters, int maxSeptets)
{
    const int target = std::uniform_int_distribution<int>(1, maxSeptets)(random);
    std::uniform_int_distribution<qsizetype> pick(0, characters.size() - 1);
    QString text;
    qsizetype septets = 0;
    while (true) {
        const QChar c = characters[pick(random)];
        septets += TextToSeptets(QString(c)).size();
        if (septets > target)
            return text.isEmpty() ? QString(c) : text;
        text.append(c);
    }
}

TEST(RoundTrip, RandomGsmTextsThroughDeliverPdus)
{
    const QList<QChar> characters = GsmCharacters();
    ASSERT_EQ(characters.size(), 137);
    std::mt19937 random(20240611);
    for (int i = 0; i < 2000; ++i) {
        const QString text = RandomText(random, characters, 160);
        const QString pdu = simpdu::BuildDeliverPdu(S(u"+905321234567"), text, TestStamp());
        ASSERT_FALSE(pdu.isEmpty()) << text.toStdString();
        QString phone, datetime;
        ASSERT_EQ(DecodeDeliverPdu(pdu, true, phone, datetime), text);
        ASSERT_EQ(phone, S(u"+905321234567"));
        ASSERT_EQ(datetime, S(u"24123123595812"));
    }
}

// The user data of a SUBMIT moved into a DELIVER, as the network hands it on.
QString DeliverFromSubmit(const QString& submit)
{
    const int digits = HexByteValue(submit.mid(6, 2));
    const qsizetype coding = 6 + 4 + digits + digits % 2 + 2;
    const QString userData = submit.mid(coding + 4); // after coding and validity period
    return S(u"00" u"04" u"0B91" u"0983213254F6" u"00") + submit.mid(coding, 2) + S(u"42211332958521") + userData;
}

TEST(RoundTrip, EncodedSevenBitTextsDecodeToThemselves)
{
    QList<QChar> characters;
    for (const QChar c : GsmCharacters())
        if (c.unicode() < 128)
            characters.append(c);
    std::mt19937 random(7);
    QStringList texts = {S(u"a@b_$[x]"), S(u"{curly} ~tilde~ \\back\\ ^hat^ |pipe|"), QString(80, u']')};
    for (int i = 0; i < 500; ++i)
        texts.append(RandomText(random, characters, 160));
    for (const QString& text : texts) {
        const QString submit = EncodeSubmitPdu(S(u"+905321234567"), text);
        ASSERT_EQ(simpdu::ReadSubmitPdu(submit).coding, S(u"00")) << text.toStdString();
        QString phone, datetime;
        ASSERT_EQ(DecodeDeliverPdu(DeliverFromSubmit(submit), true, phone, datetime), text);
    }
}

TEST(RoundTrip, EncodedUcs2TextsDecodeToThemselves)
{
    std::mt19937 random(99);
    std::uniform_int_distribution<int> code(1, 0xD7FF);
    for (int i = 0; i < 500; ++i) {
        QString text;
        const int length = std::uniform_int_distribution<int>(1, 70)(random);
        for (int k = 0; k < length; ++k)
            text.append(QChar(static_cast<char16_t>(code(random))));
        text[0] = QChar(u'ж'); // keeps the text off the 7-bit coding
        const QString submit = EncodeSubmitPdu(S(u"0532123456"), text);
        ASSERT_EQ(simpdu::ReadSubmitPdu(submit).coding, S(u"08"));
        QString phone, datetime;
        ASSERT_EQ(DecodeDeliverPdu(DeliverFromSubmit(submit), true, phone, datetime), text);
    }
}

// Random and mutated PDUs: the decoder must neither crash nor read outside
// its input (this test runs under AddressSanitizer in the sanitizer build).
TEST(RandomInput, DecoderSurvivesMutatedAndRandomPdus)
{
    std::mt19937 random(12345);
    const QList<QChar> characters = GsmCharacters();
    const QString hexDigits = S(u"0123456789ABCDEFabcdef");
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 20000; ++i) {
        QString pdu;
        switch (i % 3) {
        case 0: { // a valid PDU with some characters changed, cut or doubled
            const auto coding = static_cast<simpdu::Coding>(i % 4);
            pdu = simpdu::BuildDeliverPdu(S(u"+123"), RandomText(random, characters, 60), TestStamp(), coding);
            if (pdu.isEmpty())
                pdu = S(u"00");
            const int edits = std::uniform_int_distribution<int>(1, 4)(random);
            for (int e = 0; e < edits; ++e) {
                const qsizetype at = std::uniform_int_distribution<qsizetype>(0, pdu.size() - 1)(random);
                pdu[at] = hexDigits[byte(random) % hexDigits.size()];
            }
            if (byte(random) < 64)
                pdu.truncate(std::uniform_int_distribution<qsizetype>(1, pdu.size())(random));
            break;
        }
        case 1: { // random hex of any length
            const int length = std::uniform_int_distribution<int>(0, 400)(random);
            for (int k = 0; k < length; ++k)
                pdu.append(hexDigits[byte(random) % hexDigits.size()]);
            break;
        }
        default: { // arbitrary UTF-16
            const int length = std::uniform_int_distribution<int>(0, 64)(random);
            for (int k = 0; k < length; ++k)
                pdu.append(QChar(static_cast<char16_t>(byte(random) | (byte(random) << 8))));
            break;
        }
        }
        QString phone, datetime;
        const QString text = DecodeDeliverPdu(pdu, i % 2 == 0, phone, datetime);
        if (!IsHexString(pdu)) {
            ASSERT_TRUE(text.isEmpty() && phone.isEmpty() && datetime.isEmpty());
        }
        ASSERT_LE(text.size(), pdu.size());
        SeptetsToText(UnpackSeptets(pdu));
    }
}

} // namespace
