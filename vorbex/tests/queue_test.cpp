// The command queue on the object's own timer: order, ticks that come
// during a dialogue, failed ticks, and a modem that goes away and returns.
#include "simmodem.h"

#include "platform/error.h"
#include "vorbex/clsvorbex.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest/QTest>

namespace {

using vorbex::clsVorbex;

const QString Sender = QStringLiteral("+905321234567");
constexpr int TickWaitMs = 30000;

TEST(Queue, TimerRunsTheCommandsInOrder)
{
    LibraryFolder folder;
    folder.writeSettings({});
    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    clsVorbex modem;
    QStringList events;
    QObject::connect(&modem, &clsVorbex::SendCompleted, [&](const QString &tag) { events.append(tag); });
    QObject::connect(&modem, &clsVorbex::IMEI, [&](const QString &imei) { events.append(imei); });
    modem.OpenDevice(true);
    modem.CommandSendMessage(Sender, QStringLiteral("first"), false, QStringLiteral("a.dat"));
    modem.CommandGetIMEI();

    EXPECT_TRUE(QTest::qWaitFor([&] { return events.size() == 2; }, TickWaitMs));
    EXPECT_EQ(events, QStringList({QStringLiteral("a.dat"), QStringLiteral("490154203237518")}));
}

// A tick that comes while a dialogue waits does nothing; the running
// command is neither run twice nor handed back, and leaves exactly once.
TEST(Queue, TickDuringADialogueIsSkipped)
{
    LibraryFolder folder;
    folder.writeSettings({});
    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    clsVorbex modem;
    QStringList completed;
    QStringList imeis;
    QObject::connect(&modem, &clsVorbex::SendCompleted, [&](const QString &tag) { completed.append(tag); });
    QObject::connect(&modem, &clsVorbex::IMEI, [&](const QString &imei) { imeis.append(imei); });
    modem.OpenDevice(true);
    modem.CommandSendMessage(Sender, QStringLiteral("running"), false, QStringLiteral("a.dat"));
    modem.CommandGetIMEI();
    modem.CommandSendMessage(Sender, QStringLiteral("waiting"), false, QStringLiteral("b.dat"));

    bool busy = false;
    QStringList taken;
    QTimer::singleShot(0, [&] {
        busy = modem.IsBusy();
        modem.CheckSMSQueue();
        taken = modem.TakeQueuedSends();
    });
    modem.CheckSMSQueue();

    EXPECT_TRUE(busy);
    EXPECT_EQ(taken, QStringList{QStringLiteral("b.dat")});
    EXPECT_EQ(completed, QStringList{QStringLiteral("a.dat")});
    EXPECT_FALSE(modem.IsBusy());
    EXPECT_TRUE(imeis.isEmpty());
    modem.CheckSMSQueue(); // the identity query was next, and is last
    EXPECT_EQ(imeis.size(), 1);
    ASSERT_EQ(sim.sent().size(), 1);
    EXPECT_EQ(sim.sent().first()[QStringLiteral("text")].toString(), QStringLiteral("running"));
    const qsizetype logged = folder.logRecords(QStringLiteral("Commands")).size();
    modem.CheckSMSQueue();
    EXPECT_EQ(folder.logRecords(QStringLiteral("Commands")).size(), logged);
}

// A host that lets the object go from an event handled inside a dialogue's
// wait (a stop request, say) gets it deleted once the dialogue is over, not
// in the middle of it.
TEST(Queue, DeleteLaterDuringADialogueTakesEffectAfterIt)
{
    LibraryFolder folder;
    folder.writeSettings({});
    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    QPointer<clsVorbex> modem = new clsVorbex;
    QStringList completed;
    QObject::connect(modem, &clsVorbex::SendCompleted, [&](const QString &tag) { completed.append(tag); });
    modem->OpenDevice(true);
    modem->CommandSendMessage(Sender, QStringLiteral("last words"), false, QStringLiteral("a.dat"));

    bool aliveAfterTheDialogue = false;
    QEventLoop loop;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] { modem->deleteLater(); }); // runs inside the first wait
        modem->CheckSMSQueue();
        aliveAfterTheDialogue = !modem.isNull();
        loop.quit();
    });
    loop.exec();

    ASSERT_TRUE(aliveAfterTheDialogue);
    EXPECT_EQ(completed, QStringList{QStringLiteral("a.dat")});
    EXPECT_TRUE(QTest::qWaitFor([&] { return modem.isNull(); }, TickWaitMs));
    ASSERT_TRUE(sim.waitForSent(1)) << sim.diagnostics().toStdString();
    EXPECT_EQ(sim.sent().first()[QStringLiteral("text")].toString(), QStringLiteral("last words"));
}

