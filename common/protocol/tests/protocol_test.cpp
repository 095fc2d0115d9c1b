#include "protocol/protocol.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "raisederror.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

using namespace protocol;

namespace {

QString L(const char *text)
{
    return QString::fromLatin1(text);
}

// Every message that the pieces yield, in order.
QStringList Cut(const QStringList &pieces, ReceiveBuffer &buffer)
{
    QStringList messages;
    for (const QString &piece : pieces) {
        buffer.Append(piece);
        while (const auto message = buffer.NextMessage())
            messages << *message;
    }
    return messages;
}

} // namespace

TEST(PrepareDataToSend, BuildsCodeLengthHexDataAndTerminator)
{
    struct Case { qint16 code; QString data; const char *frame; } cases[] = {
        {CMD_PHONEBOOK_SEARCH, L("abc"), "020003616263|"},
        {CMD_PHONEBOOK_SEARCH, QString(), "020000|"},
        {CMD_LOGIN_REPLY, L("x"), "810001" "78|"},
        {CMD_NEW_SMS, L("a|^,b"), "850005" "617C5E2C62|"},
        {CMD_SEND_SMS, QStringLiteral(u"\u011F\u20AC"), "030002" "F080|"},   // through the code page
        {CMD_SEND_SMS, QStringLiteral(u"\u4E2D"), "030001" "3F|"},           // a character the page lacks
        {0x7B, QString(300, QLatin1Char('A')), nullptr},
    };
    for (const auto &c : cases) {
        const QString frame = PrepareDataToSend(c.code, c.data);
        if (c.frame)
            EXPECT_EQ(frame, L(c.frame)) << c.frame;
        else
            EXPECT_TRUE(frame.startsWith(L("7B012C4141"))) << qPrintable(frame.left(12));
    }
}

TEST(PrepareDataToSend, EncodesAtMost32766Characters)
{
    const QString frame = PrepareDataToSend(CMD_PHONEBOOK_RESULT, QString(32766, QLatin1Char('z')));
    EXPECT_EQ(frame.size(), 6 + 2 * 32766 + 1);
    EXPECT_TRUE(frame.startsWith(L("827FFE7A")));
    EXPECT_EQ(RaisedNumber([] { PrepareDataToSend(CMD_PHONEBOOK_RESULT, QString(32767, QLatin1Char('z'))); }),
              platform::ErrOverflow);
}

TEST(DecodeMessage, TakesCodeAndDataWithoutCheckingTheLength)
{
    struct Case { const char *message; bool decoded; qint32 code; const char *data; } cases[] = {
        {"020003616263", true, 2, "abc"},
        {"020000", true, 2, ""},
        {"0200036162", true, 2, "ab"},        // three announced, two present
        {"020001616263", true, 2, "abc"},     // one announced, three present
        {"0200006162", true, 2, ""},          // length 0: the data is not read
        {"8100024142", true, 0x81, "AB"},
        {"04000141", true, 4, "A"},
        {"0a00016a", true, 10, "j"},          // lower-case digits read as upper-case
        {"0200", false, 0, ""},
        {"02000", false, 0, ""},
        {"", false, 0, ""},
    };
    for (const auto &c : cases) {
        const auto m = DecodeMessage(L(c.message));
        ASSERT_EQ(m.has_value(), c.decoded) << c.message;
        if (!m)
            continue;
        EXPECT_EQ(m->code, c.code) << c.message;
        EXPECT_EQ(m->data, L(c.data)) << c.message;
    }
}

TEST(DecodeMessage, Carries16383CharactersAndOverflowsAt16384)
{
    const QString longest(16383, QLatin1Char('q'));
    QString frame = PrepareDataToSend(CMD_SEND_SMS, longest);
    frame.chop(1);
    EXPECT_EQ(frame.size(), MaxMessageLength);
    const auto m = DecodeMessage(frame);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->data, longest);

    QString tooLong = PrepareDataToSend(CMD_SEND_SMS, longest + QLatin1Char('q'));
    tooLong.chop(1);
    EXPECT_EQ(RaisedNumber([&] { DecodeMessage(tooLong); }), platform::ErrOverflow);
}

TEST(DecodeMessage, EveryByteOfTheCodePageSurvivesTheRoundTrip)
{
    QString data;
    for (int b = 0; b < 256; ++b)
        data += platform::codepage::ansiChar(static_cast<unsigned char>(b));
    ReceiveBuffer buffer;
    const QStringList messages = Cut({PrepareDataToSend(CMD_NEW_SMS, data)}, buffer);
    ASSERT_EQ(messages.size(), 1);
    const auto m = DecodeMessage(messages.front());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->code, CMD_NEW_SMS);
    EXPECT_EQ(m->data, data);
}

TEST(ReceiveBuffer, CutsMessagesAcrossPiecesInArrivalOrder)
{
    struct Case { QStringList pieces; QStringList messages; const char *pending; } cases[] = {
        {{L("0200036"), L("16263|02"), L("0000|")}, {L("020003616263"), L("020000")}, ""},
        {{L("020000|020003616263|")}, {L("020000"), L("020003616263")}, ""},
        {{L("||")}, {QString(), QString()}, ""},
        {{L("0200"), L("00")}, {}, "020000"},
        {{L("01|02|03"), L("|04")}, {L("01"), L("02"), L("03")}, "04"},
    };
    for (const auto &c : cases) {
        ReceiveBuffer buffer;
        EXPECT_EQ(Cut(c.pieces, buffer), c.messages) << qPrintable(c.pieces.join(L(" + ")));
        EXPECT_EQ(buffer.Pending(), L(c.pending)) << qPrintable(c.pieces.join(L(" + ")));
    }
}

TEST(ReceiveBuffer, AMessageLongerThanAnyDecodableOneIsNoticed)
{
    ReceiveBuffer buffer;
    buffer.Append(QString(MaxMessageLength, QLatin1Char('0')));
    EXPECT_FALSE(buffer.ExceedsLargestMessage());
    buffer.Append(L("0"));
    EXPECT_TRUE(buffer.ExceedsLargestMessage());
    buffer.Append(L("|"));
    ASSERT_TRUE(buffer.NextMessage());
    EXPECT_FALSE(buffer.ExceedsLargestMessage());
}
