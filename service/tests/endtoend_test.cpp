// The installed service as its own process, on the simulated modem, with
// real TCP clients: both roads of a message through the whole gateway.
#include "programfolder.h"
#include "testdatabases.h"

#include "common/md5.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

// One desktop client's side of the protocol.
class Client {
public:
    bool Connect(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return m_socket.waitForConnected(5000);
    }

    void Send(qint16 code, const QString &data)
    {
        m_socket.write(protocol::PrepareDataToSend(code, data).toLatin1());
        m_socket.flush();
    }

    bool LogIn(const QString &user, const QString &password)
    {
        Send(protocol::CMD_LOGIN, user + QLatin1Char('^') + common::PasswordDigest(password));
        const auto reply = Next(protocol::CMD_LOGIN_REPLY, 10000);
        return reply && Decipher(reply->data).startsWith(QStringLiteral("(Connected)|"));
    }

    // The next message of this code within `timeoutMs`.
    std::optional<protocol::Message> Next(qint32 code, int timeoutMs)
    {
        (void)QTest::qWaitFor([&] { Read(); return Has(code) || m_socket.state() != QAbstractSocket::ConnectedState; },
                        timeoutMs);
        Read();
        for (auto it = m_inbox.begin(); it != m_inbox.end(); ++it)
            if (it->code == code) {
                protocol::Message m = *it;
                m_inbox.erase(it);
                return m;
            }
        return std::nullopt;
    }

    std::optional<QString> NextPush(int timeoutMs)
    {
        const auto m = Next(protocol::CMD_NEW_SMS, timeoutMs);
        return m ? std::optional<QString>(Decipher(m->data)) : std::nullopt;
    }

    bool ClosedByService(int timeoutMs)
    {
        return m_socket.state() == QAbstractSocket::UnconnectedState || m_socket.waitForDisconnected(timeoutMs);
    }

    static QString Decipher(const QString &data)
    {
        return sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(data), false);
    }

private:
    bool Has(qint32 code) const
    {
        return std::any_of(m_inbox.begin(), m_inbox.end(), [code](const auto &m) { return m.code == code; });
    }
    void Read()
    {
        m_buffer.Append(QString::fromLatin1(m_socket.readAll()));
        while (const auto message = m_buffer.NextMessage())
            if (const auto decoded = protocol::DecodeMessage(*message))
                m_inbox.push_back(*decoded);
    }

    QTcpSocket m_socket;
    protocol::ReceiveBuffer m_buffer;
    std::deque<protocol::Message> m_inbox;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Writer users(folder.filePath(QStringLiteral("db/application.db")));
        struct User { const char *name; int moderator; int manual; } rows[] = {{"bob", 0, 1}, {"mod1", 1, 0}, {"mod2", 1, 0}};
        for (const User &u : rows)
            users.Run(QStringLiteral("INSERT INTO Users (UserName, UserPassword, ModeratorAccess, ManualNumberPermission) "
                               "VALUES (?, ?, ?, ?)"),
                {QString::fromLatin1(u.name), common::PasswordDigest(QString::fromLatin1(u.name) + QStringLiteral("pw")),
                 u.moderator, u.manual});
        Writer phonebook(folder.filePath(QStringLiteral("db/phonebook.db")));
        phonebook.Run(QStringLiteral("INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES "
                                      "('Ann', 'Smith', 'Acme', '+905551110001'), ('Ben', 'Okur', 'Acme', '+905551110002')"));
        phonebook.Run(QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Team')"));
        phonebook.Run(QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1), (1, 2)"));

        ASSERT_TRUE(gateway.start({{QStringLiteral("sms_check_interval"), QStringLiteral("10")}}));
    }

    void TearDown() override { EXPECT_TRUE(gateway.stop()); }

    QList<QJsonObject> Sent() const { return gateway.modem().sentMessages(); }

    ProgramFolder folder;
    ServiceOnModem gateway{folder};
};

} // namespace

