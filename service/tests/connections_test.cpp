// The connection table over real TCP sockets: slots and their reuse, each
// connection's own receive buffer, online entries, and every way a
// connection ends.
#include "connections.h"
#include "files.h"
#include "servicelog.h"
#include "servicepartstest.h"

#include "platform/error.h"
#include "platform/logwriter.h"
#include "protocol/protocol.h"
#include "raisederror.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Recorded = std::pair<QString, qint16>;

class ConnectionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logFile.setLogFolder(folder.path());
        logFile.setLogName(QStringLiteral("TalvinorSMSSvc.log"));
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        connections.Listen(server);
        connections.SetCommandHandler([this](const QString &message, qint16 index) {
            recorded.emplace_back(message, index);
            if (onCommand)
                onCommand(message, index);
        });
    }

    // A new client, once the table has given it a slot; its index.
    qint16 Connect(const QString &from = QString())
    {
        const QList<qint16> before = connections.Indices();
        clients.push_back(std::make_unique<QTcpSocket>());
        if (!from.isEmpty())
            clients.back()->bind(QHostAddress(from));
        clients.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
        const bool accepted = QTest::qWaitFor([&] {
            for (qint16 index : connections.Indices())
                if (!before.contains(index))
                    return true;
            return false;
        }, 5000);
        EXPECT_TRUE(accepted);
        for (qint16 index : connections.Indices())
            if (!before.contains(index))
                return index;
        return 0;
    }

    // A new client whose slot may be one just freed for it: once the table
    // has taken it, which its first message reaching the handler shows.
    void ConnectInPlace(const QString &from)
    {
        clients.push_back(std::make_unique<QTcpSocket>());
        clients.back()->bind(QHostAddress(from));
        clients.back()->connectToHost(QHostAddress::LocalHost, server.serverPort());
        EXPECT_TRUE(clients.back()->waitForConnected(5000));
        const size_t before = recorded.size();
        Write(*clients.back(), "arrived|");
        EXPECT_TRUE(WaitForRecorded(before + 1));
    }

    QTcpSocket &Client(size_t n) { return *clients.at(n); }

    void Write(QTcpSocket &client, const QByteArray &bytes)
    {
        client.write(bytes);
        ASSERT_TRUE(client.waitForBytesWritten(5000));
    }

    bool WaitForRecorded(size_t count)
    {
        return QTest::qWaitFor([&] { return recorded.size() >= count; }, 10000);
    }

    bool WaitForFree(qint16 index)
    {
        return QTest::qWaitFor([&] { return !connections.Exists(index); }, 10000);
    }

    static bool WaitForDisconnect(QTcpSocket &client)
    {
        return client.state() == QAbstractSocket::UnconnectedState || client.waitForDisconnected(10000);
    }

    QString LogText() const { return QString::fromUtf8(ReadAll(logFile.logPath())); }

    QTemporaryDir folder;
    platform::LogWriter logFile;
    ServiceLog log{logFile};
    QTcpServer server;
    Connections connections{log};
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<Recorded> recorded;
    std::function<void(const QString &, qint16)> onCommand;
};

} // namespace

TEST_F(ConnectionsTest, FreedSlotsAreReusedBeforeCountingOn)
{
    EXPECT_EQ(Connect(), 1);
    EXPECT_EQ(Connect(), 2);
    EXPECT_EQ(Connect(), 3);
    Client(1).disconnectFromHost();
    ASSERT_TRUE(WaitForFree(2));
    EXPECT_EQ(Connect(), 2);
    EXPECT_EQ(Connect(), 4);
    // The highest slot is reused too, so reconnecting clients never run the
    // counter up.
    Client(4).disconnectFromHost();
    ASSERT_TRUE(WaitForFree(4));
    EXPECT_EQ(Connect(), 4);
    EXPECT_EQ(connections.Indices(), (QList<qint16>{1, 2, 3, 4}));
}

TEST_F(ConnectionsTest, CountingStartsAfreshWhenTheServiceStarts)
{
    EXPECT_EQ(Connect(), 1);
    Client(0).disconnectFromHost();
    ASSERT_TRUE(WaitForFree(1));
    connections.ResetConnectionCounter();
    EXPECT_EQ(Connect(), 1);
    EXPECT_EQ(Connect(), 2);
}

