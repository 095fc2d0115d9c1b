// The three AT dialogues against the simulated modem, and the identity
// answer against scripted modem answers.
#include "simmodem.h"

#include "platform/error.h"
#include "simpdu/simpdu.h"
#include "vorbex/clsvorbex.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

using vorbex::clsVorbex;

const QString Sender = QStringLiteral("+905321234567");
const QString CR = QStringLiteral("\r");
const QString CtrlZ = QString(QChar(26));

struct Received {
    QString id, status, length, datetime, phonenumber, message;
};

// A modem object with an open port on a running simulated modem.
class DialogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder.writeSettings({{QStringLiteral("GSMServiceNumber"), QStringLiteral("+4912345678901")}});
        ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
        open();
    }

    // A new modem object on the port, as after a restart of its host.
    void open()
    {
        modem = std::make_unique<clsVorbex>();
        modem->OpenDevice(true);
        QObject::connect(modem.get(), &clsVorbex::SMSReceived,
                         [this](const QString &id, const QString &status, const QString &length, const QString &datetime,
                                const QString &phonenumber, const QString &message, bool &stored) {
                             received.append({id, status, length, datetime, phonenumber, message});
                             if (onReceived)
                                 onReceived(stored);
                         });
        QObject::connect(modem.get(), &clsVorbex::SendCompleted,
                         [this](const QString &tag, clsVorbex::SendResult result, const QString &answer) {
                             completed.append(tag);
                             outcomes.append({result, answer});
                         });
        QObject::connect(modem.get(), &clsVorbex::Warning,
                         [this](const QString &procedure, const QString &text) { warnings.append(procedure + QStringLiteral(": ") + text); });
        QObject::connect(modem.get(), &clsVorbex::IMEI, [this](const QString &imei) { imeis.append(imei); });
    }

    void run(const std::function<void(clsVorbex &)> &queue)
    {
        queue(*modem);
        modem->CheckSMSQueue();
    }

    // The modem has worked through everything written so far once it has
    // answered a later identity query.
    void drainModem()
    {
        const qsizetype before = imeis.size();
        run([](clsVorbex &m) { m.CommandGetIMEI(); });
        ASSERT_EQ(imeis.size(), before + 1);
    }

    QStringList commands() const { return folder.logRecords(QStringLiteral("Commands")); }

    LibraryFolder folder;
    SimModem sim{folder};
    std::unique_ptr<clsVorbex> modem;
    QList<Received> received;
    std::function<void(bool &stored)> onReceived;
    QStringList completed;
    QList<std::pair<clsVorbex::SendResult, QString>> outcomes;
    QStringList warnings;
    QStringList imeis;
};

struct SendCase {
    const char *name;
    const char *number;
    const char *text;
    const char *coding;
    const char *decoded;
};

void PrintTo(const SendCase &c, std::ostream *os)
{
    *os << c.name;
}

class SendTest : public DialogueTest, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendTest, WritesTheCommandsAndTheModemSendsTheMessage)
{
    const SendCase &c = GetParam();
    run([&](clsVorbex &m) {
        m.CommandSendMessage(QString::fromUtf8(c.number), QString::fromUtf8(c.text), true, QStringLiteral("1.dat"));
    });

    const QStringList written = commands();
    ASSERT_EQ(written.size(), 8) << written.join(QStringLiteral("|")).toStdString();
    EXPECT_EQ(written.mid(0, 4), QStringList({QStringLiteral("AT+CMGF=0"), CR, QStringLiteral("AT+CSCA=+4912345678901"), CR}));
    EXPECT_TRUE(written[4].startsWith(QStringLiteral("AT+CMGS=")));
    EXPECT_EQ(written[5], CR);
    EXPECT_EQ(written[7], CtrlZ);
    EXPECT_EQ(completed, QStringList{QStringLiteral("1.dat")});

