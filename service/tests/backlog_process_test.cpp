// The installed service against the simulated modem with a long backlog of
// queued messages: received messages still reach Incoming and their user
// within a bounded time, and sends keep going out. The service runs with
// its clock ten times faster (a modem tick of 800 ms); every bound below is
// counted in the service's ticks.
#include "programfolder.h"
#include "queuefiles.h"
#include "testdatabases.h"
#include "text.h"

#include "platform/codepage.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QTcpSocket>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>

namespace {

constexpr double ClockScale = 0.1;
constexpr double TickMs = 8000 * ClockScale;
const QString Digest = S(u"0123456789ABCDEF0123456789ABCDEF");

class BacklogService : public ::testing::Test {
protected:
    ProgramFolder folder;
    std::unique_ptr<SimulatedModem> sim;
    std::unique_ptr<QProcess> service;
    quint16 port = 0;

    void SetUp() override { ASSERT_TRUE(folder.isValid()); }

    void TearDown() override
    {
        if (service) {
            service->terminate();
            EXPECT_TRUE(service->waitForFinished(30000));
        }
    }

    void startService(int checkInterval)
    {
        port = freeTcpPort();
        folder.writeServiceSettings({{S(u"port"), QString::number(port)},
                                     {S(u"sms_check_interval"), QString::number(checkInterval)},
                                     {S(u"allowed_time_interval"), S(u"00:00,23:59")}});
        Writer users(folder.filePath(S(u"db/application.db")));
        users.Run(S(u"INSERT INTO Users (UserName, UserPassword, ModeratorAccess, ManualNumberPermission) "
                    u"VALUES ('bob', ?, 0, 0)"),
                  {Digest});
        sim = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(sim->isReady());
        service.reset(folder.newProcess(S(u"TalvinorSMSSvc"), {}));
        QProcessEnvironment env = service->processEnvironment();
        env.insert(S(u"TALVINOR_CLOCK_SCALE"), QString::number(ClockScale));
        service->setProcessEnvironment(env);
        service->setStandardOutputFile(folder.filePath(S(u"service.out")));
        service->setStandardErrorFile(folder.filePath(S(u"service.err")));
        service->start();
        ASSERT_TRUE(service->waitForStarted());
        ASSERT_TRUE(waitUntilListening(port, 30000, service.get()));
    }

    void queueMessages(int count) const
    {
        for (int n = 1; n <= count; ++n) {
            const QString name = UnsentFileName(S(u"240101000000"), QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')));
            CreateQueueFile(folder.filePath(S(u"Unsent")),
                            UnsentFileContent(QStringLiteral("[Bulk],05320%1,24/01/01 00:00:00,backlog %2")
                                                  .arg(n, 6, 10, QLatin1Char('0'))
                                                  .arg(n)),
                            [&] { return name; });
        }
    }

    // The numbers of the received messages in Incoming or Backup.
    QSet<QString> storedNumbers() const
    {
        QSet<QString> numbers;
        for (const char16_t *sub : {u"Incoming", u"Backup"}) {
            const QString dir = folder.filePath(S(sub));
            for (const QString &name : ListQueueFiles(dir))
                numbers.insert(ReadSmsRecord(ReadFirstLine(QDir(dir).filePath(name))).Number);
        }
        return numbers;
    }

    std::string diagnostics() const
    {
        return (S(u"service log:\n") + QString::fromUtf8(folder.readFile(S(u"TalvinorSMSSvc.log")))).toStdString();
    }
};

// A desktop client logged in as bob: the numbers of the messages pushed to
// it, with the moment each came.
class PushedMessages {
public:
    PushedMessages(quint16 port, const QElapsedTimer &clock) : m_clock(clock)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] {
            m_buffer.Append(platform::codepage::fromAnsi(m_socket.readAll()));
            while (const auto message = m_buffer.NextMessage()) {
                const auto decoded = protocol::DecodeMessage(*message);
                if (!decoded)
                    continue;
                const QString plain = sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(decoded->data), false);
                if (decoded->code == protocol::CMD_LOGIN_REPLY)
                    m_loggedIn = plain.startsWith(S(u"(Connected)"));
                else if (decoded->code == protocol::CMD_NEW_SMS)
                    m_pushed.emplace(ReadSmsRecord(plain).Number, m_clock.elapsed());
            }
        });
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.write(protocol::PrepareDataToSend(protocol::CMD_LOGIN, S(u"bob^") + Digest).toLatin1());
    }
    bool waitForLogin() { return QTest::qWaitFor([this] { return m_loggedIn; }, 10000); }
    const std::map<QString, qint64> &pushed() const { return m_pushed; }