TEST_F(ConnectionsTest, EachConnectionCutsItsOwnStream)
{
    const qint16 a = Connect();
    const qint16 b = Connect();
    Write(Client(0), "0200");
    Write(Client(1), "020003616263|020000|");
    ASSERT_TRUE(WaitForRecorded(2));
    Write(Client(0), "03616263|02");
    Write(Client(0), "0000|");
    ASSERT_TRUE(WaitForRecorded(4));
    const std::vector<Recorded> expected = {
        {QStringLiteral("020003616263"), b},
        {QStringLiteral("020000"), b},
        {QStringLiteral("020003616263"), a},
        {QStringLiteral("020000"), a},
    };
    EXPECT_EQ(recorded, expected);
}

TEST_F(ConnectionsTest, AMessageIsCutBeforeItRunsAndTheNextAfterIt)
{
    const qint16 index = Connect();
    std::vector<QString> seenTags;
    onCommand = [&](const QString &message, qint16 i) {
        seenTags.push_back(connections.Tag(i));
        connections.SetTag(i, message);
    };
    Write(Client(0), "first|second|");
    ASSERT_TRUE(WaitForRecorded(2));
    EXPECT_EQ(seenTags, (std::vector<QString>{QString(), QStringLiteral("first")}));
    EXPECT_EQ(connections.Tag(index), QStringLiteral("second"));
}

TEST_F(ConnectionsTest, AMessageSentJustBeforeTheCloseStillRuns)
{
    const qint16 index = Connect();
    Client(0).write("020000|");
    Client(0).disconnectFromHost();
    ASSERT_TRUE(WaitForFree(index));
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded.front(), Recorded(QStringLiteral("020000"), index));
}

TEST_F(ConnectionsTest, ClosingRemovesExactlyTheEntriesOfThatConnection)
{
    const qint16 anna = Connect();
    const qint16 ann = Connect();
    const qint16 bob1 = Connect();
    const qint16 bob2 = Connect();
    const qint16 anonymous = Connect();
    connections.AddOnlineUser(anna, QStringLiteral("anna"));
    connections.AddOnlineUser(ann, QStringLiteral("ann"));
    connections.AddOnlineUser(bob1, QStringLiteral("bob"));
    connections.AddOnlineUser(bob2, QStringLiteral("bob"));

    // "ann" closing must not take "anna", the second "bob" not the first,
    // and one that never logged in nothing at all.
    struct Step { size_t client; qint16 index; QStringList remaining; } steps[] = {
        {4, anonymous, {QStringLiteral("anna|1"), QStringLiteral("ann|2"), QStringLiteral("bob|3"), QStringLiteral("bob|4")}},
        {1, ann, {QStringLiteral("anna|1"), QStringLiteral("bob|3"), QStringLiteral("bob|4")}},
        {3, bob2, {QStringLiteral("anna|1"), QStringLiteral("bob|3")}},
    };
    for (const Step &s : steps) {
        Client(s.client).disconnectFromHost();
        ASSERT_TRUE(WaitForFree(s.index)) << s.index;
        EXPECT_EQ(OnlineEntries(connections), s.remaining) << s.index;
        EXPECT_FALSE(connections.IsLoggedIn(s.index));
    }
    EXPECT_TRUE(connections.IsLoggedIn(bob1));
    EXPECT_EQ(Connect(), 2);
}

TEST_F(ConnectionsTest, ALaterLoginReplacesTheEntryOfItsConnection)
{
    const qint16 first = Connect();
    const qint16 second = Connect();
    connections.AddOnlineUser(first, QStringLiteral("ann"));
    connections.AddOnlineUser(second, QStringLiteral("carl"));
    connections.AddOnlineUser(first, QStringLiteral("bob"));
    connections.AddOnlineUser(first, QStringLiteral("bob"));
    EXPECT_EQ(OnlineEntries(connections), (QStringList{QStringLiteral("carl|2"), QStringLiteral("bob|1")}));
}

TEST_F(ConnectionsTest, ClosingFromThisSideEndsTheConnectionCleanlyAndFreesTheSlot)
{
    const qint16 index = Connect();
    connections.AddOnlineUser(index, QStringLiteral("ann"));
    connections.Close(index);
    EXPECT_FALSE(connections.Exists(index));
    EXPECT_TRUE(connections.OnlineUsers().isEmpty());
    ASSERT_TRUE(WaitForDisconnect(Client(0)));
    // A closed connection, not a reset: the client tells a refused login by it.
    EXPECT_EQ(Client(0).error(), QAbstractSocket::RemoteHostClosedError);
    EXPECT_TRUE(LogText().isEmpty()) << qPrintable(LogText());
}