    // The modem checks the announced length against the PDU and decodes it.
    ASSERT_TRUE(sim.waitForSent(1)) << sim.diagnostics().toStdString();
    const QJsonObject sent = sim.sent().first();
    EXPECT_EQ(sent[QStringLiteral("number")].toString(), QString::fromUtf8(c.number));
    EXPECT_EQ(sent[QStringLiteral("coding")].toString(), QString::fromLatin1(c.coding));
    EXPECT_EQ(sent[QStringLiteral("text")].toString(), QString::fromUtf8(c.decoded));
}

INSTANTIATE_TEST_SUITE_P(
    Send, SendTest,
    ::testing::Values(SendCase{"SevenBitWithLineBreak", "+905321234567", "Meeting|at 10", "00", "Meeting\nat 10"},
                      SendCase{"NationalNumber", "05321234567", "hello", "00", "hello"},
                      SendCase{"Ucs2", "+905321234567", "G\xC3\xBCnayd\xC4\xB1n", "08", "G\xC3\xBCnayd\xC4\xB1n"}),
    [](const ::testing::TestParamInfo<SendCase> &info) { return std::string(info.param.name); });

// What the modem could only refuse never reaches it: no output at all, and
// the command comes back refused with the reason.
TEST_F(DialogueTest, UnsendableCommandIsRefusedWithoutOutput)
{
    const struct {
        const char *number;
        QString text;
        const char *reason;
    } cases[] = {
        {"+905321234567", QStringLiteral("a^b"), "\"^\""},
        {"+90^532", QStringLiteral("hi"), "\"^\""},
        {"12", QStringLiteral("hi"), "not a phone number"},
        {"0532x1234567", QStringLiteral("hi"), "not a phone number"},
        {"+905321234567", QString(161, QLatin1Char('a')), "does not fit one SMS"},
        {"+905321234567", QString(71, QChar(0x00E9)), "does not fit one SMS"},
        {"+905321234567", QString(), "empty"},
    };
    for (const auto &c : cases) {
        run([&](clsVorbex &m) { m.CommandSendMessage(QString::fromUtf8(c.number), c.text, true, QStringLiteral("1.dat")); });
        ASSERT_EQ(outcomes.size(), completed.size());
        ASSERT_FALSE(outcomes.isEmpty());
        EXPECT_EQ(outcomes.last().first, clsVorbex::SendResult::Refused) << c.number;
        EXPECT_TRUE(outcomes.last().second.contains(QString::fromUtf8(c.reason))) << outcomes.last().second.toStdString();
    }
    EXPECT_EQ(completed.size(), std::size(cases));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("Commands.log"))));
    EXPECT_TRUE(modem->TakeQueuedSends().isEmpty());
}

// The modem's answer to the PDU decides; without a result in the dialogue's
// wait the send is unanswered.
TEST_F(DialogueTest, SendResultIsWhatTheModemAnswers)
{
    const struct {
        const char *fault;
        clsVorbex::SendResult result;
        const char *answer;
        int sent;
    } cases[] = {
        {"normal", clsVorbex::SendResult::Accepted, "+CMGS: 1", 1},
        {"refuse 500", clsVorbex::SendResult::Refused, "+CMS ERROR: 500", 1},
        {"normal", clsVorbex::SendResult::Accepted, "+CMGS: 2", 2},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(sim.fault(QString::fromLatin1(c.fault))) << sim.diagnostics().toStdString();
        run([&](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("hello"), false, QStringLiteral("1.dat")); });
        ASSERT_FALSE(outcomes.isEmpty());
        EXPECT_EQ(outcomes.last().first, c.result) << c.fault;
        EXPECT_TRUE(outcomes.last().second.startsWith(QString::fromLatin1(c.answer))) << c.fault << ": "
                                                                                       << outcomes.last().second.toStdString();
        EXPECT_EQ(sim.sent().size(), c.sent) << c.fault;
    }
}

