// The send rules without a window: a logged-in connection to a scripted
// service on a real socket, and a message store in a fresh folder.
#include "clientoutbox/outbox.h"

#include "boxrecorder.h"
#include "ownerrorlog.h"
#include "scriptedservice.h"
#include "text.h"

#include "clientconnection/serviceconnection.h"
#include "clientstore/messagestore.h"
#include "common/errorlog.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class OutboxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(service.isListening());
        ASSERT_TRUE(QDir(dir.path()).mkdir(S(u"users")));
        UseOwnErrorLog();
        connection.ServerIP = S(u"127.0.0.1");
        connection.ServerPort = service.port();
        connection.SettingsPath = dir.filePath(S(u"TalvinorSMSClient.ini"));
        connection.Login(S(u"bob"), S(u"pw"), false);
        peer = service.Accept();
        ASSERT_TRUE(peer);
        ASSERT_EQ(service.Received(peer, 1).size(), 1);
        service.messages.clear();
        service.SendEnciphered(peer, protocol::CMD_LOGIN_REPLY, S(u"(Connected)|1"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return connection.LoggedIn; }, 10000));
        store.OpenMessageStore(S(u"bob"));
    }


    static OutgoingSms Sms(const QString &body, const QString &numbers, const QStringList &labels = {},
                           const QString &entries = {})
    {
        return {S(u"bob:") + body, 4, numbers, entries, labels};
    }

    // Every request sent so far, known to be all: a search sent after
    // them arrives last.
    QList<protocol::Message> AllRequests()
    {
        const QString last = S(u"the last request");
        connection.SendRequest(protocol::CMD_PHONEBOOK_SEARCH, last);
        QList<protocol::Message> requests;
        for (int count = static_cast<int>(service.messages.size()) + 1;; ++count) {
            requests = service.Requests(peer, count);
            if (requests.size() < count || requests.constLast().data == last)
                break;
        }
        EXPECT_TRUE(!requests.isEmpty() && requests.constLast().data == last);
        if (!requests.isEmpty())
            requests.removeLast();
        return requests;
    }

    QStringList SentFiles() const { return QDir(store.FolderPath(SentFolderName)).entryList(QDir::Files); }

    QTemporaryDir dir;
    ScriptedService service;
    QTcpSocket *peer = nullptr;
    ServiceConnection connection;
    MessageStore store{dir.filePath(QStringLiteral("users"))};
    Outbox outbox{connection, store};
    BoxRecorder boxes;
};

} // namespace

TEST_F(OutboxTest, AMessageGoesAsOneRequestWithACopyPerRecipient)
{
    EXPECT_EQ(outbox.Send(Sms(S(u"hi\nthere ^|"), S(u"0555,+491"), {S(u"Ann Acme")}, S(u"5|0"))), QString());
    const QList<protocol::Message> requests = AllRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].code, protocol::CMD_SEND_SMS);
    EXPECT_EQ(requests[0].data, S(u"0555,+491^5|0^hi|there "));
    QStringList recipients;
    for (const SmsRef &copy : std::as_const(store.SentMessages))
        recipients << copy->PhoneNumber();
    EXPECT_EQ(recipients, (QStringList{S(u"0555"), S(u"+491"), S(u"Ann Acme")}));
    EXPECT_EQ(SentFiles().size(), 3);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

// A refused message leaves nothing behind: no copy, no request.
TEST_F(OutboxTest, RefusalsKeepAndSendNothing)
{
    const struct {
        OutgoingSms sms;
        const char *key;
    } cases[] = {
        {Sms(QString(157, u'a'), S(u"123")), "message_is_too_long"},
        {Sms(S(u"`") + QString(66, u'a'), S(u"123")), "message_is_too_long"},
        {Sms(QString(), S(u"123")), "phonenumber_or_message_is_empty"},
        {Sms(S(u"^|"), S(u"123")), "phonenumber_or_message_is_empty"},
        {Sms(S(u"hi"), QString()), "phonenumber_or_message_is_empty"},
        {Sms(S(u"Привет"), S(u"123")), "message_has_unsupported_characters"},
        {Sms(S(u"hi"), S(u"+90555777009+905557770002")), "phonenumber_is_not_valid"},
        {Sms(S(u"hi"), S(u"0555,+49 1")), "phonenumber_is_not_valid"},
        {Sms(S(u"hi"), S(u"12")), "phonenumber_is_not_valid"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sms.text.toStdString() + " / " + c.sms.typedNumbers.toStdString());
        EXPECT_EQ(outbox.Send(c.sms), QLatin1String(c.key));
    }
    EXPECT_TRUE(AllRequests().isEmpty());
    EXPECT_TRUE(store.SentMessages.isEmpty());
    EXPECT_TRUE(SentFiles().isEmpty());
}

// The counter is red exactly for what the send refuses as too long.
TEST_F(OutboxTest, TheCounterAndTheSendAgree)
{
    for (const QString &body : {QString(156, u'a'), QString(157, u'a'), S(u"\t") + QString(65, u'a'),
                                S(u"\t") + QString(66, u'a'), S(u"{") + QString(154, u'a'), S(u"{") + QString(155, u'a'),
                                S(u"ğ") + QString(65, u'a'), S(u"ğ") + QString(66, u'a')}) {
        SCOPED_TRACE(body.toStdString());
        const OutgoingSms sms = Sms(body, S(u"123"));
        const SmsCounter counter = CountSms(sms.text, sms.headerLength);
        EXPECT_EQ(counter.length, 4 + body.size());
        EXPECT_EQ(counter.tooLong, outbox.Send(sms) == QLatin1String("message_is_too_long"));
    }
}

TEST_F(OutboxTest, WithoutALoginNothingIsKeptOrSent)
{
    peer->disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !connection.LoggedIn; }, 10000));
    EXPECT_THROW(outbox.Send(Sms(S(u"hi"), S(u"123"))), platform::Error);
    EXPECT_TRUE(store.SentMessages.isEmpty());
    EXPECT_TRUE(SentFiles().isEmpty());
}

// Losing a copy is better than losing the message.
TEST_F(OutboxTest, ACopyThatCannotBeWrittenIsToldAndTheMessageGoes)
{
    const QString sent = store.FolderPath(SentFolderName);
    ASSERT_TRUE(QDir(sent).removeRecursively());
    {
        QFile blocker(sent);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(outbox.Send(Sms(S(u"hi"), S(u"123"), {S(u"Ann")}, S(u"5|0"))), QString());
    EXPECT_TRUE(boxes.boxes.isEmpty());
    const QList<protocol::Message> requests = AllRequests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].data, S(u"123^5|0^hi"));
    EXPECT_TRUE(store.SentMessages.isEmpty());
    // Without a window the report goes to the log alone.
    QFile log(ErrorLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().count("frmMain-->NewSMSSave"), 2);
}
