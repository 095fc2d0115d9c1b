// The installed service against the simulated modem while faults come and
// go at random: refusals, silence, the link unplugged and plugged back, the
// modem's command log unwritable, SIGTERM and SIGKILL. A few hundred
// messages go each way; at the end every queued message was sent once or
// set aside as failed with a log line, and every received message lies in
// Incoming or Backup once, whole and addressed by its first word.
//
// The service runs with its clock 25 times faster (a modem tick of 320 ms),
// the moments and faults come from a printed seed, and a message may repeat
// only where the design cannot tell whether it went: the one in flight at a
// SIGKILL, or at an unplug in the middle of a send's answer.
#include "programfolder.h"
#include "queuefiles.h"
#include "testdatabases.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTime>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr auto ClockScale = u"0.04";
constexpr int Phases = 24;
constexpr int MessagesPerPhase = 8; // each way
constexpr int DrainTimeoutMs = 240000;

enum class Fault { None, Refuse, Silent, Unplug, LogUnwritable, Stop, Kill };

struct Received {
    QString sender;
    QString text;    // as the phone sent it
    QString whose;   // addressee in the Incoming line
    QString message; // text in the Incoming line
};

class FaultsService : public ::testing::Test {
protected:
    ProgramFolder folder;
    std::unique_ptr<SimulatedModem> sim;
    std::unique_ptr<QProcess> service;
    QRandomGenerator random;
    QStringList queuedNames;
    QList<Received> delivered;
    quint16 port = 0;
    int kills = 0;
    int unplugs = 0;
    QSet<QString> logLines; // every service log line seen, across rotations

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        port = freeTcpPort();
        folder.writeServiceSettings({{S(u"port"), QString::number(port)},
                                     {S(u"sms_check_interval"), S(u"30")},
                                     {S(u"allowed_time_interval"), S(u"00:00,23:59")}});
        Writer users(folder.filePath(S(u"db/application.db")));
        for (const char16_t *name : {u"bob", u"ann"})
            users.Run(S(u"INSERT INTO Users (UserName, UserPassword, ModeratorAccess, ManualNumberPermission) "
                        u"VALUES (?, 'X', 0, 0)"),
                      {S(name)});
        sim = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(sim->isReady());
        // TALVINOR_TEST_SEED repeats a run.
        bool fixed = false;
        const quint32 given = qEnvironmentVariable("TALVINOR_TEST_SEED").toUInt(&fixed);
        const quint32 seed = fixed ? given : QRandomGenerator::global()->generate();
        random.seed(seed);
        std::printf("faults and moments from seed %u\n", seed);
    }

    void startService()
    {
        service.reset(folder.newProcess(S(u"TalvinorSMSSvc"), {}));
        QProcessEnvironment env = service->processEnvironment();
        env.insert(S(u"TALVINOR_CLOCK_SCALE"), S(ClockScale));
        service->setProcessEnvironment(env);
        service->setStandardOutputFile(folder.filePath(S(u"service.out")), QIODevice::Append);
        service->setStandardErrorFile(folder.filePath(S(u"service.err")), QIODevice::Append);
        service->start();
        ASSERT_TRUE(service->waitForStarted());
        // Listening is the last step of the start; from there on a stop is
        // the service's own.
        ASSERT_TRUE(waitUntilListening(port, 30000, service.get()));
    }
    void stopService()
    {
        service->terminate();
        ASSERT_TRUE(service->waitForFinished(30000));
        EXPECT_EQ(service->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(service->exitCode(), 0) << folder.readFile(S(u"service.err")).constData();
    }
    void killService()
    {
        service->kill();
        ASSERT_TRUE(service->waitForFinished(30000));
        ++kills;
    }

    // Files as the console leaves them: written aside and renamed into place.
    void queueMessages(int count)
    {
        for (int i = 0; i < count; ++i) {
            const int n = static_cast<int>(queuedNames.size()) + 1;
            const QString name = UnsentFileName(S(u"240101000000"), QStringLiteral("%1").arg(n, 4, 10, QLatin1Char('0')));
            CreateQueueFile(folder.filePath(S(u"Unsent")),
                            UnsentFileContent(QStringLiteral("tester,05320%1,24/01/01 00:00:00,s%2 going out").arg(n, 6, 10, QLatin1Char('0')).arg(n)),
                            [&] { return name; });
            queuedNames.append(name);
        }
    }

    // Messages from phones, addressed to users, to nobody known, with line
    // breaks of every kind.
    void deliverMessages(int count)
    {
        for (int i = 0; i < count; ++i) {
            const int n = static_cast<int>(delivered.size()) + 1;
            Received r;
            r.sender = QStringLiteral("+90555%1").arg(n, 7, 10, QLatin1Char('0'));
            switch (n % 4) {
            case 0:
                r.text = QStringLiteral("bob r%1 hello there").arg(n);
                r.whose = S(u"bob");
                r.message = QStringLiteral("r%1 hello there").arg(n);
                break;
            case 1:
                r.text = QStringLiteral("ann r%1 two\r\nlines").arg(n);
                r.whose = S(u"ann");
                r.message = QStringLiteral("r%1 two|lines").arg(n);
                break;
            case 2:
                r.text = QStringLiteral("zed r%1 for the moderators").arg(n);
                r.whose = S(u"Moderator");
                r.message = r.text;
                break;
            default:
                r.text = QStringLiteral("r%1\rlone CR\nand LF").arg(n);
                r.whose = S(u"Moderator");
                r.message = QStringLiteral("r%1|lone CR|and LF").arg(n);
                break;
            }
            sim->deliver(r.sender, r.text);
            delivered.append(r);
        }
    }

    void setLogWritable(bool writable) const
    {
        const QString log = folder.filePath(S(u"Commands.log"));
        const QString kept = folder.filePath(S(u"Commands.log.kept"));
        if (writable) {
            ASSERT_TRUE(QDir().rmdir(log));
            if (QFile::exists(kept)) {
                ASSERT_TRUE(QFile::rename(kept, log));
            }
        } else {
            if (QFile::exists(log)) {
                ASSERT_TRUE(QFile::rename(log, kept));
            }
            ASSERT_TRUE(QDir().mkdir(log));
        }
    }

    void collectLog()
    {
        const QDir dir(folder.path());
        for (const QString &name : dir.entryList({S(u"TalvinorSMSSvc*.log")}, QDir::Files)) {
            QFile f(dir.filePath(name));
            if (!f.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &line : f.readAll().split('\n'))
                logLines.insert(QString::fromUtf8(line).trimmed());
        }
    }

    Fault randomFault()
    {
        static const Fault faults[] = {Fault::None,   Fault::None,          Fault::None, Fault::Refuse, Fault::Silent,
                                       Fault::Unplug, Fault::LogUnwritable, Fault::Stop, Fault::Kill};
        return faults[random.bounded(static_cast<int>(std::size(faults)))];
    }

    // One phase: a fault comes, messages arrive both ways, the fault goes.
    void runPhase(Fault fault)
    {
        switch (fault) {
        case Fault::None:
            break;
        case Fault::Refuse:
            ASSERT_TRUE(sim->fault(S(u"refuse 500")));
            break;
        case Fault::Silent:
            ASSERT_TRUE(sim->fault(S(u"silent")));
            break;
        case Fault::Unplug:
            ASSERT_TRUE(sim->fault(S(u"unplug")));
            ++unplugs;
            break;
        case Fault::LogUnwritable:
            setLogWritable(false);
            break;
        case Fault::Stop:
            stopService();
            break;
        case Fault::Kill:
            killService();
            break;
        }
        queueMessages(MessagesPerPhase);
        deliverMessages(MessagesPerPhase);
        QTest::qWait(static_cast<int>(random.bounded(300, 1500)));
        collectLog();
        switch (fault) {
        case Fault::Refuse:
        case Fault::Silent:
            ASSERT_TRUE(sim->fault(S(u"normal")));
            break;
        case Fault::Unplug:
            ASSERT_TRUE(sim->fault(S(u"plug")));
            break;
        case Fault::LogUnwritable:
            setLogWritable(true);
            break;
        case Fault::Stop:
        case Fault::Kill:
            startService();
            break;
        case Fault::None:
            break;
        }
    }

    QMap<QString, int> sentTexts() const { return sim->sentTexts(); }

    QStringList incomingAndBackup(QStringList *names = nullptr) const
    {
        QStringList lines;
        for (const char16_t *sub : {u"Incoming", u"Backup"}) {
            const QString dir = folder.filePath(S(sub));
            for (const QString &name : ListQueueFiles(dir)) {
                lines.append(ReadFirstLine(QDir(dir).filePath(name)));
                if (names)
                    names->append(name);
            }
        }
        return lines;
    }

    bool allReceived() const
    {
        QSet<QString> seen;
        for (const QString &line : incomingAndBackup())
            seen.insert(ReadSmsRecord(line).Number);
        for (const Received &r : delivered)
            if (!seen.contains(r.sender))
                return false;
        return true;
    }

    bool allDealtWith() const { return ListQueueFiles(folder.filePath(S(u"Unsent"))).isEmpty() && allReceived(); }

    std::string diagnostics() const
    {
        return (S(u"seed run, kills ") + QString::number(kills) + S(u", unplugs ") + QString::number(unplugs)
                + S(u"\nservice.err:\n") + QString::fromUtf8(folder.readFile(S(u"service.err")))
                + S(u"\nservice log:\n") + QString::fromUtf8(folder.readFile(S(u"TalvinorSMSSvc.log")))
                + S(u"\nmodem:\n") + QString::fromUtf8(folder.readFile(S(u"gsmsim.log")).right(6000)))
            .toStdString();
    }
};