TEST_F(ConnectionsTest, AFreeSlotCannotBeUsed)
{
    const qint16 index = Connect();
    connections.Close(index);
    const std::pair<const char *, std::function<void()>> calls[] = {
        {"Tag", [&] { connections.Tag(index); }},
        {"SetTag", [&] { connections.SetTag(index, QStringLiteral("x")); }},
        {"IsConnected", [&] { connections.IsConnected(index); }},
        {"SendData", [&] { connections.SendData(index, u"020000|"); }},
        {"Close", [&] { connections.Close(index); }},
        {"AddOnlineUser", [&] { connections.AddOnlineUser(index, QStringLiteral("x")); }},
        {"Tag of slot 0", [&] { connections.Tag(0); }},
        {"Tag beyond the table", [&] { connections.Tag(999); }},
    };
    for (const auto &[name, call] : calls)
        EXPECT_EQ(RaisedNumber(call), 340) << name;
    EXPECT_TRUE(connections.OnlineUsers().isEmpty());
}

TEST_F(ConnectionsTest, SendDataReachesTheClientWhileConnected)
{
    const qint16 index = Connect();
    EXPECT_TRUE(connections.IsConnected(index));
    const QString frame = protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_RESULT, u"x|y");
    connections.SendData(index, frame);
    QByteArray received;
    ASSERT_TRUE(QTest::qWaitFor([&] { received += Client(0).readAll(); return received.size() >= frame.size(); }, 5000));
    EXPECT_EQ(received, frame.toLatin1());
}

TEST_F(ConnectionsTest, AClientSendingWithoutFrameEndIsClosedOnceNoFrameCanHoldIt)
{
    struct Case { qsizetype length; bool closed; } cases[] = {
        {protocol::MaxMessageLength, false},
        {protocol::MaxMessageLength + 1, true},
        {1000000, true},
    };
    for (const Case &c : cases) {
        const qint16 index = Connect();
        QTcpSocket &client = *clients.back();
        const size_t before = recorded.size();
        Write(client, QByteArray(c.length, '0'));
        if (c.closed) {
            ASSERT_TRUE(WaitForFree(index)) << c.length;
            EXPECT_TRUE(WaitForDisconnect(client)) << c.length;
            EXPECT_EQ(recorded.size(), before);
            EXPECT_TRUE(LogText().contains(QStringLiteral("Connection %1 sent more than 32772 characters without a frame end and is closed\r\n"
                                                          "Procedure: wsckTcpServer_DataArrival")
                                               .arg(index)))
                << qPrintable(LogText());
        } else {
            // Still open: the frame end completes the longest message.
            Write(client, "|");
            ASSERT_TRUE(WaitForRecorded(before + 1)) << c.length;
            EXPECT_EQ(recorded.back().first.size(), c.length);
            EXPECT_TRUE(connections.Exists(index));
        }
    }
}

TEST_F(ConnectionsTest, AConnectionThatDoesNotLogInInTimeIsClosed)
{
    ConnectionLimits limits;
    limits.loginTimeoutMs = 300;
    connections.SetLimits(limits);
    const qint16 loggedIn = Connect();
    connections.AddOnlineUser(loggedIn, QStringLiteral("ann"));
    const qint16 idle = Connect();
    // Traffic is no login: a client sending other requests goes too.
    const qint16 chatty = Connect();
    Write(Client(2), "020000|");

    ASSERT_TRUE(WaitForFree(idle));
    ASSERT_TRUE(WaitForFree(chatty));
    EXPECT_TRUE(WaitForDisconnect(Client(1)));
    EXPECT_TRUE(WaitForDisconnect(Client(2)));
    // Older than both, but logged in.
    EXPECT_TRUE(connections.Exists(loggedIn));
    EXPECT_EQ(Client(0).state(), QAbstractSocket::ConnectedState);
    EXPECT_TRUE(LogText().isEmpty()) << qPrintable(LogText());
}