// Called by the host, a failing dialogue raises to it; the command stays
// first and runs once the port works.
TEST(Queue, FailedDialogueKeepsItsCommandFirst)
{
    LibraryFolder folder;
    folder.writeSettings({});
    clsVorbex modem;
    QStringList imeis;
    QObject::connect(&modem, &clsVorbex::IMEI, [&](const QString &imei) { imeis.append(imei); });
    modem.CommandGetIMEI();
    try {
        modem.CheckSMSQueue();
        FAIL() << "ran on a closed port";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), platform::ErrInvalidCall) << e.description().toStdString();
    }

    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    modem.OpenDevice(true);
    modem.CheckSMSQueue();
    EXPECT_EQ(imeis.size(), 1);
}

// An unplugged modem fails each tick, with the reason handed to the host;
// once it is back, the queue goes on by itself.
TEST(Queue, ModemThatGoesAwayIsOpenedAgainWhenItReturns)
{
    LibraryFolder folder;
    folder.writeSettings({});
    auto sim = std::make_unique<SimModem>(folder);
    ASSERT_TRUE(sim->start()) << sim->diagnostics().toStdString();
    clsVorbex modem;
    QSignalSpy failed(&modem, &clsVorbex::TickFailed);
    QSignalSpy completed(&modem, &clsVorbex::SendCompleted);
    modem.OpenDevice(true);
    sim->stop();

    modem.CommandSendMessage(Sender, QStringLiteral("after the outage"), false, QStringLiteral("a.dat"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return failed.size() >= 2; }, TickWaitMs));
    const QString link = folder.filePath(QStringLiteral("COM1"));
    for (const QList<QVariant> &failure : failed) {
        EXPECT_EQ(failure[0].toString(), QStringLiteral("CheckSMSQueue"));
        EXPECT_TRUE(failure[1].toString().contains(link)) << failure[1].toString().toStdString();
    }
    EXPECT_TRUE(failed[1][1].toString().startsWith(QStringLiteral("Cannot open"))) << failed[1][1].toString().toStdString();
    EXPECT_TRUE(completed.isEmpty());

    sim = std::make_unique<SimModem>(folder);
    ASSERT_TRUE(sim->start()) << sim->diagnostics().toStdString();
    ASSERT_TRUE(completed.size() == 1 || completed.wait(TickWaitMs));
    EXPECT_EQ(completed[0][0].toString(), QStringLiteral("a.dat"));
    ASSERT_TRUE(sim->waitForSent(1)) << sim->diagnostics().toStdString();
    EXPECT_EQ(sim->sent().first()[QStringLiteral("text")].toString(), QStringLiteral("after the outage"));
}

// A modem that goes away after it has taken the message, before it could
// answer: the message may be out, so the send is not run again as if it
// had failed before the modem. It is reported unanswered at once, for the
// host to count a try: no answer comes through a lost connection, and the
// modem found there later must not have its answers taken for this send's.
TEST(Queue, ModemThatGoesAwayAfterTakingTheMessageDoesNotGetItAgain)
{
    LibraryFolder folder;
    folder.writeSettings({});
    auto sim = std::make_unique<SimModem>(folder);
    ASSERT_TRUE(sim->start()) << sim->diagnostics().toStdString();
    ASSERT_TRUE(sim->fault(QStringLiteral("slow 60"))) << sim->diagnostics().toStdString();
    clsVorbex modem;
    QSignalSpy completed(&modem, &clsVorbex::SendCompleted);
    modem.OpenDevice(true);
    QTimer unplug;
    QObject::connect(&unplug, &QTimer::timeout, [&] {
        if (sim->sent().size() == 1) {
            unplug.stop();
            sim->stop();
        }
    });
    unplug.start(10);

    modem.CommandSendMessage(Sender, QStringLiteral("taken"), false, QStringLiteral("a.dat"));
    try {
        modem.CheckSMSQueue();
    } catch (const std::exception &) {
    }
    ASSERT_FALSE(unplug.isActive());

    auto back = std::make_unique<SimModem>(folder);
    ASSERT_TRUE(back->start()) << back->diagnostics().toStdString();
    ASSERT_TRUE(back->fault(QStringLiteral("slow 3"))) << back->diagnostics().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !completed.isEmpty(); }, 10 * clsVorbex::SendHoldMs()));
    EXPECT_EQ(completed[0][0].toString(), QStringLiteral("a.dat"));
    EXPECT_EQ(completed[0][1].value<clsVorbex::SendResult>(), clsVorbex::SendResult::Unanswered);
    EXPECT_TRUE(completed[0][2].toString().contains(QStringLiteral("may have gone out")))
        << completed[0][2].toString().toStdString();

    // The next send goes at once, and its late answer is its own.
    modem.CommandSendMessage(Sender, QStringLiteral("next"), false, QStringLiteral("b.dat"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return completed.size() == 2; }, TickWaitMs));
    EXPECT_EQ(completed[1][0].toString(), QStringLiteral("b.dat"));
    EXPECT_EQ(completed[1][1].value<clsVorbex::SendResult>(), clsVorbex::SendResult::Accepted);
    ASSERT_TRUE(back->waitForSent(1)) << back->diagnostics().toStdString();
    EXPECT_EQ(back->sent().size(), 1);
    EXPECT_EQ(back->sent().first()[QStringLiteral("text")].toString(), QStringLiteral("next"));
}

} // namespace
