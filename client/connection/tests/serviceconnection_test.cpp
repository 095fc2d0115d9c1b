// The connection against a scripted peer on a real socket: the test plays
// the service, frame by frame.
#include "clientconnection/serviceconnection.h"

#include "boxrecorder.h"
#include "ownerrorlog.h"
#include "scriptedservice.h"
#include "text.h"

#include "common/errorlog.h"
#include "common/md5.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "platform/inifile.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString Frame(qint16 code, const QString &data)
{
    return protocol::PrepareDataToSend(code, data);
}

// The service's side: one listening socket, the accepted connections, and
// the messages each one sent.
using Peer = ScriptedService;

class Connection : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(peer.server.isListening());
        UseOwnErrorLog();
        client.ServerIP = S(u"127.0.0.1");
        client.ServerPort = peer.port();
        client.SettingsPath = dir.filePath(S(u"TalvinorSMSClient.ini"));
        QObject::connect(&client, &ServiceConnection::Alert, [this](const QString &key, const QString &suffix) {
            alerts << key + suffix;
        });
        QObject::connect(&client, &ServiceConnection::LoginAccepted, [this] { ++accepted; });
        QObject::connect(&client, &ServiceConnection::NewSMS, [this](const QString &data) {
            pushes << sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(data), false);
        });
    }


    QString Setting(const char *key) const
    {
        platform::IniFile ini;
        ini.setIniPath(client.SettingsPath);
        return ini.ReadValue(S(u"SMSClient"), QString::fromUtf8(key), S(u"<missing>"));
    }

    // Logs in as `user` up to the login frame; returns the service's socket.
    QTcpSocket *Connect(const QString &user, const QString &password = S(u"pw"), bool save = false)
    {
        peer.messages.clear();
        client.Login(user, password, save);
        QTcpSocket *socket = peer.Accept();
        if (socket)
            peer.Received(socket, 1);
        return socket;
    }

    QTcpSocket *LogIn(const QString &user, const QString &reply = S(u"(Connected)|1"))
    {
        QTcpSocket *socket = Connect(user);
        Peer::Write(socket, Peer::Enciphered(protocol::CMD_LOGIN_REPLY, reply));
        (void)QTest::qWaitFor([&] { return !client.LoginPending; }, 10000);
        return socket;
    }

    bool WaitFor(const std::function<bool()> &condition) { return QTest::qWaitFor(condition, 10000); }

    QTemporaryDir dir;
    Peer peer;
    ServiceConnection client;
    BoxRecorder boxes;
    QStringList alerts;
    QStringList pushes;
    int accepted = 0;
};

} // namespace

