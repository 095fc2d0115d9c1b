#include "vorbex/modpdu.h"

#include "simpdu/simpdu.h"

#include "text.h"

#include <gtest/gtest.h>

using namespace modPDU;

namespace {

// "00" service centre, "11" first octet, "00" reference: the fixed head of
// every PDU the encoder writes. The address follows it.
constexpr qsizetype AddressStart = 6;

struct SubmitTail {
    QString coding;
    QString userDataLength;
    QString userData;
};

// Splits the fields after the address of an encoded PDU.
SubmitTail TailOf(const QString& pdu)
{
    const int digits = HexByteValue(pdu.mid(AddressStart, 2));
    const qsizetype pos = AddressStart + 4 + digits + digits % 2 + 2; // length, type, address, protocol id
    return {pdu.mid(pos, 2), pdu.mid(pos + 4, 2), pdu.mid(pos + 6)};
}

TEST(HexByte, DigitsWithEvenCount)
{
    const std::pair<qint32, const char*> cases[] = {
        {0, "00"}, {9, "09"}, {10, "0A"}, {160, "A0"}, {255, "FF"}, {256, "0100"}, {4095, "0FFF"}, {-1, "FFFFFFFF"},
    };
    for (const auto& [value, hex] : cases)
        EXPECT_EQ(HexByte(value), QLatin1String(hex)) << value;
}

TEST(SwapSemiOctets, FillsOddCountAndSwapsPairs)
{
    EXPECT_EQ(SwapSemiOctets(QString()), QString());
    EXPECT_EQ(SwapSemiOctets(S(u"12")), S(u"21"));
    EXPECT_EQ(SwapSemiOctets(S(u"123456789")), S(u"21436587F9"));
}

TEST(CharToUcs2Hex, FirstCharacterHighByteFirst)
{
    EXPECT_EQ(CharToUcs2Hex(QString()), QString());
    EXPECT_EQ(CharToUcs2Hex(S(u"é")), S(u"00E9"));
    EXPECT_EQ(CharToUcs2Hex(S(u"Ωx")), S(u"03A9"));
    EXPECT_EQ(CharToUcs2Hex(S(u"€")), S(u"20AC"));
}

TEST(PackSeptets, KnownVectors)
{
    EXPECT_EQ(PackSeptets(QString()), QString());
    EXPECT_EQ(PackSeptets(S(u"hellohello")), S(u"E8329BFD4697D9EC37"));
    EXPECT_EQ(PackSeptets(S(u"1234567")), S(u"31D98C56B3DD00"));
    // The eighth septet fills the top of the seventh octet.
    EXPECT_EQ(PackSeptets(S(u"12345678")), S(u"31D98C56B3DD70"));
    EXPECT_EQ(PackSeptets(S(u"123456789")), S(u"31D98C56B3DD7039"));
}

TEST(TextToSeptets, GsmCodesAndEscapes)
{
    const std::pair<const char16_t*, QList<int>> cases[] = {
        {u"Az", {65, 122}},
        {u"@$_", {0, 2, 17}},
        {u"é£Δ", {5, 1, 16}},
        {u"\n\r", {10, 13}},
        {u"[€", {27, 60, 27, 101}},
        {u"\f^{}\\~]|", {27, 10, 27, 20, 27, 40, 27, 41, 27, 47, 27, 61, 27, 62, 27, 64}},
    };
    for (const auto& [text, codes] : cases) {
        QString expected;
        for (const int c : codes)
            expected.append(QChar(c));
        EXPECT_EQ(TextToSeptets(S(text)), expected) << S(text).toStdString();
    }
    for (const char16_t* text : {u"", u"a`b", u"tab\there", u"Ж"})
        EXPECT_EQ(TextToSeptets(S(text)), QString()) << S(text).toStdString();
}

TEST(IsValidPhoneNumber, LengthAndCharacters)
{
    const std::pair<QString, bool> cases[] = {
        {QString(), false},
        {S(u"12"), false},
        {S(u"123"), true},
        {S(u"+12"), true},
        {QString(20, u'1'), true},
        {QString(21, u'1'), false},
        {S(u"+") + QString(19, u'1'), true},
        {S(u"+") + QString(20, u'1'), false},
        {S(u"12p34"), true},
        {S(u"12P34"), false},
        {S(u"12 34"), false},
        {S(u"++123"), false},
        {S(u"123+"), false},
        {S(u"१२३"), false},
    };
    for (const auto& [number, valid] : cases)
        EXPECT_EQ(IsValidPhoneNumber(number), valid) << number.toStdString();
}

TEST(EncodeSubmitPdu, WholePduForAnInternationalNumber)
{
    EXPECT_EQ(EncodeSubmitPdu(S(u"+123456789"), S(u"hellohello")),
              S(u"001100" u"09" u"91" u"21436587F9" u"00" u"00" u"AA" u"0A" u"E8329BFD4697D9EC37"));
}

TEST(EncodeSubmitPdu, AddressFields)
{
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"+123456789", u"09" u"91" u"21436587F9"},
        {u"00123456789", u"09" u"91" u"21436587F9"},
        {u"0123456789", u"0A" u"81" u"1032547698"},
        {u"+12", u"02" u"91" u"21"},
        {u"12p4", u"04" u"81" u"214p"},
    };
    for (const auto& [number, address] : cases) {
        const QString pdu = EncodeSubmitPdu(S(number), S(u"hi"));
        EXPECT_EQ(pdu.mid(AddressStart, S(address).size()), S(address)) << S(number).toStdString();
    }
}

