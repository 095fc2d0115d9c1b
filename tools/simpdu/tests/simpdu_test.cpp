#include "simpdu/simpdu.h"

#include "vorbex/modpdu.h"

#include "deliverstamp.h"
#include "text.h"

#include <gtest/gtest.h>

namespace {

// The service-centre field that every built PDU begins with.
const QString Smsc = S(u"0891942143658709F1");

struct DeliverFields {
    QString first;
    QString type;
    QString coding;
    QString stamp;
    int userDataLength = -1;
    QString userData;
};

DeliverFields FieldsOf(const QString& pdu)
{
    DeliverFields f;
    if (!pdu.startsWith(Smsc))
        return f;
    qsizetype pos = Smsc.size();
    f.first = pdu.mid(pos, 2);
    const int length = modPDU::HexByteValue(pdu.mid(pos + 2, 2));
    f.type = pdu.mid(pos + 4, 2);
    pos += 6 + length + length % 2 + 2; // address and protocol identifier
    f.coding = pdu.mid(pos, 2);
    f.stamp = pdu.mid(pos + 2, 14);
    f.userDataLength = modPDU::HexByteValue(pdu.mid(pos + 16, 2));
    f.userData = pdu.mid(pos + 18);
    return f;
}

TEST(BuildDeliverPdu, HandWrittenVector)
{
    EXPECT_EQ(simpdu::BuildDeliverPdu(S(u"+447921436587"), S(u"hellohello"), DeliverStamp()),
              Smsc + S(u"04" u"0C91449712345678" u"00" u"00" u"52201131500040" u"0A" u"E8329BFD4697D9EC37"));
}

TEST(BuildDeliverPdu, TimeZoneWestOfUtcSetsTheSignBit)
{
    const QDateTime stamp(QDate(2025, 2, 11), QTime(13, 5, 0), Qt::OffsetFromUTC, -5 * 3600);
    EXPECT_EQ(FieldsOf(simpdu::BuildDeliverPdu(S(u"+1"), S(u"x"), stamp)).stamp, S(u"522011315000" u"0A"));
}

TEST(BuildDeliverPdu, SenderTypeAndCodingChoice)
{
    using simpdu::Coding;
    struct Case {
        QString sender;
        QString text;
        Coding coding;
        const char* type; // "" when refused
        const char* dcs;
    };
    const Case cases[] = {
        {S(u"+447921436587"), S(u"hello"), Coding::Auto, "91", "00"},
        {S(u"0532"), S(u"é£"), Coding::Auto, "81", "00"},
        {S(u"MyBank"), S(u"Привет"), Coding::Auto, "D0", "08"},
        {S(u"+1"), QString(80, u'['), Coding::Auto, "91", "00"},
        {S(u"+1"), QString(81, u'['), Coding::Auto, "", ""},
        {S(u"+1"), QString(161, u'a'), Coding::Auto, "", ""},
        {S(u"+1"), QString(70, u'ж'), Coding::Auto, "91", "08"},
        {S(u"+1"), QString(71, u'ж'), Coding::Auto, "", ""},
        {S(u"+1"), S(u"hello"), Coding::Ucs2, "91", "08"},
        {S(u"+1"), S(u"Ж"), Coding::SevenBit, "", ""},
        {S(u"+1"), S(u"şeker €"), Coding::EightBit, "91", "04"},
        {S(u"+1"), S(u"Ж"), Coding::EightBit, "", ""},
        {S(u"+1"), QString(140, u'a'), Coding::EightBit, "91", "04"},
        {S(u"+1"), QString(141, u'a'), Coding::EightBit, "", ""},
        {QString(), S(u"x"), Coding::Auto, "", ""},
        {S(u"ABCDEFGHIJK"), S(u"x"), Coding::Auto, "D0", "00"},
        {S(u"ABCDEFGHIJKL"), S(u"x"), Coding::Auto, "", ""},
        {S(u"Ж"), S(u"x"), Coding::Auto, "", ""},
        {S(u"+") + QString(20, u'1'), S(u"x"), Coding::Auto, "91", "00"},
        {S(u"+") + QString(21, u'1'), S(u"x"), Coding::Auto, "", ""},
    };
    for (const auto& c : cases) {
        const QString pdu = simpdu::BuildDeliverPdu(c.sender, c.text, DeliverStamp(), c.coding);
        const std::string name = (c.sender + u'/' + c.text.left(8)).toStdString();
        if (!*c.type) {
            EXPECT_EQ(pdu, QString()) << name;
            continue;
        }
        const DeliverFields f = FieldsOf(pdu);
        EXPECT_EQ(f.first, S(u"04")) << name;
        EXPECT_EQ(f.type, QLatin1String(c.type)) << name;
        EXPECT_EQ(f.coding, QLatin1String(c.dcs)) << name;
    }
}

TEST(BuildDeliverPart, HeaderFillBitAndFirstOctet)
{
    const DeliverFields seven = FieldsOf(
        simpdu::BuildDeliverPart(S(u"+1"), S(u"x"), DeliverStamp(), {0x2A, 2, 1}, simpdu::Coding::SevenBit));
    EXPECT_EQ(seven.first, S(u"44"));
    EXPECT_EQ(seven.userDataLength, 8);
    EXPECT_EQ(seven.userData, S(u"0500032A0201" u"F0"));

    const DeliverFields ucs2 =
        FieldsOf(simpdu::BuildDeliverPart(S(u"+1"), S(u"Hi"), DeliverStamp(), {1, 3, 3}, simpdu::Coding::Ucs2));
    EXPECT_EQ(ucs2.userDataLength, 10);
    EXPECT_EQ(ucs2.userData, S(u"050003010303" u"00480069"));

    // The header takes room: 153 septets or 67 UCS2 characters remain.
    EXPECT_FALSE(simpdu::BuildDeliverPart(S(u"+1"), QString(153, u'a'), DeliverStamp(), {}, simpdu::Coding::SevenBit).isEmpty());
    EXPECT_TRUE(simpdu::BuildDeliverPart(S(u"+1"), QString(154, u'a'), DeliverStamp(), {}, simpdu::Coding::SevenBit).isEmpty());
    EXPECT_FALSE(simpdu::BuildDeliverPart(S(u"+1"), QString(67, u'ж'), DeliverStamp(), {}).isEmpty());
    EXPECT_TRUE(simpdu::BuildDeliverPart(S(u"+1"), QString(68, u'ж'), DeliverStamp(), {}).isEmpty());
}

TEST(ReadSubmitPdu, RealPdus)
{
    struct Case {
        const char16_t* pdu;
        const char16_t* number;
        const char16_t* coding;
        const char16_t* text;
    };
    const Case cases[] = {
        // relative validity period
        {u"0011000B916407281553F80000AA0AE8329BFD4697D9EC37", u"+46708251358", u"00", u"hellohello"},
        // no validity period, a service centre of its own
        {u"07919761989901F0" u"0100" u"0B916407281553F8" u"0000" u"0AE8329BFD4697D9EC37", u"+46708251358", u"00",
         u"hellohello"},
        // absolute and enhanced validity periods (seven octets each)
        {u"0019000B916407281553F80000" u"52201131500040" u"0AE8329BFD4697D9EC37", u"+46708251358", u"00",
         u"hellohello"},
        {u"0009000B916407281553F80000" u"01000000000000" u"0AE8329BFD4697D9EC37", u"+46708251358", u"00",
         u"hellohello"},
        // national and alphanumeric destinations
        {u"0011000A8110325476980000AA0161", u"0123456789", u"00", u"a"},
        {u"00110009D0E8329BFD060000AA0161", u"hello", u"00", u"a"},
        // user-data headers skipped: 7-bit with its fill bit, and UCS2
        {u"0051000B916407281553F80000AA09" u"050003010201" u"9069", u"+46708251358", u"00", u"Hi"},
        {u"0051000B916407281553F80008AA0A" u"050003010201" u"00480069", u"+46708251358", u"08", u"Hi"},
        // 8-bit, and the GSM alphabet with an escape
        {u"0011000B916407281553F80004AA0348692C", u"+46708251358", u"04", u"Hi,"},
        {u"0011000B916407281553F80000AA03" u"808D0F", u"+46708251358", u"00", u"@]"},
        // a coding this reader does not know: read, without text
        {u"0011000B916407281553F80080AA0161", u"+46708251358", u"80", u""},
    };
    for (const auto& c : cases) {
        const simpdu::Submit s = simpdu::ReadSubmitPdu(S(c.pdu));
        EXPECT_TRUE(s.ok) << S(c.pdu).toStdString();
        EXPECT_EQ(s.number, S(c.number)) << S(c.pdu).toStdString();
        EXPECT_EQ(s.coding, S(c.coding)) << S(c.pdu).toStdString();
        EXPECT_EQ(s.text, S(c.text)) << S(c.pdu).toStdString();
    }
}

TEST(ReadSubmitPdu, RefusesWhatAModemWouldRefuse)
{
    const QString good = S(u"0011000B916407281553F80000AA0AE8329BFD4697D9EC37");
    ASSERT_TRUE(simpdu::ReadSubmitPdu(good).ok);
    for (qsizetype cut = 0; cut < good.size(); cut += 2)
        EXPECT_FALSE(simpdu::ReadSubmitPdu(good.left(cut)).ok) << cut;
    const QString refused[] = {
        good + S(u"0"),                 // odd length
        good.left(10) + S(u"G") + good.mid(11),
        S(u"0011000412p40000AA0161"),   // the pause character is no hex digit
        S(u"0004") + good.mid(4),       // an SMS-DELIVER
    };
    for (const QString& pdu : refused)
        EXPECT_FALSE(simpdu::ReadSubmitPdu(pdu).ok) << pdu.toStdString();
}

} // namespace