// A send without an answer holds every other send back until its answer
// comes or the hold is over; receive polls run meanwhile. Only at the end of
// the hold is it reported unanswered, and the next send goes.
TEST_F(DialogueTest, UnansweredSendHoldsTheOthersBackUntilTheHoldIsOver)
{
    ASSERT_TRUE(sim.fault(QStringLiteral("silent")));
    QElapsedTimer clock;
    clock.start();
    run([](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("first"), false, QStringLiteral("1.dat")); });
    EXPECT_TRUE(outcomes.isEmpty());
    ASSERT_TRUE(sim.fault(QStringLiteral("normal")));
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("meanwhile")));
    modem->CommandSendMessage(Sender, QStringLiteral("second"), false, QStringLiteral("2.dat"));
    modem->CommandReceiveMessage(1);
    EXPECT_EQ(modem->SendsWaiting(), 1);

    // The poll goes past the held send.
    modem->CheckSMSQueue();
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(modem->SendsWaiting(), 1);
    modem->CheckSMSQueue();
    EXPECT_TRUE(outcomes.isEmpty());
    EXPECT_EQ(sim.sent().size(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return !outcomes.isEmpty(); }, 10 * clsVorbex::SendHoldMs()));
    EXPECT_GE(clock.elapsed(), clsVorbex::SendHoldMs());
    EXPECT_EQ(completed.first(), QStringLiteral("1.dat"));
    EXPECT_EQ(outcomes.first().first, clsVorbex::SendResult::Unanswered);
    EXPECT_TRUE(outcomes.first().second.startsWith(QStringLiteral("No result from the modem within 60 s")))
        << outcomes.first().second.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 10 * clsVorbex::SendHoldMs()));
    EXPECT_EQ(completed.last(), QStringLiteral("2.dat"));
    EXPECT_EQ(outcomes.last().first, clsVorbex::SendResult::Accepted);
    ASSERT_TRUE(sim.waitForSent(1));
    EXPECT_EQ(sim.sent().first()[QStringLiteral("text")].toString(), QStringLiteral("second"));
}

// The administrator points the port's link at another modem while the
// library holds the old one open: the next dialogue runs on the new one.
TEST_F(DialogueTest, RePointedLinkIsFollowedBeforeTheNextDialogue)
{
    SimModem other(folder, 2);
    ASSERT_TRUE(other.start()) << other.diagnostics().toStdString();
    run([](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("before"), false, QStringLiteral("1.dat")); });
    ASSERT_TRUE(sim.waitForSent(1)) << sim.diagnostics().toStdString();
    EXPECT_TRUE(warnings.isEmpty());

    const QString link = folder.filePath(QStringLiteral("COM1"));
    const QString target = QFileInfo(folder.filePath(QStringLiteral("COM2"))).symLinkTarget();
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(target, link));
    run([](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("after"), false, QStringLiteral("2.dat")); });

    ASSERT_TRUE(other.waitForSent(1)) << other.diagnostics().toStdString();
    EXPECT_EQ(other.sent().first()[QStringLiteral("text")].toString(), QStringLiteral("after"));
    EXPECT_EQ(sim.sent().size(), 1);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.first().contains(QStringLiteral("now leads to ") + target)) << warnings.first().toStdString();
    EXPECT_EQ(outcomes.last().first, clsVorbex::SendResult::Accepted);
}

