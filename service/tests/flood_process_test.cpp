// The installed service while an attacker on the network holds 3,000
// connections that never log in and reconnects each as soon as the service
// closes it, as fast as one process can on loopback, from one address and
// from a hundred: a user still logs in and searches, from an address of
// their own and from the attacker's.
#include "connectionflood.h"
#include "programfolder.h"
#include "testdatabases.h"
#include "text.h"

#include "platform/codepage.h"
#include "protocol/protocol.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

const QString Digest = S(u"0123456789ABCDEF0123456789ABCDEF");
constexpr int AttackConnections = 3000;
constexpr int Attempts = 10;
constexpr int AttemptTimeoutMs = 2000;

class FloodService : public ::testing::Test {
protected:
    ProgramFolder folder;
    ServiceOnModem system{folder};

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        Writer users(folder.filePath(S(u"db/application.db")));
        users.Run(S(u"INSERT INTO Users (UserName, UserPassword, ModeratorAccess, ManualNumberPermission) "
                    u"VALUES ('bob', ?, 0, 0)"),
                  {Digest});
        Writer phonebook(folder.filePath(S(u"db/phonebook.db")));
        phonebook.Run(S(u"INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES ('Ann', 'Smith', 'Acme', '+901')"));
        ASSERT_TRUE(system.start({{S(u"sms_check_interval"), S(u"60")}}));
    }
    void TearDown() override { EXPECT_TRUE(system.stop()); }

    // One user's login and search from `from`, as a client makes them, at
    // once: true when both are answered within the time.
    bool LogInAndSearch(const QString &from)
    {
        QTcpSocket socket;
        socket.bind(QHostAddress(from));
        protocol::ReceiveBuffer buffer;
        bool loggedIn = false;
        bool answered = false;
        QDeadlineTimer deadline(AttemptTimeoutMs);
        QElapsedTimer clock;
        clock.start();
        socket.connectToHost(QHostAddress::LocalHost, system.port());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(protocol::PrepareDataToSend(protocol::CMD_LOGIN, S(u"bob^") + Digest).toLatin1());
            socket.flush();
            while (!answered && !deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState
                   && socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
                buffer.Append(platform::codepage::fromAnsi(socket.readAll()));
                while (const auto message = buffer.NextMessage()) {
                    const auto decoded = protocol::DecodeMessage(*message);
                    if (decoded && decoded->code == protocol::CMD_LOGIN_REPLY) {
                        loggedIn = true;
                        socket.write(protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_SEARCH, S(u"ann")).toLatin1());
                        socket.flush();
                    } else if (decoded && decoded->code == protocol::CMD_PHONEBOOK_RESULT) {
                        answered = !decoded->data.isEmpty();
                    }
                }
            }
        }
        std::printf("  from %s: %s after %lld ms%s\n", qPrintable(from),
                    answered ? "answered" : (loggedIn ? "logged in, no answer" : "not logged in"),
                    static_cast<long long>(clock.elapsed()),
                    answered ? "" : qPrintable(QStringLiteral(" (%1)").arg(socket.errorString())));
        return answered;
    }

    void RunUnderFlood(int addresses, const QString &attackersAddress)
    {
        ConnectionFlood attacker(system.port(), AttackConnections, addresses);
        // The attack is under way: the table is full or the address at its
        // share, and the service keeps closing and the attacker reconnecting.
        ASSERT_TRUE(QTest::qWaitFor([&] { return attacker.reconnects() > 3000; }, 60000))
            << attacker.reconnects() << " reconnections";
        for (const QString &from : {S(u"127.0.0.250"), attackersAddress}) {
            int through = 0;
            for (int i = 0; i < Attempts; ++i)
                through += LogInAndSearch(from) ? 1 : 0;
            std::printf("from %s: %d of %d within %d ms, %d reconnections so far\n", qPrintable(from), through, Attempts,
                        AttemptTimeoutMs, attacker.reconnects());
            EXPECT_GE(through, Attempts * 9 / 10) << qPrintable(from) << "\n"
                                                   << folder.readFile(S(u"TalvinorSMSSvc.log")).right(3000).constData()
                                                   << folder.readFile(S(u"service-stderr.log")).right(2000).constData();
        }
        // The log stays short: reports at most once a minute.
        const QByteArray log = folder.readFile(S(u"TalvinorSMSSvc.log"));
        EXPECT_LE(log.count("Procedure: "), 4) << log.constData();
    }
};

TEST_F(FloodService, LoginsGetThroughAFloodFromOneAddress)
{
    RunUnderFlood(1, S(u"127.0.0.1"));
}

TEST_F(FloodService, LoginsGetThroughAFloodFromAHundredAddresses)
{
    RunUnderFlood(100, S(u"127.0.0.37"));
}

} // namespace
