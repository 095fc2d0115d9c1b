#include "vorbex/modpdu.h"

#include "simpdu/simpdu.h"

#include "deliverstamp.h"
#include "text.h"

#include <gtest/gtest.h>


using namespace modPDU;

namespace {

// A DELIVER PDU as a modem lists it: service centre +4912345678901, sender
// +447921436587, 7-bit, stamp 25/02/11 13:05:00 at UTC+1, "hellohello".
const QString Smsc = S(u"0891942143658709F1");
const QString Sender = S(u"0C91449712345678");
const QString Stamp = S(u"52201131500040");
const QString HelloTpdu = S(u"04") + Sender + S(u"00") + S(u"00") + Stamp + S(u"0A") + S(u"E8329BFD4697D9EC37");
const QString HelloPdu = Smsc + HelloTpdu;

struct Decoded {
    QString text;
    QString phone;
    QString datetime;
};

Decoded Decode(const QString& pdu, bool hasSmsc = true)
{
    Decoded d;
    d.text = DecodeDeliverPdu(pdu, hasSmsc, d.phone, d.datetime);
    return d;
}

// The PDU with its sender field (after the first octet) replaced.
QString WithSender(const QString& sender)
{
    return Smsc + S(u"04") + sender + S(u"0000") + Stamp + S(u"0A") + S(u"E8329BFD4697D9EC37");
}

TEST(DecodeDeliverPdu, HandWrittenPdu)
{
    const Decoded d = Decode(HelloPdu);
    EXPECT_EQ(d.text, S(u"hellohello"));
    EXPECT_EQ(d.phone, S(u"+447921436587"));
    EXPECT_EQ(d.datetime, S(u"25021113050004"));
}

TEST(DecodeDeliverPdu, WithoutServiceCentreField)
{
    const Decoded d = Decode(HelloTpdu, false);
    EXPECT_EQ(d.text, S(u"hellohello"));
    EXPECT_EQ(d.phone, S(u"+447921436587"));
}

TEST(DecodeDeliverPdu, LowerCaseHexDecodesLikeUpperCase)
{
    const Decoded d = Decode(HelloPdu.toLower());
    EXPECT_EQ(d.text, S(u"hellohello"));
    EXPECT_EQ(d.phone, S(u"+447921436587"));
    EXPECT_EQ(d.datetime, S(u"25021113050004"));
}

TEST(DecodeDeliverPdu, SenderTypes)
{
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"0B91" u"449712345678", u"+44792143658"}, // odd count loses its fill
        {u"0A81" u"1032547698", u"0123456789"},
        {u"0AA1" u"1032547698", u"0123456789"},
        {u"00A1", u""},
        // Alphanumeric: the length counts semi-octets of packed GSM text.
        {u"09D0" u"E8329BFD06", u"hello"},
        {u"09d0" u"e8329bfd06", u"hello"},
    };
    for (const auto& [sender, phone] : cases) {
        const Decoded d = Decode(WithSender(S(sender)));
        EXPECT_EQ(d.phone, S(phone)) << S(sender).toStdString();
        EXPECT_EQ(d.text, S(u"hellohello")) << S(sender).toStdString();
    }
}

TEST(DecodeDeliverPdu, AlphanumericSenderUsesGsmAlphabet)
{
    for (const char16_t* name : {u"MyBank", u"Shop_24", u"A@B$", u"ABCDEFGHIJK", u"Ç"}) {
        const Decoded d = Decode(simpdu::BuildDeliverPdu(S(name), S(u"Your code"), DeliverStamp()));
        EXPECT_EQ(d.phone, S(name));
        EXPECT_EQ(d.text, S(u"Your code"));
    }
}

TEST(DecodeDeliverPdu, SevenBitLengthsKeepLastCharacterAndAddNoFill)
{
    for (const int length : {1, 7, 8, 9, 16, 153, 159, 160}) {
        QString text;
        for (int i = 0; i < length; ++i)
            text.append(QChar(u'a' + i % 26));
        const QString pdu = simpdu::BuildDeliverPdu(S(u"+123"), text, DeliverStamp(), simpdu::Coding::SevenBit);
        EXPECT_EQ(Decode(pdu).text, text) << length;
    }
}

TEST(DecodeDeliverPdu, ConcatenatedPartsLoseExactlyTheirHeader)
{
    const struct {
        simpdu::Coding coding;
        QString text;
    } cases[] = {
        {simpdu::Coding::SevenBit, S(u"Hello world, part one")},
        {simpdu::Coding::SevenBit, S(u"x")},
        {simpdu::Coding::EightBit, S(u"abcdef")},
        {simpdu::Coding::EightBit, S(u"a")},
        {simpdu::Coding::Ucs2, S(u"Привет")},
        {simpdu::Coding::Ucs2, S(u"é")},
    };
    for (const auto& c : cases) {
        const QString pdu = simpdu::BuildDeliverPart(S(u"+123"), c.text, DeliverStamp(), {0x2A, 2, 1}, c.coding);
        EXPECT_EQ(Decode(pdu).text, c.text) << c.text.toStdString();
    }
}