// A send left unanswered on a modem that went dead cannot be answered by the
// modem the link is then pointed at: a late answer of the new modem is its
// own send's, never the dead one's. Every send not accepted is queued again,
// as the host does; each message reaches the new modem exactly once.
TEST_F(DialogueTest, SendUnansweredOnTheOldDeviceIsNotCreditedWithTheNewDevicesAnswer)
{
    QObject::connect(modem.get(), &clsVorbex::SendCompleted,
                     [this](const QString &tag, clsVorbex::SendResult result, const QString &) {
                         if (result == clsVorbex::SendResult::Accepted)
                             return;
                         const QString text = tag == QStringLiteral("1.dat") ? QStringLiteral("first") : QStringLiteral("second");
                         QTimer::singleShot(0, modem.get(), [this, text, tag] { modem->CommandSendMessage(Sender, text, false, tag); });
                     });
    ASSERT_TRUE(sim.fault(QStringLiteral("silent")));
    run([](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("first"), false, QStringLiteral("1.dat")); });
    ASSERT_TRUE(outcomes.isEmpty());

    SimModem other(folder, 2);
    ASSERT_TRUE(other.start()) << other.diagnostics().toStdString();
    ASSERT_TRUE(other.fault(QStringLiteral("slow 3"))) << other.diagnostics().toStdString();
    const QString link = folder.filePath(QStringLiteral("COM1"));
    const QString target = QFileInfo(folder.filePath(QStringLiteral("COM2"))).symLinkTarget();
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(target, link));
    modem->CommandSendMessage(Sender, QStringLiteral("second"), false, QStringLiteral("2.dat"));
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });

    const auto accepted = [this](const QString &tag) {
        for (qsizetype i = 0; i < completed.size(); ++i)
            if (completed.at(i) == tag && outcomes.at(i).first == clsVorbex::SendResult::Accepted)
                return true;
        return false;
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return accepted(QStringLiteral("1.dat")) && accepted(QStringLiteral("2.dat")); },
                                10 * clsVorbex::SendHoldMs()))
        << completed.join(QLatin1Char(' ')).toStdString();
    // Anything still held back would go out by now.
    QTest::qWait(static_cast<int>(clsVorbex::SendHoldMs() / 2));
    QStringList texts;
    for (const QJsonObject &sent : other.sent())
        texts << sent[QStringLiteral("text")].toString();
    texts.sort();
    EXPECT_EQ(texts, QStringList({QStringLiteral("first"), QStringLiteral("second")})) << warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(sim.sent().isEmpty());
}

// A receive command is five fields; a "^" in its number or text makes more,
// and the command leaves the queue without a word to the modem.
TEST_F(DialogueTest, ReceiveWithCaretIsDroppedWithoutOutput)
{
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("waiting")));
    run([](clsVorbex &m) { m.CommandReceiveMessage(1, 0, QStringLiteral("+90^532"), QString()); });
    run([](clsVorbex &m) { m.CommandReceiveMessage(1, 0, QString(), QStringLiteral("a^b")); });
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("Commands.log"))));
    EXPECT_TRUE(received.isEmpty());

    // Whatever its mode, a receive lists every stored message.
    run([](clsVorbex &m) { m.CommandReceiveMessage(3, 7, QStringLiteral("ignored"), QStringLiteral("ignored")); });
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].message, QStringLiteral("waiting"));
    EXPECT_EQ(commands().first(), QStringLiteral("AT+CMGL=4\r\n"));
}

// The port opens for a single command, but the service centre is read only
// by OpenDevice(true).
TEST(ATCommand, OpensAClosedPortAndWritesTheLineWithCrLf)
{
    LibraryFolder folder;
    folder.writeSettings({{QStringLiteral("GSMServiceNumber"), QStringLiteral("+4912345678901")}});
    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    clsVorbex modem;
    ASSERT_FALSE(modem.PortOpen());
    modem.ATCommand(QStringLiteral("AT"));
    EXPECT_TRUE(modem.PortOpen());
    modem.ATCommand(QStringLiteral("AT+CMGF=0"));
    EXPECT_EQ(folder.logRecords(QStringLiteral("Commands")),
              QStringList({QStringLiteral("AT\r\n"), QStringLiteral("AT+CMGF=0\r\n")}));

    modem.CommandSendMessage(Sender, QStringLiteral("hi"), false);
    modem.CheckSMSQueue();
    EXPECT_EQ(folder.logRecords(QStringLiteral("Commands")).filter(QStringLiteral("AT+CSCA=")),
              QStringList{QStringLiteral("AT+CSCA=")});
    ASSERT_TRUE(sim.waitForSent(1)) << sim.diagnostics().toStdString();
}