TEST_F(EndToEnd, LoginsSearchAndSendToNumbersContactsAndGroups)
{
    Client stranger;
    ASSERT_TRUE(stranger.Connect(gateway.port()));
    EXPECT_FALSE(stranger.LogIn(QStringLiteral("bob"), QStringLiteral("wrong")));
    EXPECT_TRUE(stranger.ClosedByService(5000));

    Client bob;
    ASSERT_TRUE(bob.Connect(gateway.port()));
    ASSERT_TRUE(bob.LogIn(QStringLiteral("bob"), QStringLiteral("bobpw")));

    bob.Send(protocol::CMD_PHONEBOOK_SEARCH, QStringLiteral("ann"));
    const auto found = bob.Next(protocol::CMD_PHONEBOOK_RESULT, 10000);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->data, QStringLiteral("1^0^Ann^Smith^Acme^+905551110001"));

    // A typed number, Ann, and the group of Ann and Ben: Ann gets it once.
    bob.Send(protocol::CMD_SEND_SMS, QStringLiteral("+905559990001^1|0|1|1^Meeting at 10, room [2]"));
    ASSERT_TRUE(gateway.modem().waitForSent(3, 120000)) << gateway.modem().sentLog().constData();
    QStringList numbers;
    for (const QJsonObject &r : Sent()) {
        numbers << r[QStringLiteral("number")].toString();
        EXPECT_EQ(r[QStringLiteral("text")].toString(), QStringLiteral("bob:Meeting at 10, room [2]"));
        EXPECT_EQ(r[QStringLiteral("coding")].toString(), QStringLiteral("00"));
    }
    numbers.sort();
    EXPECT_EQ(numbers, (QStringList{QStringLiteral("+905551110001"), QStringLiteral("+905551110002"),
                                    QStringLiteral("+905559990001")}));
}

TEST_F(EndToEnd, ReceivedMessagesReachTheirUserTheModeratorsAndALateLogin)
{
    Client bob;
    Client mod1;
    ASSERT_TRUE(bob.Connect(gateway.port()) && mod1.Connect(gateway.port()));
    ASSERT_TRUE(bob.LogIn(QStringLiteral("bob"), QStringLiteral("bobpw")));
    ASSERT_TRUE(mod1.LogIn(QStringLiteral("mod1"), QStringLiteral("mod1pw")));

    gateway.modem().deliver(QStringLiteral("+905557770001"), QStringLiteral("bob are you in?"));
    const auto toBob = bob.NextPush(90000);
    ASSERT_TRUE(toBob);
    EXPECT_TRUE(toBob->startsWith(QStringLiteral("bob,+905557770001,"))) << qPrintable(*toBob);
    EXPECT_TRUE(toBob->endsWith(QStringLiteral(",are you in?"))) << qPrintable(*toBob);

    gateway.modem().deliver(QStringLiteral("+905557770002"), QStringLiteral("Hello gateway"));
    const auto toModerator = mod1.NextPush(90000);
    ASSERT_TRUE(toModerator);
    EXPECT_TRUE(toModerator->startsWith(QStringLiteral("Moderator,+905557770002,"))) << qPrintable(*toModerator);

    // For a user who is not online yet: it waits in Incoming.
    gateway.modem().deliver(QStringLiteral("+905557770003"), QStringLiteral("mod2 call me"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QDir(folder.filePath(QStringLiteral("Incoming"))).isEmpty(QDir::Files); },
                                90000));
    Client mod2;
    ASSERT_TRUE(mod2.Connect(gateway.port()));
    ASSERT_TRUE(mod2.LogIn(QStringLiteral("mod2"), QStringLiteral("mod2pw")));
    const auto late = mod2.NextPush(30000);
    ASSERT_TRUE(late);
    EXPECT_TRUE(late->endsWith(QStringLiteral(",call me"))) << qPrintable(*late);
    EXPECT_FALSE(bob.NextPush(0));
}