TEST_F(Connection, TheLoginReplyTable)
{
    const struct {
        const char *reply;
        bool accepted;
        qint16 freeNumbers;
    } cases[] = {
        {"(Connected)|1", true, 1},
        {"(Connected)|0", true, 0},
        {"(Connected)|1|more", true, 1},
        {"(Connected)|yes", true, 0},
        {"(Connected)|99999", true, 0},
        {"(Connected)", false, 0},
        {"(Refused)|1", false, 0},
        {"", false, 0},
    };
    for (const auto &c : cases) {
        alerts.clear();
        accepted = 0;
        QTcpSocket *socket = LogIn(S(u"bob"), QString::fromUtf8(c.reply));
        ASSERT_TRUE(socket) << c.reply;
        EXPECT_EQ(client.LoggedIn, c.accepted) << c.reply;
        EXPECT_EQ(accepted, c.accepted ? 1 : 0) << c.reply;
        EXPECT_EQ(client.AllowFreeNumbers, c.freeNumbers) << c.reply;
        EXPECT_EQ(alerts, c.accepted ? QStringList() : QStringList{S(u"login_failed.")}) << c.reply;
        // A refused reply leaves the connection open.
        EXPECT_TRUE(client.wClient() && client.wClient()->state() == QAbstractSocket::ConnectedState) << c.reply;
    }
    EXPECT_EQ(Setting("UserName"), S(u"bob"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Connection, TheLoginFrameCarriesTheNameAndTheDigest)
{
    const struct {
        const char *user;
        const char *box;
        QString sentDigest;
    } cases[] = {
        {"bob", "secret", common::PasswordDigest(S(u"secret"))},
        {"", "", common::PasswordDigest(QString())},  // an empty name is sent
        {"Bob7", "", common::PasswordDigest(QString())},
    };
    for (const auto &c : cases) {
        client.PasswordDigest.clear();
        QTcpSocket *socket = Connect(QString::fromUtf8(c.user), QString::fromUtf8(c.box));
        ASSERT_TRUE(socket);
        EXPECT_EQ(peer.messages, QStringList{Frame(protocol::CMD_LOGIN, QString::fromUtf8(c.user) + S(u"^") + c.sentDigest).chopped(1)});
        EXPECT_TRUE(client.LoginPending);
    }

    // A saved digest in the password box is sent as it is; another text is
    // a password.
    const QString saved = common::PasswordDigest(S(u"kept"));
    client.PasswordDigest = saved;
    Connect(S(u"bob"), saved);
    EXPECT_TRUE(peer.messages.constFirst().endsWith(textkit::clsString::CStr2Hex(saved)));
    Connect(S(u"bob"), S(u"typed"));
    EXPECT_TRUE(peer.messages.constFirst().endsWith(textkit::clsString::CStr2Hex(common::PasswordDigest(S(u"typed")))));
    EXPECT_EQ(client.PasswordDigest, common::PasswordDigest(S(u"typed")));
}

TEST_F(Connection, NamesOfOtherCharactersAreRefusedBeforeConnecting)
{
    ASSERT_TRUE(LogIn(S(u"bob")));
    ASSERT_TRUE(client.LoggedIn);
    for (const char *name : {"bo b", "bob.smith", "çiğdem", "bob/..", "bob^x"}) {
        alerts.clear();
        client.Login(QString::fromUtf8(name), S(u"pw"), false);
        EXPECT_EQ(alerts, QStringList{S(u"use_only_english_characters")}) << name;
        // The old login stays as it was.
        EXPECT_TRUE(client.LoggedIn) << name;
        EXPECT_EQ(client.UserName, S(u"bob")) << name;
    }
    EXPECT_FALSE(peer.server.waitForNewConnection(300));
    EXPECT_EQ(peer.sockets.size(), 1u);
}

TEST_F(Connection, ARefusedLoginShowsLoginFailedOnce)
{
    QTcpSocket *socket = Connect(S(u"bob"), S(u"wrong"));
    ASSERT_TRUE(socket);
    const QPointer<QTcpSocket> clientSocket = client.wClient();
    socket->close();
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    // Once the client's socket is gone, none of its events can follow.
    ASSERT_TRUE(WaitFor([&] { return clientSocket.isNull(); }));
    EXPECT_EQ(alerts, QStringList{S(u"login_failed.")});
    EXPECT_FALSE(client.LoginPending);
    EXPECT_FALSE(client.LoggedIn);
    EXPECT_EQ(client.wClient(), nullptr);
}

TEST_F(Connection, ALostConnectionAfterLoginShowsConnectionLost)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    ASSERT_TRUE(client.LoggedIn);
    socket->close();
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    EXPECT_EQ(alerts, QStringList{S(u"connection_lost.")});
    EXPECT_FALSE(client.LoggedIn);
    EXPECT_THROW(client.SendRequest(protocol::CMD_PHONEBOOK_SEARCH, S(u"ann")), platform::Error);
    try {
        client.SendRequest(protocol::CMD_PHONEBOOK_SEARCH, S(u"ann"));
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), 40006);
    }
}