TEST_F(DialogueTest, StoredMessagesAreReportedInListingOrderEachThenDeleted)
{
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("first line\nsecond line")));
    ASSERT_TRUE(sim.deliver(QStringLiteral("05321234567"), QStringLiteral("G\u00FCnayd\u0131n")));
    QStringList commandsAtEvent;
    onReceived = [&](bool &) { commandsAtEvent.append(commands().join(QStringLiteral("|"))); };

    run([](clsVorbex &m) { m.CommandReceiveMessage(1, 0, QString(), QString()); });

    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received[0].id, QStringLiteral("1"));
    EXPECT_EQ(received[1].id, QStringLiteral("2"));
    EXPECT_EQ(received[0].phonenumber, Sender);
    EXPECT_EQ(received[1].phonenumber, QStringLiteral("05321234567"));
    EXPECT_EQ(received[0].message, QStringLiteral("first line|second line"));
    EXPECT_EQ(received[1].message, QStringLiteral("G\u00FCnayd\u0131n"));
    static const QRegularExpression lengthWithCr(QStringLiteral("^\\d+\\r$"));
    const QDateTime now = QDateTime::currentDateTime();
    for (const Received &r : received) {
        EXPECT_EQ(r.status, QStringLiteral("0"));
        EXPECT_TRUE(lengthWithCr.match(r.length).hasMatch()) << r.length.toStdString();
        ASSERT_EQ(r.datetime.size(), 14) << r.datetime.toStdString();
        const QDateTime stamp = QDateTime::fromString(r.datetime.left(12), QStringLiteral("yyMMddHHmmss")).addYears(100);
        EXPECT_LT(std::abs(stamp.secsTo(now)), 120) << r.datetime.toStdString();
    }
    // The first message is deleted before the second is reported.
    EXPECT_EQ(commandsAtEvent, QStringList({QStringLiteral("AT+CMGL=4\r\n"), QStringLiteral("AT+CMGL=4\r\n|AT+CMGD=1\r\n")}));
    EXPECT_EQ(commands(), QStringList({QStringLiteral("AT+CMGL=4\r\n"), QStringLiteral("AT+CMGD=1\r\n"),
                                       QStringLiteral("AT+CMGD=2\r\n")}));

    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    EXPECT_EQ(received.size(), 2) << "deleted messages came again";
}

TEST_F(DialogueTest, UndecodablePduIsStillReportedAndDeleted)
{
    ASSERT_TRUE(sim.deliverPdu(QStringLiteral("07911326040000F00")));    // cut short in the sender
    ASSERT_TRUE(sim.deliverPdu(QStringLiteral("0791ZZ26040000F0040B91"))); // not hex
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });

    ASSERT_EQ(received.size(), 2);
    for (const Received &r : received)
        EXPECT_TRUE(r.message.isEmpty()) << r.message.toStdString();
    EXPECT_EQ(commands().filter(QStringLiteral("AT+CMGD=")),
              QStringList({QStringLiteral("AT+CMGD=1\r\n"), QStringLiteral("AT+CMGD=2\r\n")}));
}

TEST_F(DialogueTest, MessageTheHostCouldNotStoreStaysInTheModem)
{
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("kept back")));
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("stored")));
    onReceived = [&](bool &stored) { stored = received.last().message != QStringLiteral("kept back"); };
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    EXPECT_EQ(commands().filter(QStringLiteral("AT+CMGD=")), QStringList{QStringLiteral("AT+CMGD=2\r\n")});

    onReceived = nullptr;
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    ASSERT_EQ(received.size(), 3);
    EXPECT_EQ(received[2].id, QStringLiteral("1"));
    EXPECT_EQ(received[2].message, QStringLiteral("kept back"));
    EXPECT_EQ(commands().filter(QStringLiteral("AT+CMGD=")).last(), QStringLiteral("AT+CMGD=1\r\n"));
}

TEST_F(DialogueTest, IdentityAfterASendIsTheFifteenDigits)
{
    run([](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("hi"), false); });
    run([](clsVorbex &m) { m.CommandGetIMEI(); });
    EXPECT_EQ(imeis, QStringList{QStringLiteral("490154203237518")});
    EXPECT_EQ(commands().mid(8), QStringList({QStringLiteral("AT+CGSN"), CR}));
}