// Past the cap a new connection takes the place of the oldest one not
// logged in of the address with the most of them; a logged-in connection is
// never closed for it, and only when all are logged in is the new one
// closed at once. It is reported at most once an interval, with counts.
TEST_F(ConnectionsTest, PastTheCapANewConnectionReplacesTheBusiestAddressesOldest)
{
    ConnectionLimits limits;
    limits.maxConnections = 4;
    limits.refusalReportIntervalMs = 300;
    connections.SetLimits(limits);
    const qint16 user = Connect(QStringLiteral("127.0.0.2"));
    connections.AddOnlineUser(user, QStringLiteral("ann"));
    const qint16 other = Connect(QStringLiteral("127.0.0.3"));
    const qint16 busyOldest = Connect(QStringLiteral("127.0.0.4"));
    const qint16 busyNewer = Connect(QStringLiteral("127.0.0.4"));

    ConnectInPlace(QStringLiteral("127.0.0.5"));
    // The slot freed takes the newcomer.
    ASSERT_TRUE(connections.Exists(busyOldest));
    EXPECT_EQ(connections.PeerAddress(busyOldest), QStringLiteral("127.0.0.5"));
    EXPECT_TRUE(connections.Exists(busyNewer));
    EXPECT_TRUE(connections.Exists(other));
    EXPECT_TRUE(connections.IsLoggedIn(user));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Client(2).state() == QAbstractSocket::UnconnectedState; }, 5000));

    // All logged in: the newcomer goes.
    for (qint16 index : connections.Indices())
        if (!connections.IsLoggedIn(index))
            connections.AddOnlineUser(index, QStringLiteral("u%1").arg(index));
    QTcpSocket refused;
    bool connected = false;
    QObject::connect(&refused, &QTcpSocket::connected, [&] { connected = true; });
    refused.connectToHost(QHostAddress::LocalHost, server.serverPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return connected && refused.state() == QAbstractSocket::UnconnectedState; }, 10000));
    EXPECT_EQ(connections.Indices().size(), 4);
    for (qint16 index : connections.Indices())
        EXPECT_TRUE(connections.IsLoggedIn(index));

    // One report at once, the rest when the interval ends.
    ASSERT_TRUE(QTest::qWaitFor([&] { return LogText().count(QStringLiteral("Procedure: wsckTcpServer_ConnectionRequest")) == 2; }, 5000))
        << qPrintable(LogText());
    EXPECT_TRUE(LogText().contains(QStringLiteral("0 connection(s) refused and 1 not logged in closed to make room for new "
                                                  "ones: 4 connections are open (at most 4), 3 not logged in; the busiest "
                                                  "addresses: ")))
        << qPrintable(LogText());
    EXPECT_TRUE(LogText().contains(QStringLiteral("1 connection(s) refused and 0 not logged in closed to make room for new "
                                                  "ones: 4 connections are open (at most 4), 0 not logged in; the busiest "
                                                  "addresses: none")))
        << qPrintable(LogText());
}

// One address holds at most so many connections not logged in: the next
// one from there takes the place of its oldest, whatever room is left, and
// other addresses and logged-in connections keep theirs.
TEST_F(ConnectionsTest, AnAddressKeepsAtMostItsShareOfConnectionsNotLoggedIn)
{
    ConnectionLimits limits;
    limits.maxWaitingPerAddress = 3;
    connections.SetLimits(limits);
    const qint16 loggedIn = Connect(QStringLiteral("127.0.0.7"));
    connections.AddOnlineUser(loggedIn, QStringLiteral("ann"));
    QList<qint16> flood;
    for (int i = 0; i < 3; ++i)
        flood << Connect(QStringLiteral("127.0.0.7"));
    const qint16 elsewhere = Connect(QStringLiteral("127.0.0.8"));
    ConnectInPlace(QStringLiteral("127.0.0.7"));
    // The oldest went, and its slot took the newcomer.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Client(1).state() == QAbstractSocket::UnconnectedState; }, 5000));
    EXPECT_TRUE(connections.Exists(flood[0]));
    EXPECT_TRUE(connections.Exists(flood[1]));
    EXPECT_TRUE(connections.Exists(flood[2]));
    EXPECT_TRUE(connections.Exists(elsewhere));
    EXPECT_TRUE(connections.IsLoggedIn(loggedIn));
    EXPECT_EQ(connections.Indices().size(), 5);
    EXPECT_TRUE(LogText().contains(QStringLiteral("the busiest addresses: 127.0.0.7 (3), 127.0.0.8 (1)"))) << qPrintable(LogText());
}