private:
    const QElapsedTimer &m_clock;
    QTcpSocket m_socket;
    protocol::ReceiveBuffer m_buffer;
    bool m_loggedIn = false;
    std::map<QString, qint64> m_pushed;
};

// With 60 messages waiting and a poll every 24 s, a received message waits
// for the next poll, which waits behind at most the running send and one
// waiting send and then takes its own tick; the user has it a tick later.
// Sends still take the ticks polls leave.
TEST_F(BacklogService, ReceivedMessagesKeepComingDuringABacklog)
{
    constexpr int Interval = 24;
    constexpr int Messages = 60;
    constexpr int Received = 6;
    queueMessages(Messages);
    startService(Interval);
    if (HasFatalFailure())
        return;
    QElapsedTimer clock;
    clock.start();
    PushedMessages bob(port, clock);
    ASSERT_TRUE(bob.waitForLogin());

    std::map<QString, qint64> injected;
    std::map<QString, qint64> stored;
    QList<qint64> sentAt; // when the n-th message went out
    const auto watch = [&] {
        const QSet<QString> numbers = storedNumbers();
        for (const auto &[number, at] : injected)
            if (numbers.contains(number) && !stored.count(number))
                stored.emplace(number, clock.elapsed());
        const qsizetype sent = sim->sentLog().count('\n');
        while (sentAt.size() < sent)
            sentAt.append(clock.elapsed());
    };
    for (int n = 1; n <= Received; ++n) {
        // Spread over the backlog, to its last third, at moments that fall
        // anywhere in a poll's interval.
        // The wait runs out by design: it only watches meanwhile.
        (void)QTest::qWaitFor(
            [&] {
                watch();
                return false;
            },
            static_cast<int>(TickMs * (10 + 2 * (n % 3)) + 137 * n));
        const QString number = QStringLiteral("+90555000%1").arg(n, 4, 10, QLatin1Char('0'));
        sim->deliver(number, QStringLiteral("bob r%1 during the backlog").arg(n));
        injected.emplace(number, clock.elapsed());
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            watch();
            return static_cast<int>(stored.size()) == Received && static_cast<int>(bob.pushed().size()) == Received
                && sentAt.size() >= Messages;
        },
        static_cast<int>(TickMs * Messages * 3)))
        << stored.size() << " stored, " << bob.pushed().size() << " pushed, " << sentAt.size() << " sent\n"
        << diagnostics();

    // Two ticks of slack for a loaded machine; without the bound the wait
    // grows by a tick with every poll, to a dozen ticks and more here.
    const double storeBound = (Interval * 1000 * ClockScale) + 5 * TickMs;
    for (const auto &[number, at] : injected) {
        const qint64 storedAfter = stored.at(number) - at;
        const qint64 pushedAfter = bob.pushed().at(number) - stored.at(number);
        std::printf("%s: stored after %.1f ticks, pushed %.1f ticks later\n", qPrintable(number), storedAfter / TickMs,
                    pushedAfter / TickMs);
        EXPECT_LE(storedAfter, storeBound) << qPrintable(number);
        EXPECT_LE(pushedAfter, 3 * TickMs) << qPrintable(number);
    }
    // The rate while the backlog lasted.
    const double ticks = (sentAt.last() - sentAt.first()) / TickMs;
    const double rate = (sentAt.size() - 1) / ticks;
    std::printf("%lld sends in %.1f ticks: %.2f a tick\n", static_cast<long long>(sentAt.size()), ticks, rate);
    EXPECT_GE(rate, 0.6);
    EXPECT_EQ(sim->sentTexts().size(), Messages);
}

// With a poll at every tick, polls and sends alternate, and a poll waits
// behind no more than the send that runs and one waiting: the modem's
// command log never shows more than two sends between two listings.
TEST_F(BacklogService, WithShortIntervalsPollsAndSendsAlternate)
{
    constexpr int Messages = 30;
    queueMessages(Messages);
    startService(4);
    if (HasFatalFailure())
        return;
    ASSERT_TRUE(sim->waitForSent(Messages, static_cast<int>(TickMs * Messages * 4))) << diagnostics();
    const QByteArray log = folder.readFile(S(u"Commands.log"));
    int sendsSincePoll = 0;
    int most = 0;
    int polls = 0;
    for (const QByteArray &line : log.split('\n')) {
        if (line.startsWith("AT+CMGL=")) {
            if (polls++ > 0)
                most = std::max(most, sendsSincePoll);
            sendsSincePoll = 0;
        } else if (line.startsWith("AT+CMGS=")) {
            ++sendsSincePoll;
        }
    }
    std::printf("%d polls, at most %d sends between two\n", polls, most);
    EXPECT_GE(polls, Messages / 2);
    EXPECT_LE(most, 2);
}

} // namespace