// The header is known by the first octet's flag and skipped by its own
// length, whatever elements it holds; a text without the flag is never cut,
// even when its packed bits begin like a concatenation header.
TEST(DecodeDeliverPdu, UserDataHeaderByItsFlagAndLength)
{
    const struct {
        const char* name;
        QByteArray header;
    } headers[] = {
        {"none", {}},
        {"concat 8-bit", QByteArray::fromHex("0500032A0201")},
        {"concat 16-bit", QByteArray::fromHex("060804BEEF0302")},
        {"ports 16-bit", QByteArray::fromHex("0605040B8423F0")},
        {"ports 8-bit", QByteArray::fromHex("0404021020")},
        {"concat and ports", QByteArray::fromHex("0B0504158100000003AA0301")},
        {"empty header", QByteArray::fromHex("00")},
    };
    const std::pair<simpdu::Coding, QString> texts[] = {
        {simpdu::Coding::SevenBit, S(u"é@øX marks the spot")},
        {simpdu::Coding::SevenBit, S(u"[x]")},
        {simpdu::Coding::EightBit, S(u"Çay saat 5")},
        {simpdu::Coding::Ucs2, S(u"Привет")},
        {simpdu::Coding::Ucs2, S(u"é")},
    };
    for (const auto& h : headers) {
        for (const auto& [coding, text] : texts) {
            const QString pdu = h.header.isEmpty()
                ? simpdu::BuildDeliverPdu(S(u"+123"), text, DeliverStamp(), coding)
                : simpdu::BuildDeliverWithHeader(S(u"+123"), text, DeliverStamp(), h.header, coding);
            ASSERT_FALSE(pdu.isEmpty()) << h.name;
            EXPECT_EQ(Decode(pdu).text, text) << h.name << ": " << text.toStdString();
        }
    }
}

// A header that claims more octets than the user data holds leaves no text.
TEST(DecodeDeliverPdu, HeaderLongerThanTheUserDataGivesEmptyText)
{
    const QString tpdu = S(u"44") + Sender + S(u"00") + S(u"04") + Stamp + S(u"03") + S(u"0A0003");
    const Decoded d = Decode(Smsc + tpdu);
    EXPECT_EQ(d.text, QString());
    EXPECT_EQ(d.phone, S(u"+447921436587"));
}

// The header's septets are dropped before escapes are read, so a header
// septet that happens to be the escape code cannot swallow a character.
TEST(DecodeDeliverPdu, SevenBitPartForEveryReference)
{
    const QString text = S(u"[Part] two");
    // These counts put the escape code into the fifth or sixth header septet
    // for some references.
    const std::pair<int, int> parts[] = {{2, 1}, {9, 2}, {220, 4}};
    for (const auto& [total, sequence] : parts) {
        for (int reference = 0; reference < 256; ++reference) {
            const QString pdu = simpdu::BuildDeliverPart(S(u"+123"), text, DeliverStamp(), {reference, total, sequence},
                                                         simpdu::Coding::SevenBit);
            ASSERT_EQ(Decode(pdu).text, text) << "reference " << reference << ", total " << total;
        }
    }
}

TEST(DecodeDeliverPdu, EightBitAndUcs2Texts)
{
    const std::pair<simpdu::Coding, const char16_t*> cases[] = {
        {simpdu::Coding::EightBit, u"Çay ve şeker"},
        {simpdu::Coding::Ucs2, u"Привет, мир €"},
        {simpdu::Coding::Ucs2, u"line one\nline two"},
    };
    for (const auto& [coding, text] : cases)
        EXPECT_EQ(Decode(simpdu::BuildDeliverPdu(S(u"+123"), S(text), DeliverStamp(), coding)).text, S(text));
}

TEST(DecodeDeliverPdu, OtherCodingsGiveEmptyTextWithPhoneAndDate)
{
    for (const char16_t* coding : {u"F0", u"11", u"0C"}) {
        const QString pdu = Smsc + S(u"04") + Sender + S(u"00") + S(coding) + Stamp + S(u"0A") + S(u"E8329BFD4697D9EC37");
        const Decoded d = Decode(pdu);
        EXPECT_EQ(d.text, QString()) << S(coding).toStdString();
        EXPECT_EQ(d.phone, S(u"+447921436587"));
        EXPECT_EQ(d.datetime, S(u"25021113050004"));
    }
}