TEST(EncodeSubmitPdu, RefusesBadNumberLengthAndEmptyText)
{
    EXPECT_EQ(EncodeSubmitPdu(S(u"12"), S(u"hi")), QString());
    EXPECT_EQ(EncodeSubmitPdu(QString(21, u'1'), S(u"hi")), QString());
    EXPECT_EQ(EncodeSubmitPdu(S(u"+123456789"), QString()), QString());
}

TEST(EncodeSubmitPdu, LengthLimits)
{
    const QString number = S(u"+123456789");
    const SubmitTail seven = TailOf(EncodeSubmitPdu(number, QString(160, u'A')));
    EXPECT_EQ(seven.coding, S(u"00"));
    EXPECT_EQ(seven.userDataLength, S(u"A0"));
    EXPECT_EQ(seven.userData.size(), 140 * 2);
    EXPECT_EQ(EncodeSubmitPdu(number, QString(161, u'A')), QString());

    const SubmitTail ucs2 = TailOf(EncodeSubmitPdu(number, QString(70, u'é')));
    EXPECT_EQ(ucs2.coding, S(u"08"));
    EXPECT_EQ(ucs2.userDataLength, S(u"8C"));
    EXPECT_EQ(ucs2.userData.size(), 140 * 2);
    EXPECT_EQ(EncodeSubmitPdu(number, QString(71, u'é')), QString());
}

TEST(EncodeSubmitPdu, SingleAccentedCharacterGoesOutAsUcs2)
{
    const SubmitTail tail = TailOf(EncodeSubmitPdu(S(u"+123456789"), S(u"é")));
    EXPECT_EQ(tail.coding, S(u"08"));
    EXPECT_EQ(tail.userDataLength, S(u"02"));
    EXPECT_EQ(tail.userData, S(u"00E9"));
}

// Characters whose GSM code differs from their own code must go out as
// their GSM code, the extension characters behind an escape.
TEST(EncodeSubmitPdu, SevenBitTextGoesOutInGsmCodes)
{
    struct Case {
        const char16_t* text;
        const char16_t* length;
        const char16_t* data;
    };
    const Case cases[] = {
        {u"@", u"01", u"00"},
        {u"$", u"01", u"02"},
        {u"_", u"01", u"11"},
        {u"[", u"02", u"1B1E"},
        {u"a@b_$[x]", u"0A", u"61803822D8F0F01B1F"},
    };
    for (const auto& c : cases) {
        const SubmitTail tail = TailOf(EncodeSubmitPdu(S(u"+123456789"), S(c.text)));
        EXPECT_EQ(tail.coding, S(u"00")) << S(c.text).toStdString();
        EXPECT_EQ(tail.userDataLength, S(c.length)) << S(c.text).toStdString();
        EXPECT_EQ(tail.userData, S(c.data)) << S(c.text).toStdString();
    }
}