// A modem that held the line with XOFF and lost the XON: output is
// restarted once, the send goes through, and the restart is reported.
TEST_F(DialogueTest, StrayXoffIsOvercomeOnce)
{
    ASSERT_TRUE(sim.fault(QStringLiteral("xoff"))) << sim.diagnostics().toStdString();
    run([](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("after xoff"), false, QStringLiteral("1.dat")); });
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes[0].first, clsVorbex::SendResult::Accepted) << outcomes[0].second.toStdString();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("Output: ")) && warnings[0].contains(QStringLiteral("restarted")))
        << warnings[0].toStdString();
    ASSERT_TRUE(sim.waitForSent(1)) << sim.diagnostics().toStdString();
}

// A modem that never falls silent fails the poll, which stays queued, and
// the next poll after it has calmed down gets the message.
TEST_F(DialogueTest, ChatteringModemFailsThePollAndKeepsIt)
{
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("behind the noise")));
    ASSERT_TRUE(sim.fault(QStringLiteral("chatter"))) << sim.diagnostics().toStdString();
    modem->CommandReceiveMessage(1);
    try {
        modem->CheckSMSQueue();
        FAIL() << "the read came to an end";
    } catch (const platform::Error &e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("did not fall silent"))) << e.description().toStdString();
    }
    EXPECT_TRUE(modem->ReceiveWaiting());
    EXPECT_TRUE(received.isEmpty());

    ASSERT_TRUE(sim.fault(QStringLiteral("normal"))) << sim.diagnostics().toStdString();
    modem->CheckSMSQueue();
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].message, QStringLiteral("behind the noise"));
    EXPECT_FALSE(modem->ReceiveWaiting());
}

// The command log cannot be written (a folder stands in its place): every
// dialogue goes on, the failure is reported once, and the message is stored
// once and deleted.
TEST_F(DialogueTest, UnwritableLogEndsNoDialogue)
{
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("Commands.log")));
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("once only")));
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    run([](clsVorbex &m) { m.CommandSendMessage(Sender, QStringLiteral("out"), false, QStringLiteral("1.dat")); });

    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0].message, QStringLiteral("once only"));
    ASSERT_EQ(outcomes.size(), 1);
    EXPECT_EQ(outcomes[0].first, clsVorbex::SendResult::Accepted);
    ASSERT_EQ(warnings.size(), 1) << warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(warnings[0].startsWith(QStringLiteral("LogFile: "))) << warnings[0].toStdString();
}

// The message is stored, then the port fails before its delete: the next
// listing only deletes it, also after a restart; a modem that answered
// nothing (a listing without its final OK) forgets nothing.
TEST_F(DialogueTest, StoredMessageWhoseDeleteFailedIsNotReportedAgain)
{
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("stored, not deleted")));
    onReceived = [&](bool &) { modem->OpenDevice(false); };
    modem->CommandReceiveMessage(1);
    EXPECT_THROW(modem->CheckSMSQueue(), platform::Error);
    ASSERT_EQ(received.size(), 1);

    onReceived = nullptr;
    modem->OpenDevice(true);
    ASSERT_TRUE(sim.fault(QStringLiteral("silent")));
    modem->CheckSMSQueue(); // the failed poll, tried again
    ASSERT_TRUE(sim.fault(QStringLiteral("normal")));
    open();
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    EXPECT_EQ(received.size(), 1);
    EXPECT_EQ(commands().filter(QStringLiteral("AT+CMGD=")), QStringList{QStringLiteral("AT+CMGD=1\r\n")});
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("the next one")));
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received[1].message, QStringLiteral("the next one"));
}