TEST(DecodeDeliverPdu, RefusesNonHexAndClearsOutputs)
{
    for (const QString& pdu : {QString(), S(u"07 91"), HelloPdu + S(u"G"), S(u"١٢")}) {
        QString phone = S(u"stale");
        QString datetime = S(u"stale");
        EXPECT_EQ(DecodeDeliverPdu(pdu, true, phone, datetime), QString());
        EXPECT_EQ(phone, QString());
        EXPECT_EQ(datetime, QString());
    }
}

// Every cut of the PDU decodes safely: nothing before the time stamp is
// complete gives a date, and a cut inside the user data gives the septets
// that are still whole.
TEST(DecodeDeliverPdu, CutShortPdus)
{
    const qsizetype stampEnd = Smsc.size() + 2 + Sender.size() + 4 + Stamp.size();
    for (qsizetype cut = 1; cut < HelloPdu.size(); ++cut) {
        const Decoded d = Decode(HelloPdu.left(cut));
        EXPECT_EQ(d.datetime.isEmpty(), cut < stampEnd) << cut;
        if (cut <= stampEnd + 2) {
            EXPECT_EQ(d.text, QString()) << cut;
        } else if (cut % 2 == 0) {
            EXPECT_TRUE(S(u"hellohello").startsWith(d.text)) << cut;
        }
    }
    EXPECT_EQ(Decode(S(u"FF") + HelloTpdu).text, QString()); // service centre longer than the PDU
}

TEST(HexDigitValue, BothCases)
{
    const std::pair<char16_t, int> cases[] = {
        {u'0', 0}, {u'9', 9}, {u'A', 10}, {u'F', 15}, {u'a', 10}, {u'f', 15}, {u'G', 0}, {u'g', 0}, {u' ', 0}, {u'٣', 0},
    };
    for (const auto& [c, value] : cases)
        EXPECT_EQ(HexDigitValue(QChar(c)), value) << char(c);
}

TEST(IsHexString, DigitsOfEitherCaseOnly)
{
    EXPECT_FALSE(IsHexString(QString()));
    EXPECT_TRUE(IsHexString(S(u"0123456789ABCDEFabcdef")));
    EXPECT_FALSE(IsHexString(S(u"0G")));
    EXPECT_FALSE(IsHexString(S(u"12 ")));
}

TEST(HexByteValue, ExactlyTwoDigits)
{
    const std::pair<const char16_t*, int> cases[] = {
        {u"FF", 255}, {u"ff", 255}, {u"0A", 10}, {u"1", 0}, {u"123", 0}, {u"", 0},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(HexByteValue(S(text)), value) << S(text).toStdString();
}

TEST(ReadOctetHex, InsideTheTextOnly)
{
    const QString text = S(u"ABCDE");
    const std::pair<int, const char16_t*> cases[] = {
        {1, u"AB"}, {3, u"CD"}, {4, u"DE"}, {5, u""}, {6, u""}, {0, u""}, {-1, u""},
    };
    for (const auto& [position, octet] : cases)
        EXPECT_EQ(ReadOctetHex(text, position), S(octet)) << position;
}

TEST(UnpackSeptets, SeptetsOfPackedOctets)
{
    EXPECT_EQ(UnpackSeptets(QString()), QString());
    EXPECT_EQ(UnpackSeptets(S(u"E8329")), QString());
    EXPECT_EQ(UnpackSeptets(S(u"E8329BFD4697D9EC37")), S(u"hellohello"));
    EXPECT_EQ(UnpackSeptets(S(u"e8329bfd4697d9ec37")), S(u"hellohello"));
    EXPECT_EQ(UnpackSeptets(S(u"31D98C56B3DD70")), S(u"12345678"));
    // The spare bit of seven octets reads as one more septet, code 0.
    EXPECT_EQ(UnpackSeptets(S(u"31D98C56B3DD00")), S(u"1234567") + QChar(0));
}

TEST(SeptetsToText, TableAndEscapes)
{
    const std::pair<QList<int>, const char16_t*> cases[] = {
        {{0, 2, 17, 36}, u"@$_¤"},
        {{16, 26, 95, 127}, u"ΔΞ§à"},
        {{27, 60, 27, 62}, u"[]"},
        {{27, 101}, u"€"},
        {{27, 10}, u"\f"},
        {{27, 65}, u"A"},  // unknown extension: the escape is dropped
        {{65, 27}, u"A"},  // an escape at the end is dropped
        {{128, 65}, u"A"}, // not a septet
    };
    for (const auto& [codes, text] : cases) {
        QString septets;
        for (const int c : codes)
            septets.append(QChar(c));
        EXPECT_EQ(SeptetsToText(septets), S(text));
    }
}

} // namespace