TEST_F(Connection, ANewLoginClosesTheOldConnectionWithoutAnAlert)
{
    QTcpSocket *first = LogIn(S(u"bob"));
    ASSERT_TRUE(client.LoggedIn);
    client.Login(S(u"ann"), S(u"pw"), false);
    // Not logged in while the new login connects.
    EXPECT_FALSE(client.LoggedIn);
    QTcpSocket *second = peer.Accept();
    ASSERT_TRUE(second);
    EXPECT_TRUE(WaitFor([&] { return first->state() != QAbstractSocket::ConnectedState || first->waitForDisconnected(50); }));
    Peer::Write(second, Peer::Enciphered(protocol::CMD_LOGIN_REPLY, S(u"(Connected)|0")));
    ASSERT_TRUE(WaitFor([&] { return client.LoggedIn; }));
    EXPECT_EQ(accepted, 2);
    EXPECT_TRUE(alerts.isEmpty()) << qPrintable(alerts.join(S(u" ")));
    EXPECT_EQ(Setting("UserName"), S(u"ann"));
}

TEST_F(Connection, AReplyWithNoLoginPendingIsIgnored)
{
    QTcpSocket *socket = LogIn(S(u"bob"), S(u"(Connected)|0"));
    ASSERT_EQ(accepted, 1);
    Peer::Write(socket, Peer::Enciphered(protocol::CMD_LOGIN_REPLY, S(u"(Connected)|1")));
    Peer::Write(socket, Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,1,24/01/05 10:00:00,after")));
    ASSERT_TRUE(WaitFor([&] { return !pushes.isEmpty(); }));
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(client.AllowFreeNumbers, 0);
}

TEST_F(Connection, SplitAndJoinedFramesAreHandledInOrder)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    const QString one = Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,1,24/01/05 10:00:00,one"));
    const QString two = Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,2,24/01/05 10:00:01,two, with | and ^"));
    const QString three = Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"Moderator,3,24/01/05 10:00:02,three"));
    // Two frames in one piece, the third cut in the middle and before its "|".
    Peer::Write(socket, one + two + three.left(10));
    ASSERT_TRUE(WaitFor([&] { return pushes.size() == 2; }));
    // The client has read the piece once its socket has signalled it.
    QSignalSpy arrived(client.wClient(), &QTcpSocket::readyRead);
    Peer::Write(socket, three.mid(10, three.size() - 11));
    ASSERT_TRUE(arrived.wait(10000));
    EXPECT_EQ(pushes.size(), 2);
    Peer::Write(socket, S(u"|"));
    ASSERT_TRUE(WaitFor([&] { return pushes.size() == 3; }));
    EXPECT_EQ(pushes, (QStringList{S(u"bob,1,24/01/05 10:00:00,one"), S(u"bob,2,24/01/05 10:00:01,two, with | and ^"),
                                   S(u"Moderator,3,24/01/05 10:00:02,three")}));
}

TEST_F(Connection, HalfAFrameOfALostConnectionDoesNotJoinTheNextLogin)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    const QString push = Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,1,24/01/05 10:00:00,cut off"));
    QSignalSpy arrived(client.wClient(), &QTcpSocket::readyRead);
    Peer::Write(socket, push.left(push.size() / 2));
    ASSERT_TRUE(arrived.wait(10000));
    socket->close();
    ASSERT_TRUE(WaitFor([&] { return !client.LoggedIn && client.wClient() == nullptr; }));

    LogIn(S(u"bob"), S(u"(Connected)|1"));
    EXPECT_TRUE(client.LoggedIn);
    EXPECT_EQ(accepted, 2);
    EXPECT_TRUE(pushes.isEmpty());
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Connection, EndlessTextWithoutAFrameEndClosesTheConnection)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    // The longest frame the service can send is still taken in: its data is
    // too long to decode, which is reported, and the next message runs.
    const QString longest = Frame(protocol::CMD_NEW_SMS, QString(protocol::MaxDataHexLength, QLatin1Char('A')));
    ASSERT_EQ(longest.size() - 1, ServiceConnection::MaxPendingText);
    Peer::Write(socket, longest + Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,1,24/01/05 10:00:00,next")));
    ASSERT_TRUE(WaitFor([&] { return !pushes.isEmpty(); }));
    EXPECT_EQ(pushes, QStringList{S(u"bob,1,24/01/05 10:00:00,next")});
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(client.LoggedIn);

    Peer::Write(socket, QString(ServiceConnection::MaxPendingText + 1, QLatin1Char('0')));
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    EXPECT_EQ(alerts, QStringList{S(u"connection_lost.")});
    EXPECT_FALSE(client.LoggedIn);
    EXPECT_TRUE(WaitFor([&] { return socket->state() != QAbstractSocket::ConnectedState || socket->waitForDisconnected(50); }));
    QFile log(ErrorLogPath());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("frmMain-->wClient_DataArrival"));
}

