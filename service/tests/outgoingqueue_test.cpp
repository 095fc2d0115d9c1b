// The outgoing queue against the real modem object: what one pass hands
// over, what it moves or sets aside, the sending window, and what a stop
// leaves. Where a send must really run, the simulated modem takes it.
#include "outgoingqueue.h"
#include "programfolder.h"
#include "queuefiles.h"
#include "servicelog.h"

#include "platform/codepage.h"
#include "platform/inifile.h"
#include "platform/logwriter.h"
#include "vorbex/clsvorbex.h"

// The modem library's test hooks: its folder and a faster clock.
#include "../../vorbex/src/runtime.h"

#include <QDir>
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

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(SendingWindow, StartAndEndAreIncluded)
{
    const struct {
        const char *interval;
        const char *now;
        bool open;
    } cases[] = {
        {"09:00,17:00", "08:59", false},
        {"09:00,17:00", "09:00", true},
        {"09:00,17:00", "17:00", true},
        {"09:00,17:00", "17:01", false},
        {"00:00,23:59", "00:00", true},
        {"00:00,23:59", "23:59", true},
        // a start later than the end runs across midnight
        {"22:00,06:00", "21:59", false},
        {"22:00,06:00", "22:00", true},
        {"22:00,06:00", "23:30", true},
        {"22:00,06:00", "00:00", true},
        {"22:00,06:00", "06:00", true},
        {"22:00,06:00", "06:01", false},
        {"22:00,06:00", "12:00", false},
        // anything but two parts does not restrict sending
        {"09:00", "03:00", true},
        {"09:00,10:00,11:00", "03:00", true},
        {"", "03:00", true},
        // the parts are compared as they stand
        {" 09:00,17:00", "08:59", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(InSendingWindow(S(c.interval), S(c.now)), c.open) << c.interval << " at " << c.now;
}

TEST(SendingWindow, NumberFormatFlag)
{
    EXPECT_FALSE(PhoneNumberFormat(S("+905321234567")));
    EXPECT_TRUE(PhoneNumberFormat(S("05321234567")));
    EXPECT_TRUE(PhoneNumberFormat(S("0+5")));
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
        logWriter.setLogName(S("TalvinorSMSSvc.log"));
        ini.setIniPath(folder.filePath(S("TalvinorSMSSvc.ini")));
        restart();
    }

    // A new service process: a fresh queue and a fresh modem object.
    void restart()
    {
        modem.reset();
        queue = std::make_unique<OutgoingQueue>(folder.path(), ini, log);
        modem = std::make_unique<clsVorbex>();
    }

    QString unsent(const QString &name = QString()) const { return QDir(folder.filePath(S("Unsent"))).filePath(name); }
    QString sent(const QString &name = QString()) const { return QDir(folder.filePath(S("Sent"))).filePath(name); }
    QStringList files(const QString &dir) const { return QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    void put(const QString &name, const QByteArray &content) const
    {
        QFile f(unsent(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
    void setWindow(const QString &interval) const
    {
        folder.writeServiceSettings({{S("allowed_time_interval"), interval}});
    }
    // A window of one hour that does not hold the present minute.
    QString closedWindow() const
    {
        const QTime now = QTime::currentTime();
        return now.addSecs(3600).toString(S("HH:mm")) + QLatin1Char(',') + now.addSecs(7200).toString(S("HH:mm"));
    }

    // One tick; the names handed to the modem in it, taken out of its queue.
    QStringList pass()
    {
        queue->ReadUnsentFile(modem.get());
        return modem->TakeQueuedSends();
    }
    QByteArray logText() const { return folder.readFile(S("TalvinorSMSSvc.log")); }
};

TEST_F(OutgoingQueueTest, OneFilePerTickInNameOrder)
{
    put(S("2401010000000001.txt"), "bob,0532,d,other extension\r\n");
    put(S("2401010000000002.dat"), "bob,0532,d,first\r\n");
    put(S("2401010000000003.DAT"), "ann,+90532,d,second\r\n");

    EXPECT_EQ(pass(), QStringList{S("2401010000000002.dat")});
    EXPECT_EQ(pass(), QStringList{S("2401010000000003.DAT")});
    EXPECT_EQ(pass(), QStringList());
    // handed over, not sent yet: the files wait in Unsent
    EXPECT_EQ(files(unsent()), QStringList({S("2401010000000001.txt"), S("2401010000000002.dat"), S("2401010000000003.DAT")}));
    EXPECT_EQ(files(sent()), QStringList());
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
        for (const QString &name : files(sent()))
            QFile::remove(sent(name));
        put(S("1.dat"), c.line);
        put(S("2.dat"), "bob,0532,d,next\r\n");

        EXPECT_EQ(pass(), QStringList());
        EXPECT_EQ(files(sent()), QStringList{S("1.dat")});
        EXPECT_EQ(ReadAll(sent(S("1.dat"))), c.line);
        EXPECT_EQ(pass(), QStringList{S("2.dat")});
        EXPECT_EQ(logText(), QByteArray());
        QFile::remove(unsent(S("2.dat")));
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
        put(S("1.dat"), platform::codepage::toAnsi(QString::fromUtf8(c.line)));
        put(S("2.dat"), "bob,0532,d,next\r\n");

        EXPECT_EQ(pass(), QStringList{S("2.dat")});
        EXPECT_EQ(files(unsent()), QStringList({S("1.dat.failed"), S("2.dat")}));
        EXPECT_EQ(files(sent()), QStringList());
        const QByteArray entry = logText().mid(logged);
        EXPECT_TRUE(entry.contains("1.dat cannot be sent") && entry.contains(c.reason) && entry.contains("1.dat.failed"))
            << entry.constData();
        QFile::remove(unsent(S("1.dat.failed")));
        QFile::remove(unsent(S("2.dat")));
    }
}

TEST_F(OutgoingQueueTest, UnreadableFileIsSetAsideOnceAndThePassGoesOn)
{
    put(S("1.dat"), QByteArray());
    put(S("1.dat.unreadable"), "an earlier one");
    put(S("2.dat"), "bob,0532,d,behind it\r\n");

    EXPECT_EQ(pass(), QStringList{S("2.dat")});
    EXPECT_EQ(files(unsent()), QStringList({S("1.dat.unreadable"), S("1.dat.unreadable-2"), S("2.dat")}));
    EXPECT_EQ(ReadAll(unsent(S("1.dat.unreadable"))), QByteArray("an earlier one"));
    const QByteArray logged = logText();
    EXPECT_EQ(logged.count("Procedure: ReadUnsentFile"), 1) << logged.constData();
    EXPECT_TRUE(logged.contains("Cannot read 1.dat")) << logged.constData();
    EXPECT_TRUE(logged.contains("1.dat.unreadable-2")) << logged.constData();

    put(S("3.dat"), "bob,0532,d,later\r\n");
    EXPECT_EQ(pass(), QStringList{S("3.dat")});
    EXPECT_EQ(logText(), logged);
}

TEST_F(OutgoingQueueTest, BulkFilesWaitOutsideTheWindowReadAtEachPass)
{
    setWindow(closedWindow());
    put(S("1.dat"), "[Bulk],0532,d,bulk one\r\n");
    put(S("2.dat"), "bob,0532,d,user\r\n");
    put(S("3.dat"), "[Bulk],0533,d,bulk two\r\n");
    put(S("4.dat"), "[bulk],0533,d,a user called [bulk]\r\n");

    EXPECT_EQ(pass(), QStringList{S("2.dat")});
    EXPECT_EQ(pass(), QStringList{S("4.dat")});
    EXPECT_EQ(pass(), QStringList());

    setWindow(S("00:00,23:59"));
    EXPECT_EQ(pass(), QStringList{S("1.dat")});
    EXPECT_EQ(pass(), QStringList{S("3.dat")});
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
    put(S("1.dat"), "bob,0532,d,one\r\n");
    put(S("2.dat"), "bob,0532,d,two\r\n");
    queue->ReadUnsentFile(modem.get());
    queue->ReadUnsentFile(modem.get());

    queue->Stop();
    EXPECT_EQ(modem->TakeQueuedSends(), QStringList());
    EXPECT_EQ(pass(), QStringList());
    EXPECT_EQ(files(unsent()), QStringList({S("1.dat"), S("2.dat")}));

    restart();
    EXPECT_EQ(pass(), QStringList{S("1.dat")});
    EXPECT_EQ(pass(), QStringList{S("2.dat")});
}

TEST_F(OutgoingQueueTest, AnotherModemObjectGetsTheFilesAgain)
{
    put(S("1.dat"), "bob,0532,d,one\r\n");
    queue->ReadUnsentFile(modem.get());
    modem = std::make_unique<clsVorbex>();
    EXPECT_EQ(pass(), QStringList{S("1.dat")});
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
            messages.append({o[S("number")].toString(), o[S("text")].toString()});
        }
        return messages;
    }
    // One tick, then the modem's own timer until the send has run.
    bool passAndSend()
    {
        QSignalSpy completed(modem.get(), &clsVorbex::SendCompleted);
        queue->ReadUnsentFile(modem.get());
        return completed.wait(20000);
    }
};

TEST_F(OutgoingQueueSend, UserAndBulkTextsGoOutAndTheirFilesMoveToSent)
{
    put(S("1.dat"), "bob,+905551112233,24/01/02 10:11:12,hello\r\n");
    put(S("2.dat"), "[Bulk],05321234567,24/01/02 10:11:12,hi, there|second line\r\n");

    ASSERT_TRUE(passAndSend());
    EXPECT_EQ(files(sent()), QStringList{S("1.dat")});
    ASSERT_TRUE(passAndSend());
    EXPECT_EQ(files(sent()), QStringList({S("1.dat"), S("2.dat")}));
    EXPECT_EQ(files(unsent()), QStringList());
    ASSERT_TRUE(sim->waitForSent(2));
    EXPECT_EQ(sentMessages(), (QList<QPair<QString, QString>>{{S("+905551112233"), S("bob:hello")},
                                                             {S("05321234567"), S("hi, there\nsecond line")}}));
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
             QFile f(sent(S("1.dat")));
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
        put(S("1.dat"), "bob,0532,d,only once\r\n");

        ASSERT_TRUE(passAndSend());
        EXPECT_EQ(files(unsent()), QStringList{S("1.dat.done")});
        EXPECT_EQ(ReadAll(unsent(S("1.dat.done"))), QByteArray("bob,0532,d,only once\r\n"));
        EXPECT_TRUE(logText().contains("1.dat is dealt with but cannot be moved to Sent"));
        EXPECT_EQ(pass(), QStringList());
        restart();
        EXPECT_EQ(pass(), QStringList());
        ASSERT_TRUE(sim->waitForSent(static_cast<int>(sentBefore) + 1));
        EXPECT_EQ(sentMessages().size(), sentBefore + 1);

        QFile::remove(unsent(S("1.dat.done")));
        QFile::remove(sent(S("1.dat")));
        QDir(folder.path()).mkdir(S("Sent"));
    }
}

// A send the modem refuses or leaves unanswered stays in Unsent for a later
// tick, three tries in all, counted across a restart; then it is set aside.
TEST_F(OutgoingQueueSend, FailedSendIsTriedThreeTimesThenSetAside)
{
    const struct {
        const char *fault;
        const char *logged;
    } cases[] = {
        {"refuse 500", "the modem refused it: +CMS ERROR: 500"},
        {"silent", "the modem did not answer"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_TRUE(sim->fault(S(c.fault)));
        const qsizetype logged = logText().size();
        const qsizetype sentBefore = sentMessages().size();
        put(S("1.dat"), "bob,0532,d,not through\r\n");
        for (int attempt = 1; attempt <= OutgoingQueue::MaxTries; ++attempt) {
            if (attempt == 2) {
                restart();
                modem->OpenDevice(true);
            }
            ASSERT_TRUE(passAndSend()) << attempt;
            const QByteArray entry = logText().mid(logged);
            EXPECT_TRUE(entry.contains(QStringLiteral("1.dat was not sent, try %1 of 3: %2").arg(attempt).arg(S(c.logged)).toUtf8()))
                << entry.constData();
            if (attempt < OutgoingQueue::MaxTries) {
                EXPECT_EQ(files(unsent()), QStringList({S("1.dat"), S("1.dat.tries")}));
            }
        }
        EXPECT_EQ(files(unsent()), QStringList{S("1.dat.failed")});
        EXPECT_TRUE(logText().mid(logged).contains("It was set aside in Unsent as 1.dat.failed"));
        EXPECT_EQ(pass(), QStringList());

        // The modem takes sends again.
        ASSERT_TRUE(sim->fault(S("normal")));
        put(S("2.dat"), "bob,0532,d,through\r\n");
        ASSERT_TRUE(passAndSend());
        EXPECT_EQ(files(sent()), QStringList{S("2.dat")});
        ASSERT_TRUE(sim->waitForSent(static_cast<int>(sentBefore) + 1));
        EXPECT_EQ(sentMessages().mid(sentBefore), (QList<QPair<QString, QString>>{{S("0532"), S("bob:through")}}));
        QFile::remove(unsent(S("1.dat.failed")));
        QFile::remove(sent(S("2.dat")));
    }
}

// On a slow network the modem answers "+CMGS" and "OK" well after the send
// dialogue has given up waiting (here 8 s of the library's clock). That
// late answer makes the send accepted, whatever the library runs next: the
// file moves to Sent and the message never goes out a second time.
TEST_F(OutgoingQueueSend, LateAnswerToASendMakesItSentOnce)
{
    using Result = clsVorbex::SendResult;
    const struct {
        const char *next;
        std::function<void()> queueNext;
    } cases[] = {
        {"its retry", [this] { queue->ReadUnsentFile(modem.get()); }},
        {"a poll", [this] { modem->CommandReceiveMessage(4); }},
        {"a poll, its retry behind",
         [this] {
             modem->CommandReceiveMessage(4);
             queue->ReadUnsentFile(modem.get());
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.next);
        restart();
        modem->OpenDevice(true);
        const qsizetype sentBefore = sentMessages().size();
        ASSERT_TRUE(sim->fault(S("slow 0.8")));
        put(S("1.dat"), "bob,0532,d,slow network\r\n");

        QSignalSpy completed(modem.get(), &clsVorbex::SendCompleted);
        queue->ReadUnsentFile(modem.get());
        ASSERT_TRUE(completed.wait(20000));
        EXPECT_EQ(completed.at(0).at(1).value<Result>(), Result::Unanswered);
        EXPECT_EQ(files(unsent()), QStringList({S("1.dat"), S("1.dat.tries")}));
        // The answer is on its way; it waits in the port for the next command.
        ASSERT_TRUE(QTest::qWaitFor([this] { return modem->C()->InBufferCount() > 0; }, 20000));

        c.queueNext();
        ASSERT_TRUE(completed.wait(20000));
        EXPECT_EQ(completed.at(1).at(0).toString(), S("1.dat"));
        EXPECT_EQ(completed.at(1).at(1).value<Result>(), Result::Accepted);
        EXPECT_TRUE(completed.at(1).at(2).toString().startsWith(S("+CMGS:"))) << completed.at(1).at(2).toString().toStdString();
        EXPECT_EQ(files(sent()), QStringList{S("1.dat")});
        EXPECT_EQ(files(unsent()), QStringList());
        EXPECT_TRUE(QTest::qWaitFor([this] { return !modem->IsBusy(); }, 20000));
        EXPECT_EQ(modem->TakeQueuedSends(), QStringList());
        EXPECT_EQ(pass(), QStringList());
        EXPECT_EQ(sentMessages().mid(sentBefore), (QList<QPair<QString, QString>>{{S("0532"), S("bob:slow network")}}));
        EXPECT_EQ(completed.size(), 2);

        ASSERT_TRUE(sim->fault(S("normal")));
        QFile::remove(sent(S("1.dat")));
    }
}

// The stop comes while the modem runs a send, as it does when the stop
// signal is handled inside the modem's wait: that send finishes and its file
// moves to Sent; the one behind it stays in Unsent.
TEST_F(OutgoingQueueSend, StopDuringASendLetsItFinish)
{
    put(S("1.dat"), "bob,0532,d,running\r\n");
    put(S("2.dat"), "bob,0532,d,waiting\r\n");
    queue->ReadUnsentFile(modem.get());
    queue->ReadUnsentFile(modem.get());

    bool busy = false;
    QTimer::singleShot(0, [&] {
        busy = modem->IsBusy();
        queue->Stop();
    });
    modem->CheckSMSQueue();

    EXPECT_TRUE(busy);
    EXPECT_EQ(files(sent()), QStringList{S("1.dat")});
    EXPECT_EQ(files(unsent()), QStringList{S("2.dat")});
    EXPECT_EQ(modem->TakeQueuedSends(), QStringList());
    ASSERT_TRUE(sim->waitForSent(1));
    EXPECT_EQ(sentMessages(), (QList<QPair<QString, QString>>{{S("0532"), S("bob:running")}}));
}

} // namespace