TEST_F(FaultsService, EveryMessageEndsOnceSentOrSetAsideAndEveryReceivedOneIsStoredOnce)
{
    startService();
    for (int phase = 0; phase < Phases; ++phase) {
        const Fault fault = randomFault();
        std::printf("phase %d: fault %d at %s\n", phase, static_cast<int>(fault),
                    qPrintable(QTime::currentTime().toString(S(u"HH:mm:ss.zzz"))));
        runPhase(fault);
        if (HasFatalFailure())
            return;
    }
    const bool drained = QTest::qWaitFor(
        [&] {
            collectLog();
            return allDealtWith();
        },
        DrainTimeoutMs);
    stopService();
    collectLog();
    ASSERT_TRUE(drained) << "still waiting: " << ListQueueFiles(folder.filePath(S(u"Unsent"))).join(S(u" ")).toStdString()
                         << "\n"
                         << diagnostics();

    // Sent once, or set aside as failed with a log line.
    const QMap<QString, int> sent = sentTexts();
    const QStringList unsent = QDir(folder.filePath(S(u"Unsent"))).entryList(QDir::Files);
    const QStringList inSent = QDir(folder.filePath(S(u"Sent"))).entryList(QDir::Files);
    int repeats = 0;
    int failed = 0;
    for (qsizetype i = 0; i < queuedNames.size(); ++i) {
        const QString &name = queuedNames.at(i);
        const int times = sent.value(QStringLiteral("tester:s%1 going out").arg(i + 1));
        const bool setAside = unsent.contains(name + S(u".failed"));
        repeats += std::max(0, times - 1);
        if (setAside) {
            ++failed;
            const bool logged = std::any_of(logLines.cbegin(), logLines.cend(), [&](const QString &line) {
                return line.contains(name) && line.contains(name + S(u".failed"));
            });
            EXPECT_TRUE(logged) << name.toStdString() << " set aside without a log line";
            EXPECT_FALSE(inSent.contains(name)) << name.toStdString();
        } else {
            EXPECT_GE(times, 1) << name.toStdString() << " was neither sent nor set aside\n" << diagnostics();
            EXPECT_TRUE(inSent.contains(name)) << name.toStdString();
        }
    }
    EXPECT_LE(repeats, kills + unplugs) << diagnostics();
    EXPECT_LT(failed, queuedNames.size() / 2) << "the faults left too little to show";

    // Received once each, whole, addressed by the first word.
    QMap<QString, int> stored;
    QStringList names;
    const QStringList lines = incomingAndBackup(&names);
    for (const QString &line : lines) {
        const SmsRecord record = ReadSmsRecord(line);
        const auto it = std::find_if(delivered.cbegin(), delivered.cend(),
                                     [&](const Received &r) { return r.sender == record.Number; });
        ASSERT_NE(it, delivered.cend()) << "unknown message " << line.toStdString();
        EXPECT_EQ(record.Whose, it->whose) << line.toStdString();
        EXPECT_EQ(record.Message, it->message) << line.toStdString();
        if (++stored[record.Number] > 1)
            std::printf("stored again: %s as %s and %s\n", qPrintable(line), qPrintable(names.at(lines.indexOf(line))),
                        qPrintable(names.at(lines.lastIndexOf(line))));
    }
    int storedTwice = 0;
    for (const Received &r : delivered) {
        EXPECT_GE(stored.value(r.sender), 1) << r.text.toStdString();
        storedTwice += std::max(0, stored.value(r.sender) - 1);
    }
    EXPECT_LE(storedTwice, kills) << diagnostics();
    std::printf("%lld sent, %d set aside, %d repeats; %lld received, %d stored twice; %d kills, %d unplugs\n",
                static_cast<long long>(queuedNames.size()) - failed, failed, repeats,
                static_cast<long long>(delivered.size()), storedTwice, kills, unplugs);
}

} // namespace
