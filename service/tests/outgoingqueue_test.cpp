// The outgoing queue against the real modem object: what one pass hands
// over, what it moves or sets aside, the sending window, and what a stop
// leaves. Where a send must really run, the simulated modem takes it.
#include "files.h"
#include "outgoingqueue.h"
#include "programfolder.h"
#include "queuefiles.h"
#include "servicelog.h"
#include "text.h"

#include "platform/codepage.h"
#include "platform/inifile.h"
#include "platform/logwriter.h"
#include "vorbex/clsvorbex.h"

// The modem library's test hooks: its folder and a faster clock.
#include "../../vorbex/src/runtime.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

using vorbex::clsVorbex;

TEST(SendingWindow, StartAndEndAreIncluded)
{
    const struct {
        const char16_t *interval;
        const char16_t *now;
        bool open;
    } cases[] = {
        {u"09:00,17:00", u"08:59", false},
        {u"09:00,17:00", u"09:00", true},
        {u"09:00,17:00", u"17:00", true},
        {u"09:00,17:00", u"17:01", false},
        {u"00:00,23:59", u"00:00", true},
        {u"00:00,23:59", u"23:59", true},
        // a start later than the end runs across midnight
        {u"22:00,06:00", u"21:59", false},
        {u"22:00,06:00", u"22:00", true},
        {u"22:00,06:00", u"23:30", true},
        {u"22:00,06:00", u"00:00", true},
        {u"22:00,06:00", u"06:00", true},
        {u"22:00,06:00", u"06:01", false},
        {u"22:00,06:00", u"12:00", false},
        // anything but two parts does not restrict sending
        {u"09:00", u"03:00", true},
        {u"09:00,10:00,11:00", u"03:00", true},
        {u"", u"03:00", true},
        // the parts are compared as they stand
        {u" 09:00,17:00", u"08:59", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(InSendingWindow(S(c.interval), S(c.now)), c.open)
            << S(c.interval).toStdString() << " at " << S(c.now).toStdString();
}

TEST(SendingWindow, NumberFormatFlag)
{
    EXPECT_FALSE(PhoneNumberFormat(S(u"+905321234567")));
    EXPECT_TRUE(PhoneNumberFormat(S(u"05321234567")));
    EXPECT_TRUE(PhoneNumberFormat(S(u"0+5")));
}

class OutgoingQueueTest : public ::testing::Test {
protected:
    ProgramFolder folder;
    platform::LogWriter logWriter;
    ServiceLog log{logWriter};
    platform::IniFile ini;
    std::unique_ptr<OutgoingQueue> queue;
    std::unique_ptr<clsVorbex> modem;

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        vorbex::runtime::setLibraryFolderForTests(folder.path());
        vorbex::runtime::setClockScaleForTests(0.1);
        logWriter.setLogFolder(folder.path());
        logWriter.setLogName(S(u"TalvinorSMSSvc.log"));
        ini.setIniPath(folder.filePath(S(u"TalvinorSMSSvc.ini")));
        restart();
    }

    // A new service process: a fresh queue and a fresh modem object.
    void restart()
    {
        modem.reset();
        queue = std::make_unique<OutgoingQueue>(folder.path(), ini, log);
        modem = std::make_unique<clsVorbex>();
        // As the service logs them.
        QObject::connect(modem.get(), &clsVorbex::Warning,
                         [this](const QString &procedure, const QString &text) { log.LogServiceError(text, procedure); });
    }

    QString unsent(const QString &name = QString()) const { return QDir(folder.filePath(S(u"Unsent"))).filePath(name); }
    QString sent(const QString &name = QString()) const { return QDir(folder.filePath(S(u"Sent"))).filePath(name); }

    void put(const QString &name, const QByteArray &content) const
    {
        QFile f(unsent(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
    void setWindow(const QString &interval) const
    {
        folder.writeServiceSettings({{S(u"allowed_time_interval"), interval}});
    }
    // A window of one hour that does not hold the present minute.
    QString closedWindow() const
    {
        const QTime now = QTime::currentTime();
        return now.addSecs(3600).toString(S(u"HH:mm")) + QLatin1Char(',') + now.addSecs(7200).toString(S(u"HH:mm"));
    }

    // One tick; the names handed to the modem in it, taken out of its queue.
    QStringList pass()
    {
        queue->ReadUnsentFile(modem.get());
        return modem->TakeQueuedSends();
    }
    QByteArray logText() const { return folder.readFile(S(u"TalvinorSMSSvc.log")); }
};

TEST_F(OutgoingQueueTest, OneFilePerTickInNameOrder)
{
    put(S(u"2401010000000001.txt"), "bob,0532,d,other extension\r\n");
    put(S(u"2401010000000002.dat"), "bob,0532,d,first\r\n");
    put(S(u"2401010000000003.DAT"), "ann,+90532,d,second\r\n");

    EXPECT_EQ(pass(), QStringList{S(u"2401010000000002.dat")});
    EXPECT_EQ(pass(), QStringList{S(u"2401010000000003.DAT")});
    EXPECT_EQ(pass(), QStringList());
    // handed over, not sent yet: the files wait in Unsent
    EXPECT_EQ(Entries(unsent()), QStringList({S(u"2401010000000001.txt"), S(u"2401010000000002.dat"), S(u"2401010000000003.DAT")}));
    EXPECT_EQ(Entries(sent()), QStringList());
    EXPECT_TRUE(logText().isEmpty());
}

TEST_F(OutgoingQueueTest, FilesWithNothingToSendMoveToSent)
{
    const struct {
        const char *what;
        QByteArray line;
        bool logged;
    } cases[] = {
        {"fewer than four fields", "bob,0532,hello\r\n", false},
        {"all fields empty", ",,,\r\n", false},
        {"empty first line", "\r\nbob,0532,d,hi\r\n", false},
        {"empty number", "bob,,d,hello\r\n", false},
        {"empty bulk message", "[Bulk],0532,d,\r\n", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        for (const QString &name : Entries(sent()))
            QFile::remove(sent(name));
        put(S(u"1.dat"), c.line);
        put(S(u"2.dat"), "bob,0532,d,next\r\n");

        EXPECT_EQ(pass(), QStringList());
        EXPECT_EQ(Entries(sent()), QStringList{S(u"1.dat")});
        EXPECT_EQ(ReadAll(sent(S(u"1.dat"))), c.line);
        EXPECT_EQ(pass(), QStringList{S(u"2.dat")});
        EXPECT_EQ(logText(), QByteArray());
        QFile::remove(unsent(S(u"2.dat")));
    }
}

// What the modem could only refuse is never handed over nor taken for sent.
TEST_F(OutgoingQueueTest, UnsendableFilesAreSetAsideAsFailed)
{
    const struct {
        const char *what;
        QByteArray line;
        const char *reason;
    } cases[] = {
        {"caret in the text", "[Bulk],0532,d,a^b\r\n", "\"^\""},
        {"letter in the number", "bob,0532x,d,hi\r\n", "not a phone number"},
        {"number too short", "bob,12,d,hi\r\n", "not a phone number"},
        {"name and text over 160", "bob,0532,d," + QByteArray(157, 'a') + "\r\n", "does not fit one SMS"},
        {"UCS2 over 70", "[Bulk],0532,d," + QString(71, QChar(0x0131)).toUtf8() + "\r\n", "does not fit one SMS"},
        // what the message record would cut must not go out as another
        // number or a shortened text
        {"number over 20", "bob,05321234567890123456789,d,hi\r\n", "not a phone number"},
        {"bulk text over 160", "[Bulk],0532,d," + QByteArray(200, 'a') + "\r\n", "does not fit one SMS"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        const qsizetype logged = logText().size();
        put(S(u"1.dat"), platform::codepage::toAnsi(QString::fromUtf8(c.line)));
        put(S(u"2.dat"), "bob,0532,d,next\r\n");

        EXPECT_EQ(pass(), QStringList{S(u"2.dat")});
        EXPECT_EQ(Entries(unsent()), QStringList({S(u"1.dat.failed"), S(u"2.dat")}));
        EXPECT_EQ(Entries(sent()), QStringList());
        const QByteArray entry = logText().mid(logged);
        EXPECT_TRUE(entry.contains("1.dat cannot be sent") && entry.contains(c.reason) && entry.contains("1.dat.failed"))
            << entry.constData();
        QFile::remove(unsent(S(u"1.dat.failed")));
        QFile::remove(unsent(S(u"2.dat")));
    }
}

TEST_F(OutgoingQueueTest, UnreadableFileIsSetAsideOnceAndThePassGoesOn)
{
    put(S(u"1.dat"), QByteArray());
    put(S(u"1.dat.unreadable"), "an earlier one");
    put(S(u"2.dat"), "bob,0532,d,behind it\r\n");

    EXPECT_EQ(pass(), QStringList{S(u"2.dat")});
    EXPECT_EQ(Entries(unsent()), QStringList({S(u"1.dat.unreadable"), S(u"1.dat.unreadable-2"), S(u"2.dat")}));
    EXPECT_EQ(ReadAll(unsent(S(u"1.dat.unreadable"))), QByteArray("an earlier one"));
    const QByteArray logged = logText();
    EXPECT_EQ(logged.count("Procedure: ReadUnsentFile"), 1) << logged.constData();
    EXPECT_TRUE(logged.contains("Cannot read 1.dat")) << logged.constData();
    EXPECT_TRUE(logged.contains("1.dat.unreadable-2")) << logged.constData();

    put(S(u"3.dat"), "bob,0532,d,later\r\n");
    EXPECT_EQ(pass(), QStringList{S(u"3.dat")});
    EXPECT_EQ(logText(), logged);
}

// Only a regular file of text is a message: a link (which may lead to any
// file the service can read) or a binary file is set aside, never sent or
// moved to Sent.
TEST_F(OutgoingQueueTest, LinksAndFilesThatAreNotTextAreSetAsideAsUnreadable)
{
    const QString elsewhere = folder.filePath(S(u"elsewhere.dat"));
    {
        QFile f(elsewhere);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("bob,0532,d,through a link\r\n");
    }
    ASSERT_TRUE(QFile::link(elsewhere, unsent(S(u"1.dat"))));
    put(S(u"2.dat"), QByteArray("bob,0532,d,bin\0ary\x01\r\n", 21));
    put(S(u"3.dat"), "bob,0532,d,tab\tand text\r\n");

    EXPECT_EQ(pass(), QStringList{S(u"3.dat")});
    EXPECT_EQ(Entries(unsent()), QStringList({S(u"1.dat.unreadable"), S(u"2.dat.unreadable"), S(u"3.dat")}));
    EXPECT_EQ(Entries(sent()), QStringList());
    const QByteArray logged = logText();
    EXPECT_TRUE(logged.contains("1.dat is not a regular file")) << logged.constData();
    EXPECT_TRUE(logged.contains("2.dat is not a text file")) << logged.constData();
    EXPECT_TRUE(QFile::exists(elsewhere));
}

// The settings file is consulted once per pass, however many bulk files
// wait, and a change takes effect at the next pass.
TEST_F(OutgoingQueueTest, SendingWindowIsReadOncePerPass)
{
    QString window = closedWindow();
    int reads = 0;
    queue->SetSendingWindowReader([&] {
        ++reads;
        return window;
    });
    for (int i = 1; i <= 5; ++i)
        put(QStringLiteral("%1.dat").arg(i), "[Bulk],0532,d,bulk\r\n");
    put(S(u"6.dat"), "bob,0532,d,user\r\n");

    EXPECT_EQ(pass(), QStringList{S(u"6.dat")});
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(pass(), QStringList());
    EXPECT_EQ(reads, 2);
    window = S(u"00:00,23:59");
    EXPECT_EQ(pass(), QStringList{S(u"1.dat")});
    EXPECT_EQ(reads, 3);
}

TEST_F(OutgoingQueueTest, BulkFilesWaitOutsideTheWindowReadAtEachPass)
{
    setWindow(closedWindow());
    put(S(u"1.dat"), "[Bulk],0532,d,bulk one\r\n");
    put(S(u"2.dat"), "bob,0532,d,user\r\n");
    put(S(u"3.dat"), "[Bulk],0533,d,bulk two\r\n");
    put(S(u"4.dat"), "[bulk],0533,d,a user called [bulk]\r\n");

    EXPECT_EQ(pass(), QStringList{S(u"2.dat")});
    EXPECT_EQ(pass(), QStringList{S(u"4.dat")});
    EXPECT_EQ(pass(), QStringList());

    setWindow(S(u"00:00,23:59"));
    EXPECT_EQ(pass(), QStringList{S(u"1.dat")});
    EXPECT_EQ(pass(), QStringList{S(u"3.dat")});
}

TEST_F(OutgoingQueueTest, MissingUnsentFolderIsLogged)
{
    ASSERT_TRUE(QDir(unsent()).removeRecursively());
    EXPECT_EQ(pass(), QStringList());
    EXPECT_TRUE(logText().contains("Procedure: ReadUnsentFile"));
    EXPECT_TRUE(logText().contains(unsent().toUtf8()));
}

// Sends the modem has not started go back; their files never left Unsent,
// so the next start hands them over again.
TEST_F(OutgoingQueueTest, StopTakesBackWhatTheModemHasNotStarted)
{
    put(S(u"1.dat"), "bob,0532,d,one\r\n");
    put(S(u"2.dat"), "bob,0532,d,two\r\n");
    queue->ReadUnsentFile(modem.get());
    queue->ReadUnsentFile(modem.get());

    queue->Stop();
    EXPECT_EQ(modem->TakeQueuedSends(), QStringList());
    EXPECT_EQ(pass(), QStringList());
    EXPECT_EQ(Entries(unsent()), QStringList({S(u"1.dat"), S(u"2.dat")}));

    restart();
    EXPECT_EQ(pass(), QStringList{S(u"1.dat")});
    EXPECT_EQ(pass(), QStringList{S(u"2.dat")});
}

TEST_F(OutgoingQueueTest, AnotherModemObjectGetsTheFilesAgain)
{
    put(S(u"1.dat"), "bob,0532,d,one\r\n");
    queue->ReadUnsentFile(modem.get());
    modem = std::make_unique<clsVorbex>();
    EXPECT_EQ(pass(), QStringList{S(u"1.dat")});
}

class OutgoingQueueSend : public OutgoingQueueTest {
protected:
    std::unique_ptr<SimulatedModem> sim;

    void SetUp() override
    {
        OutgoingQueueTest::SetUp();
        sim = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(sim->isReady());
        modem->OpenDevice(true);
    }
    // What the modem sent, as number and text.
    QList<QPair<QString, QString>> sentMessages() const
    {
        QList<QPair<QString, QString>> messages;
        for (const QByteArray &line : sim->sentLog().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            messages.append({o[S(u"number")].toString(), o[S(u"text")].toString()});
        }
        return messages;
    }
    // Ticks of the outgoing queue, and the modem's own timer, until a send
    // has come back.
    bool passAndSend()
    {
        QSignalSpy completed(modem.get(), &clsVorbex::SendCompleted);
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [this] { queue->ReadUnsentFile(modem.get()); });
        ticks.start(50);
        queue->ReadUnsentFile(modem.get());
        return completed.wait(20000 + 2 * static_cast<int>(clsVorbex::SendHoldMs()));
    }
    // The service's two timers as they run, until `done` holds or the time
    // is out.
    bool runService(const std::function<bool()> &done, int timeoutMs)
    {
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, [this] { queue->ReadUnsentFile(modem.get()); });
        ticks.start(static_cast<int>(vorbex::runtime::waitMs(8.0)));
        return QTest::qWaitFor(done, timeoutMs);
    }
};

TEST_F(OutgoingQueueSend, UserAndBulkTextsGoOutAndTheirFilesMoveToSent)
{
    put(S(u"1.dat"), "bob,+905551112233,24/01/02 10:11:12,hello\r\n");
    put(S(u"2.dat"), "[Bulk],05321234567,24/01/02 10:11:12,hi, there|second line\r\n");

    ASSERT_TRUE(passAndSend());
    EXPECT_EQ(Entries(sent()), QStringList{S(u"1.dat")});
    ASSERT_TRUE(passAndSend());
    EXPECT_EQ(Entries(sent()), QStringList({S(u"1.dat"), S(u"2.dat")}));
    EXPECT_EQ(Entries(unsent()), QStringList());
    ASSERT_TRUE(sim->waitForSent(2));
    EXPECT_EQ(sentMessages(), (QList<QPair<QString, QString>>{{S(u"+905551112233"), S(u"bob:hello")},
                                                             {S(u"05321234567"), S(u"hi, there\nsecond line")}}));
}

// The message went out but its file cannot go to Sent: it is set aside, and
// neither a later tick nor a new start hands it over again.
TEST_F(OutgoingQueueSend, SentFileThatCannotMoveIsNeverHandedOverAgain)
{
    const struct {
        const char *what;
        std::function<void()> blockSent;
    } cases[] = {
        {"name taken in Sent",
         [this] {
             QFile f(sent(S(u"1.dat")));
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write("older file\r\n");
         }},
        {"Sent missing", [this] { ASSERT_TRUE(QDir(sent()).removeRecursively()); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        modem->OpenDevice(true);
        const qsizetype sentBefore = sentMessages().size();
        c.blockSent();
        put(S(u"1.dat"), "bob,0532,d,only once\r\n");

        ASSERT_TRUE(passAndSend());
        EXPECT_EQ(Entries(unsent()), QStringList{S(u"1.dat.done")});
        EXPECT_EQ(ReadAll(unsent(S(u"1.dat.done"))), QByteArray("bob,0532,d,only once\r\n"));
        EXPECT_TRUE(logText().contains("1.dat is dealt with but cannot be moved to Sent"));
        EXPECT_EQ(pass(), QStringList());
        restart();
        EXPECT_EQ(pass(), QStringList());
        ASSERT_TRUE(sim->waitForSent(static_cast<int>(sentBefore) + 1));
        EXPECT_EQ(sentMessages().size(), sentBefore + 1);

        QFile::remove(unsent(S(u"1.dat.done")));
        QFile::remove(sent(S(u"1.dat")));
        QDir(folder.path()).mkdir(S(u"Sent"));
    }
}

// A send the modem refuses or leaves unanswered stays in Unsent for a later
// tick, three tries in all, counted across a restart, each at least the
// modem's hold after the one before; then it is set aside. Renamed back, it
// starts afresh.
TEST_F(OutgoingQueueSend, FailedSendIsTriedThreeTimesThenSetAside)
{
    const struct {
        const char16_t *fault;
        const char16_t *logged;
    } cases[] = {
        {u"refuse 500", u"the modem refused it: +CMS ERROR: 500"},
        {u"silent", u"the modem did not answer: No result from the modem within 60 s"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(S(c.fault).toStdString());
        ASSERT_TRUE(sim->fault(S(c.fault)));
        const qsizetype logged = logText().size();
        const qsizetype sentBefore = sentMessages().size();
        put(S(u"1.dat"), "bob,0532,d,not through\r\n");
        for (int round = 1; round <= 2; ++round) {
            QElapsedTimer sinceTry;
            for (int attempt = 1; attempt <= OutgoingQueue::MaxTries; ++attempt) {
                if (attempt == 3) {
                    restart();
                    modem->OpenDevice(true);
                }
                ASSERT_TRUE(passAndSend()) << attempt;
                // A refusal comes at once, so its retry waits out the hold
                // (but not across the restart, which forgets the moment).
                if (attempt == 2) {
                    EXPECT_GE(sinceTry.elapsed(), clsVorbex::SendHoldMs());
                }
                sinceTry.start();
                const QByteArray entry = logText().mid(logged);
                EXPECT_TRUE(entry.contains(QStringLiteral("1.dat was not sent, try %1 of 3: %2").arg(attempt).arg(S(c.logged)).toUtf8()))
                    << entry.constData();
                if (attempt < OutgoingQueue::MaxTries) {
                    EXPECT_EQ(Entries(unsent()), QStringList({S(u"1.dat"), S(u"1.dat.tries")}));
                }
            }
            EXPECT_EQ(Entries(unsent()), QStringList{S(u"1.dat.failed")});
            EXPECT_TRUE(logText().mid(logged).contains("It was set aside in Unsent as 1.dat.failed"));
            EXPECT_EQ(pass(), QStringList());
            // The administrator sends it again: three more tries.
            if (round == 1) {
                ASSERT_TRUE(QFile::rename(unsent(S(u"1.dat.failed")), unsent(S(u"1.dat"))));
            }
        }
        EXPECT_EQ(logText().mid(logged).count("1.dat was not sent, try 1 of 3"), 2);

        // The modem takes sends again.
        ASSERT_TRUE(sim->fault(S(u"normal")));
        put(S(u"2.dat"), "bob,0532,d,through\r\n");
        ASSERT_TRUE(passAndSend());
        EXPECT_EQ(Entries(sent()), QStringList{S(u"2.dat")});
        ASSERT_TRUE(sim->waitForSent(static_cast<int>(sentBefore) + 1));
        EXPECT_EQ(sentMessages().mid(sentBefore), (QList<QPair<QString, QString>>{{S(u"0532"), S(u"bob:through")}}));
        QFile::remove(unsent(S(u"1.dat.failed")));
        QFile::remove(sent(S(u"2.dat")));
    }
}

// A count of tries that cannot be read back whole counts as the last try:
// one more failure sets the message aside, with both logged.
TEST_F(OutgoingQueueSend, BrokenCountOfTriesCountsAsTheLastTry)
{
    for (const QByteArray &broken : {QByteArray(), QByteArray("1"), QByteArray("x\r\n"), QByteArray("\0\0\0", 3)}) {
        SCOPED_TRACE(broken.toHex().toStdString());
        restart();
        modem->OpenDevice(true);
        ASSERT_TRUE(sim->fault(S(u"refuse 500")));
        const qsizetype logged = logText().size();
        put(S(u"1.dat"), "bob,0532,d,not through\r\n");
        put(S(u"1.dat.tries"), broken);
        ASSERT_TRUE(passAndSend());
        const QByteArray entry = logText().mid(logged);
        EXPECT_TRUE(entry.contains("The count of tries of 1.dat cannot be read back whole")) << entry.constData();
        EXPECT_TRUE(entry.contains("1.dat was not sent, try 3 of 3")) << entry.constData();
        EXPECT_EQ(Entries(unsent()), QStringList{S(u"1.dat.failed")});
        QFile::remove(unsent(S(u"1.dat.failed")));
    }
    ASSERT_TRUE(sim->fault(S(u"normal")));
}

// A busy network answers a send late, and the modem hears nothing else until
// it has answered. Answers up to the hold make every message go out exactly
// once, whatever else runs meanwhile; a late refusal counts as a try. An
// answer later than the hold comes after the retry has gone, and the log
// says which message may have gone twice.
TEST_F(OutgoingQueueSend, LateAnswersSendEachMessageOnce)
{
    const struct {
        double lateSeconds; // on the library's clock
        bool refused;
    } cases[] = {{8, false}, {14, false}, {20, false}, {45, false}, {14, true}};
    const double scale = static_cast<double>(vorbex::runtime::waitMs(1000.0)) / 1e6;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.lateSeconds);
        restart();
        modem->OpenDevice(true);
        const qsizetype logged = logText().size();
        const qsizetype sentBefore = sentMessages().size();
        ASSERT_TRUE(sim->fault(QStringLiteral("busy %1").arg(c.lateSeconds * scale)));
        if (c.refused) {
            ASSERT_TRUE(sim->fault(S(u"refuse 500")));
        }
        const QStringList names{S(u"1.dat"), S(u"2.dat"), S(u"3.dat")};
        for (const QString &name : names)
            put(name, "bob,0532,d,late " + name.toLatin1() + "\r\n");
        QSignalSpy completed(modem.get(), &clsVorbex::SendCompleted);
        // Polls as the service makes them.
        QTimer polls;
        QObject::connect(&polls, &QTimer::timeout, [this] {
            if (!modem->ReceiveWaiting())
                modem->CommandReceiveMessage(1);
        });
        polls.start(static_cast<int>(vorbex::runtime::waitMs(24.0)));
        if (c.refused) {
            ASSERT_TRUE(runService([&] { return completed.size() >= 1; }, 60000));
            EXPECT_EQ(completed.at(0).at(1).value<clsVorbex::SendResult>(), clsVorbex::SendResult::Refused);
            EXPECT_TRUE(logText().mid(logged).contains("1.dat was not sent, try 1 of 3: the modem refused it: +CMS ERROR: 500"))
                << logText().mid(logged).constData();
            ASSERT_TRUE(sim->fault(S(u"normal")));
            ASSERT_TRUE(sim->fault(QStringLiteral("busy %1").arg(c.lateSeconds * scale)));
        }
        ASSERT_TRUE(runService([&] { return Entries(sent()).size() == names.size(); }, 120000))
            << logText().mid(logged).constData();
        polls.stop();
        EXPECT_EQ(Entries(unsent()), QStringList());
        QStringList texts;
        for (const auto &m : sentMessages().mid(sentBefore))
            texts << m.second;
        texts.sort();
        EXPECT_EQ(texts, QStringList({S(u"bob:late 1.dat"), S(u"bob:late 2.dat"), S(u"bob:late 3.dat")}));
        const QByteArray entry = logText().mid(logged);
        EXPECT_FALSE(entry.contains("may have been sent twice")) << entry.constData();
        EXPECT_EQ(entry.contains("was not sent"), c.refused) << entry.constData();
        for (const QString &name : names)
            QFile::remove(sent(name));
        ASSERT_TRUE(sim->fault(S(u"normal")));
    }
}

TEST_F(OutgoingQueueSend, AnswerLaterThanTheHoldIsLoggedAsMaybeSentTwice)
{
    const double scale = static_cast<double>(vorbex::runtime::waitMs(1000.0)) / 1e6;
    ASSERT_TRUE(sim->fault(QStringLiteral("busy %1").arg(90 * scale)));
    put(S(u"1.dat"), "bob,0532,d,very late\r\n");
    ASSERT_TRUE(runService([&] { return Entries(sent()) == QStringList{S(u"1.dat")}; }, 120000)) << logText().constData();
    const QByteArray log = logText();
    EXPECT_TRUE(log.contains("1.dat was not sent, try 1 of 3: the modem did not answer")) << log.constData();
    // The retry runs while the answer comes, or before it.
    EXPECT_TRUE(log.contains("(1.dat)") && log.contains("+CMGS: 1; the message may have been sent twice")) << log.constData();
    EXPECT_EQ(Entries(unsent()), QStringList());
    ASSERT_TRUE(sim->fault(S(u"normal")));
}

// The stop comes while the modem runs a send, as it does when the stop
// signal is handled inside the modem's wait: that send finishes and its file
// moves to Sent; the one behind it stays in Unsent.
TEST_F(OutgoingQueueSend, StopDuringASendLetsItFinish)
{
    put(S(u"1.dat"), "bob,0532,d,running\r\n");
    put(S(u"2.dat"), "bob,0532,d,waiting\r\n");
    queue->ReadUnsentFile(modem.get());

    bool busy = false;
    int waiting = 0;
    QTimer::singleShot(0, [&] {
        busy = modem->IsBusy();
        // the next tick hands the second one over, to wait behind the first
        queue->ReadUnsentFile(modem.get());
        waiting = modem->SendsWaiting();
        queue->Stop();
    });
    modem->CheckSMSQueue();

    EXPECT_TRUE(busy);
    EXPECT_EQ(waiting, 1);
    EXPECT_EQ(Entries(sent()), QStringList{S(u"1.dat")});
    EXPECT_EQ(Entries(unsent()), QStringList{S(u"2.dat")});
    EXPECT_EQ(modem->TakeQueuedSends(), QStringList());
    ASSERT_TRUE(sim->waitForSent(1));
    EXPECT_EQ(sentMessages(), (QList<QPair<QString, QString>>{{S(u"0532"), S(u"bob:running")}}));
}

} // namespace