// OneSmsCoding is what the composing screens ask before they queue a text;
// it must say what the encoder does with it.
TEST(EncodeSubmitPdu, CodingFollowsSeptetsAndGsmCodesAsOneSmsCodingSays)
{
    struct Case {
        QString text;
        const char* coding; // "" when refused
        int userDataLength;
    };
    const Case cases[] = {
        // Escapes count in the septet length, up to 160 septets.
        {QString(80, u'['), "00", 160},
        {QString(81, u'['), "", 0},
        {QString(150, u'a') + QString(6, u'{'), "", 0},
        {QString(30, u'{') + S(u"abc"), "00", 63},
        // Seven-bit codes without a GSM character go out as UCS2 while they fit 70.
        {S(u"a`b"), "08", 6},
        {S(u"tab\there"), "08", 16},
        {QString(70, u'`'), "08", 140},
        {QString(71, u'`'), "", 0},
        // Form feed is in the extension table.
        {S(u"page\fbreak"), "00", 11},
        {QString(160, u'a'), "00", 160},
        {QString(161, u'a'), "", 0},
        {QString(70, u'é'), "08", 140},
        {QString(71, u'é'), "", 0},
        {S(u"é") + QString(100, u'a'), "", 0},
    };
    for (const auto& c : cases) {
        const QString pdu = EncodeSubmitPdu(S(u"+123456789"), c.text);
        const SmsCoding expected = !*c.coding                   ? SmsCoding::TooLong
            : QLatin1String(c.coding) == QLatin1String("00") ? SmsCoding::SevenBit
                                                               : SmsCoding::Ucs2;
        EXPECT_EQ(OneSmsCoding(c.text), expected) << c.text.toStdString();
        if (!*c.coding) {
            EXPECT_EQ(pdu, QString()) << c.text.toStdString();
            continue;
        }
        const SubmitTail tail = TailOf(pdu);
        EXPECT_EQ(tail.coding, QLatin1String(c.coding)) << c.text.toStdString();
        EXPECT_EQ(HexByteValue(tail.userDataLength), c.userDataLength) << c.text.toStdString();
        const simpdu::Submit read = simpdu::ReadSubmitPdu(pdu);
        ASSERT_TRUE(read.ok) << c.text.toStdString();
        EXPECT_EQ(read.text, c.text);
    }
}

} // namespace

// The composing screens' counters show OneSmsLimit beside the text as it
// will be sent; the limit must match the coding the encoder chooses.
TEST(TextAsSent, TrimsTheEndsAndTurnsBarsIntoLineBreaks)
{
    EXPECT_EQ(TextAsSent(u"  a|b  "), S(u"a\nb"));
    EXPECT_EQ(TextAsSent(u"|x| "), S(u"\nx\n"));
    EXPECT_EQ(TextAsSent(u"   "), QString());
    EXPECT_EQ(TextAsSent(u"\ta "), S(u"\ta"));
}

TEST(OneSmsLimit, FollowsTheCodingTheEncoderChooses)
{
    const std::pair<QString, qsizetype> cases[] = {
        {QString(), 160},
        {S(u"hello"), 160},
        {QString(161, u'a'), 160},
        {QString(100, u'{'), 160},
        {S(u"a`b"), 70},
        {S(u"tab\there"), 70},
        {S(u"€") + QString(159, u'a'), 70},
        {S(u"çağrı"), 70},
    };
    for (const auto& [text, limit] : cases)
        EXPECT_EQ(OneSmsLimit(text), limit) << text.toStdString();
}