TEST_F(ConnectionsTest, AClientThatLeavesRepliesUnreadIsCutOffAtTheCap)
{
    ConnectionLimits limits;
    limits.maxPendingReplyBytes = 64 * 1024;
    connections.SetLimits(limits);
    const QString frame = protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_RESULT, QString(8000, QLatin1Char('x')));

    // A client that reads takes far more than the cap without harm.
    const qint16 reader = Connect();
    qint64 received = 0;
    QObject::connect(&Client(0), &QTcpSocket::readyRead, [&] { received += Client(0).readAll().size(); });
    for (int i = 0; i < 200; ++i) {
        connections.SendData(reader, frame);
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return received == 200 * frame.size(); }, 10000));
    EXPECT_TRUE(connections.Exists(reader));

    // One that never reads fills the system's buffers, then the service's.
    const qint16 deaf = Connect();
    Client(1).setReadBufferSize(1);
    int sent = 0;
    int raised = 0;
    for (; sent < 20000 && raised == 0; ++sent) {
        raised = RaisedNumber([&] { connections.SendData(deaf, frame); });
        QCoreApplication::processEvents();
    }
    ASSERT_NE(raised, 0) << "never cut off";
    EXPECT_FALSE(connections.Exists(deaf));
    EXPECT_TRUE(LogText().isEmpty()) << "the caller reports it, with its own procedure name";
    // Reading at last, the client finds the connection's end behind what
    // the system still held for it.
    Client(1).setReadBufferSize(0);
    EXPECT_TRUE(QTest::qWaitFor([&] {
        Client(1).readAll();
        return Client(1).state() == QAbstractSocket::UnconnectedState;
    }, 10000));
    EXPECT_TRUE(connections.Exists(reader));
    try {
        connections.SendData(reader, frame);
    } catch (...) {
        ADD_FAILURE() << "the reading client was cut off too";
    }
}

// Clients that never read are bounded together too: past the cap for all,
// the connection holding the most unread replies is cut off and logged, and
// the others go on.
TEST_F(ConnectionsTest, UnreadRepliesOfAllConnectionsAreBounded)
{
    ConnectionLimits limits;
    limits.maxPendingReplyBytes = 64 * 1024 * 1024;
    limits.maxTotalPendingReplyBytes = 2 * 1024 * 1024;
    connections.SetLimits(limits);
    const QString frame = protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_RESULT, QString(8000, QLatin1Char('x')));
    QList<qint16> deaf;
    for (int i = 0; i < 4; ++i) {
        deaf << Connect();
        Client(static_cast<size_t>(i)).setReadBufferSize(1);
    }
    // The first gets twice as much as the others, round after round,
    // until one is cut off: the first, while another is being sent to.
    bool cut = false;
    for (int round = 0; round < 5000 && !cut; ++round) {
        for (int i = 0; i < deaf.size() && !cut; ++i) {
            for (int times = i == 0 ? 2 : 1; times > 0 && !cut; --times) {
                EXPECT_EQ(RaisedNumber([&] { connections.SendData(deaf[i], frame); }), 0);
                cut = !connections.Exists(deaf[0]);
            }
        }
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(cut) << "never cut off";
    EXPECT_EQ(connections.Indices(), deaf.mid(1));
    const QString text = LogText();
    EXPECT_EQ(text.count(QStringLiteral("Procedure: SendData")), 1) << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("Connection %1 from 127.0.0.1 closed: it left ").arg(deaf[0])))
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("the most of all connections"))) << qPrintable(text);
}

// A client flooding requests gets its turn like any other: a message from
// a second client that arrives during the flood runs before the flood ends.
TEST_F(ConnectionsTest, AFloodingClientDoesNotStarveTheOthers)
{
    const qint16 flooder = Connect();
    const qint16 other = Connect();
    onCommand = [](const QString &, qint16) { QTest::qSleep(1); };
    QByteArray flood;
    for (int i = 0; i < 500; ++i)
        flood += "020000|";
    Client(0).write(flood);
    ASSERT_TRUE(Client(0).waitForBytesWritten(5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recorded.empty(); }, 5000));
    Write(Client(1), "020001|");
    ASSERT_TRUE(WaitForRecorded(501));
    const auto late = std::find(recorded.begin(), recorded.end(), Recorded(QStringLiteral("020001"), other));
    ASSERT_NE(late, recorded.end());
    EXPECT_LT(late - recorded.begin(), 250);
    EXPECT_EQ(std::count_if(recorded.begin(), recorded.end(), [&](const Recorded &r) { return r.second == flooder; }), 500);
}

// Everything a client sent before it closed runs, in order, however much
// it was; then the slot is free.
TEST_F(ConnectionsTest, AClosedClientsBacklogRunsToTheEndBeforeItsSlotIsFreed)
{
    const qint16 index = Connect();
    QByteArray backlog;
    for (int i = 0; i < 300; ++i)
        backlog += protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_SEARCH, QString::number(i)).toLatin1();
    Client(0).write(backlog);
    Client(0).disconnectFromHost();
    ASSERT_TRUE(WaitForFree(index));
    ASSERT_EQ(recorded.size(), 300u);
    for (int i = 0; i < 300; ++i) {
        auto message = protocol::DecodeMessage(recorded[static_cast<size_t>(i)].first);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->data, QString::number(i));
    }
}