// Line breaks of every kind, and user-data headers of every kind, as the
// modem lists them.
TEST_F(DialogueTest, ReceivedTextsKeepEveryLineAndLoseOnlyRealHeaders)
{
    const QDateTime now = QDateTime::currentDateTime();
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("one\r\ntwo\rthree\nfour")));
    ASSERT_TRUE(sim.deliverPdu(simpdu::BuildDeliverPdu(Sender, QStringLiteral("\u00E9@\u00F8X marks the spot"), now)));
    ASSERT_TRUE(sim.deliverPdu(simpdu::BuildDeliverWithHeader(Sender, QStringLiteral("part of sixteen"), now,
                                                              QByteArray::fromHex("060804BEEF0201"))));
    ASSERT_TRUE(sim.deliverPdu(simpdu::BuildDeliverWithHeader(Sender, QStringLiteral("\u041F\u043E\u0440\u0442"), now,
                                                              QByteArray::fromHex("0605040B8423F0"),
                                                              simpdu::Coding::Ucs2)));
    run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    QStringList messages;
    for (const Received &r : received)
        messages.append(r.message);
    EXPECT_EQ(messages, QStringList({QStringLiteral("one|two|three|four"), QStringLiteral("\u00E9@\u00F8X marks the spot"),
                                     QStringLiteral("part of sixteen"), QStringLiteral("\u041F\u043E\u0440\u0442")}));
}

struct Yielding {
    const char *name;
    bool receive;
    bool eventsRunBeforeTheResult;
};

void PrintTo(const Yielding &y, std::ostream *os)
{
    *os << y.name;
}

class YieldTest : public DialogueTest, public ::testing::WithParamInterface<Yielding> {};

// The receive read lets the host's events run while it waits for the modem;
// the identity read holds them until it is done.
TEST_P(YieldTest, HostEventsDuringTheRead)
{
    ASSERT_TRUE(sim.deliver(Sender, QStringLiteral("hello")));
    bool timerRan = false;
    bool ranBeforeResult = false;
    const auto result = [&] { ranBeforeResult = timerRan; };
    QObject::connect(modem.get(), &clsVorbex::SMSReceived, result);
    QObject::connect(modem.get(), &clsVorbex::IMEI, result);
    QTimer::singleShot(0, [&] { timerRan = true; });
    if (GetParam().receive)
        run([](clsVorbex &m) { m.CommandReceiveMessage(1); });
    else
        run([](clsVorbex &m) { m.CommandGetIMEI(); });
    EXPECT_EQ(received.size() + imeis.size(), 1);
    EXPECT_EQ(ranBeforeResult, GetParam().eventsRunBeforeTheResult);
}

INSTANTIATE_TEST_SUITE_P(Read, YieldTest,
                         ::testing::Values(Yielding{"Receive", true, true}, Yielding{"Identity", false, false}),
                         [](const ::testing::TestParamInfo<Yielding> &info) { return std::string(info.param.name); });

// A wait started inside a wait must not leave the outer one asleep until
// some later event (here the queue timer, whose tick fails on the closed
// port) wakes it.
TEST(Pause, KeepsTheEventLoopRunningAndOutlastsANestedPause)
{
    LibraryFolder folder;
    clsVorbex modem;
    QSignalSpy ticks(&modem, &clsVorbex::TickFailed);
    modem.CommandGetIMEI();
    bool innerDone = false;
    QTimer::singleShot(0, [&] {
        modem.Pause(0.2f);
        innerDone = true;
    });
    QElapsedTimer clock;
    clock.start();
    modem.Pause(0.5f);
    EXPECT_TRUE(innerDone);
    EXPECT_GE(clock.elapsed(), static_cast<qint64>(500 * LibraryFolder::ClockScale));
    EXPECT_TRUE(ticks.isEmpty()) << "the wait ended only at the next queue tick";
}

// A modem line whose answers are written before the host asks: the test
// holds the terminal's other end.
class ScriptedLine {
public:
    explicit ScriptedLine(const LibraryFolder &folder)
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        const char *name = ::ptsname(m_master);
        m_slave = ::open(name, O_RDWR | O_NOCTTY);
        termios tio{};
        ::tcgetattr(m_slave, &tio);
        ::cfmakeraw(&tio); // so the scripted CR LF arrive as written
        ::tcsetattr(m_slave, TCSANOW, &tio);
        QFile::link(QString::fromLocal8Bit(name), folder.filePath(QStringLiteral("COM1")));
    }
    ~ScriptedLine()
    {
        ::close(m_slave);
        ::close(m_master);
    }
    bool answer(const QByteArray &bytes) const
    {
        return ::write(m_master, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }
    // The modem's end, for a test that answers as the host writes.
    int master() const { return m_master; }

private:
    int m_master = -1;
    int m_slave = -1;
};