TEST_F(Connection, AnArrivalDuringABoxOnlyWaitsItsTurn)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    QStringList order;
    QObject::connect(&client, &ServiceConnection::NewSMS, [&](const QString &) {
        const int n = static_cast<int>(pushes.size());
        order << S(u"begin %1").arg(n);
        if (n == 1) {
            // A box's event loop, while the service pushes the next one; it
            // runs until that has reached the client.
            QSignalSpy arrived(client.wClient(), &QTcpSocket::readyRead);
            Peer::Write(socket, Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,2,24/01/05 10:00:00,two")));
            arrived.wait(10000);
        }
        order << S(u"end %1").arg(n);
    });
    Peer::Write(socket, Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,1,24/01/05 10:00:00,one")));
    ASSERT_TRUE(WaitFor([&] { return pushes.size() == 2; }));
    EXPECT_EQ(order, (QStringList{S(u"begin 1"), S(u"end 1"), S(u"begin 2"), S(u"end 2")}));
}

TEST_F(Connection, AnAcceptedLoginForgetsAPasswordNotToBeKept)
{
    {
        platform::IniFile ini;
        ini.setIniPath(client.SettingsPath);
        ini.WriteValue(S(u"SMSClient"), S(u"Password"), common::PasswordDigest(S(u"old")));
        ini.WriteValue(S(u"SMSClient"), S(u"SavePassword"), S(u"1"));
    }
    // Ticked: the settings page writes the password later.
    Connect(S(u"bob"), S(u"pw"), true);
    Peer::Write(peer.sockets.back(), Peer::Enciphered(protocol::CMD_LOGIN_REPLY, S(u"(Connected)|1")));
    ASSERT_TRUE(WaitFor([&] { return client.LoggedIn; }));
    EXPECT_EQ(Setting("Password"), common::PasswordDigest(S(u"old")));
    EXPECT_EQ(Setting("SavePassword"), S(u"1"));

    Connect(S(u"bob"), S(u"pw"), false);
    Peer::Write(peer.sockets.back(), Peer::Enciphered(protocol::CMD_LOGIN_REPLY, S(u"(Connected)|1")));
    ASSERT_TRUE(WaitFor([&] { return client.LoggedIn; }));
    EXPECT_EQ(Setting("Password"), QString());
    EXPECT_EQ(Setting("SavePassword"), S(u"0"));
}

TEST_F(Connection, PortsOutsideTheTcpRangeAreRefusedBeforeConnecting)
{
    for (const qint32 port : {0, -1, 65536, 65536 + static_cast<qint32>(peer.port())}) {
        alerts.clear();
        client.ServerPort = port;
        client.Login(S(u"bob"), S(u"pw"), false);
        EXPECT_EQ(alerts, QStringList{S(u"connection_failed.")}) << port;
        EXPECT_EQ(client.wClient(), nullptr);
    }
    EXPECT_FALSE(peer.server.waitForNewConnection(300));
}

TEST_F(Connection, ANoListenerIsAFailedConnection)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    client.ServerPort = closed.serverPort();
    closed.close();
    client.Login(S(u"bob"), S(u"pw"), false);
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    EXPECT_EQ(alerts, QStringList{S(u"connection_failed.")});
    EXPECT_FALSE(client.LoginPending);
}

TEST_F(Connection, AConnectThatDoesNotCompleteFailsAfterItsTime)
{
    // A listener whose queue is full and never taken: the kernel lets
    // further connects wait unanswered.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        fillers.back()->connectToHost(QHostAddress::LocalHost, ntohs(address.sin_port));
    }
    // One filler takes the queue's only place; the rest wait behind it.
    ASSERT_TRUE(WaitFor([&] {
        return std::any_of(fillers.begin(), fillers.end(),
                           [](const auto &filler) { return filler->state() == QAbstractSocket::ConnectedState; });
    }));

    client.ServerPort = ntohs(address.sin_port);
    client.ConnectTimeoutMs = 1000;
    client.Login(S(u"bob"), S(u"pw"), false);
    QTest::qWait(300);
    ASSERT_TRUE(alerts.isEmpty()) << "the connect did not wait";
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    EXPECT_EQ(alerts, QStringList{S(u"connection_failed.")});
    EXPECT_EQ(client.wClient(), nullptr);
    EXPECT_FALSE(client.LoginPending);
    fillers.clear();
    ::close(listener);
}

TEST_F(Connection, AConnectionLostDuringABoxKeepsTheSocketUntilItsArrivalIsHandled)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    QPointer<QTcpSocket> arriving = client.wClient();
    bool aliveAfterTheBox = false;
    QObject::connect(&client, &ServiceConnection::NewSMS, [&](const QString &) {
        // A box's event loop, while the service goes away.
        socket->close();
        QEventLoop box;
        QTimer::singleShot(300, &box, &QEventLoop::quit);
        box.exec();
        // Qt is still inside this socket's own signal when the handler
        // returns: it must not have been destroyed under it.
        aliveAfterTheBox = !arriving.isNull();
    });
    Peer::Write(socket, Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,1,24/01/05 10:00:00,one")));
    ASSERT_TRUE(WaitFor([&] { return !pushes.isEmpty() && !alerts.isEmpty(); }));
    EXPECT_TRUE(aliveAfterTheBox);
    EXPECT_EQ(alerts, QStringList{S(u"connection_lost.")});
    EXPECT_FALSE(client.LoggedIn);
    EXPECT_EQ(client.wClient(), nullptr);
    // Once the arrival is over, the old socket goes.
    EXPECT_TRUE(WaitFor([&] { return arriving.isNull(); }));
}

TEST_F(Connection, MessagesThatArriveWithTheCloseDuringABoxAreStillHandled)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    QObject::connect(&client, &ServiceConnection::NewSMS, [&](const QString &) {
        if (pushes.size() != 1)
            return;
        // While a box is open, the service pushes one more and goes away.
        Peer::Write(socket, Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,2,24/01/05 10:00:01,two")));
        socket->close();
        QEventLoop box;
        QTimer::singleShot(300, &box, &QEventLoop::quit);
        box.exec();
    });
    Peer::Write(socket, Peer::Enciphered(protocol::CMD_NEW_SMS, S(u"bob,1,24/01/05 10:00:00,one")));
    ASSERT_TRUE(WaitFor([&] { return !alerts.isEmpty(); }));
    EXPECT_TRUE(WaitFor([&] { return pushes.size() == 2; }));
    EXPECT_EQ(pushes, (QStringList{S(u"bob,1,24/01/05 10:00:00,one"), S(u"bob,2,24/01/05 10:00:01,two")}));
    EXPECT_EQ(alerts, QStringList{S(u"connection_lost.")});
    EXPECT_FALSE(client.LoggedIn);
}