struct IdentityAnswer {
    const char *name;
    const char *answer;
    const char *imei; // nullptr: no event
};

void PrintTo(const IdentityAnswer &a, std::ostream *os)
{
    *os << a.name;
}

class IdentityAnswerTest : public ::testing::TestWithParam<IdentityAnswer> {};

TEST_P(IdentityAnswerTest, FirstLineOfNineOrMoreAfterTheEcho)
{
    LibraryFolder folder;
    folder.writeSettings({});
    ScriptedLine line(folder);
    ASSERT_TRUE(line.answer(GetParam().answer));
    clsVorbex modem;
    QStringList imeis;
    QObject::connect(&modem, &clsVorbex::IMEI, [&](const QString &imei) { imeis.append(imei); });
    modem.OpenDevice(true);
    modem.CommandGetIMEI();
    modem.CheckSMSQueue();
    EXPECT_EQ(imeis, GetParam().imei ? QStringList{QString::fromLatin1(GetParam().imei)} : QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Identity, IdentityAnswerTest,
    ::testing::Values(
        IdentityAnswer{"EchoThenImei", "AT+CGSN\r\r\n490154203237518\r\n\r\nOK\r\n", "490154203237518"},
        IdentityAnswer{"EarlierAnswerBeforeTheEcho", "\r\n+CMGS: 123\r\n\r\nOK\r\nAT+CGSN\r\r\n 351234567890123 \r\nOK\r\n",
                       "351234567890123"},
        IdentityAnswer{"NineCharacters", "AT+CGSN\r\r\n123456789\r\nOK\r\n", "123456789"},
        IdentityAnswer{"EightCharacters", "AT+CGSN\r\r\n12345678\r\n\r\nOK\r\n", nullptr},
        IdentityAnswer{"Error", "AT+CGSN\r\r\nERROR\r\n", nullptr},
        IdentityAnswer{"NoLineEnd", "AT+CGSN\r\r\n490154203237518", nullptr}),
    [](const ::testing::TestParamInfo<IdentityAnswer> &info) { return std::string(info.param.name); });

// A slow modem may answer an earlier command of the send dialogue, such as
// "AT+CSCA=" with an empty number, only when the prompt comes. The
// "+CMGS: n" that follows the PDU says the message went out: were the send
// counted as refused, its next try would send it twice.
TEST(SendAnswer, AcceptedSendOutweighsALateErrorOfAnEarlierCommand)
{
    LibraryFolder folder;
    folder.writeSettings({});
    ScriptedLine line(folder);
    QByteArray heard;
    bool prompted = false;
    bool answered = false;
    QSocketNotifier notifier(line.master(), QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const ssize_t n = ::read(line.master(), buffer, sizeof buffer);
        if (n > 0)
            heard.append(buffer, n);
        if (!prompted && heard.contains("AT+CMGS=") && heard.endsWith('\r'))
            prompted = line.answer("\r\nERROR\r\n\r\n> ");
        if (prompted && !answered && heard.contains('\x1a'))
            answered = line.answer("\r\n+CMGS: 7\r\n\r\nOK\r\n");
    });
    clsVorbex modem;
    QList<clsVorbex::SendResult> results;
    QObject::connect(&modem, &clsVorbex::SendCompleted,
                     [&](const QString &, clsVorbex::SendResult result, const QString &) { results.append(result); });
    modem.OpenDevice(true);
    modem.CommandSendMessage(Sender, QStringLiteral("hello"), false, QStringLiteral("1.dat"));
    modem.CheckSMSQueue();
    ASSERT_TRUE(answered) << heard.constData();
    EXPECT_EQ(results, QList<clsVorbex::SendResult>{clsVorbex::SendResult::Accepted});
}

} // namespace
