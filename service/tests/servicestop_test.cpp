// The service with its modem on the simulated modem, in this process: how
// polls are queued, and a stop that arrives in the middle of a poll.
#include "frmmain.h"
#include "programfolder.h"
#include "testdatabases.h"

#include "vorbex/clsvorbex.h"

// The modem library's test hooks: its folder and a faster clock.
#include "../../vorbex/src/runtime.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {

class RunningService : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        folder.writeServiceSettings({{QStringLiteral("port"), QString::number(freeTcpPort())},
                                     {QStringLiteral("sms_check_interval"), QStringLiteral("60")}});
        Writer(folder.filePath(QStringLiteral("db/application.db")))
            .Run(QStringLiteral("INSERT INTO Users (UserName, UserPassword, ModeratorAccess, ManualNumberPermission) "
                                "VALUES ('bob', 'X', 0, 0)"));
        vorbex::runtime::setLibraryFolderForTests(folder.path());
        vorbex::runtime::setClockScaleForTests(0.1);
        sim = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(sim->isReady());
        service = std::make_unique<frmMain>(folder.path());
        // The debug start starts the service, queues one poll and returns
        // with the modem and the databases open.
        service->Service_Load(QStringLiteral("--debug"));
        ASSERT_EQ(service->exitCode(), 0) << folder.readFile(QStringLiteral("TalvinorSMSSvc.log")).constData();
        ASSERT_TRUE(service->modem());
    }

    // A message from a phone, once the modem has stored it.
    void deliver(const QString &text)
    {
        sim->deliver(QStringLiteral("+905551112233"), text);
        const QDir spool(folder.filePath(QStringLiteral("gsmsim-spool")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return spool.entryList(QDir::Files).isEmpty(); }, 20000));
    }

    ProgramFolder folder;
    std::unique_ptr<SimulatedModem> sim;
    std::unique_ptr<frmMain> service;
};

// With an interval shorter than the modem's tick, polls came faster than
// they ran and the sends queued behind them waited without end.
TEST_F(RunningService, APollIsNotQueuedWhileOneWaits)
{
    vorbex::clsVorbex &modem = *service->modem();
    for (int i = 0; i < 5; ++i)
        service->Action();
    EXPECT_TRUE(modem.ReceiveWaiting());
    modem.CheckSMSQueue();
    EXPECT_FALSE(modem.ReceiveWaiting());
}

// The stop arrives while the poll waits for the modem's list: the poll
// still addresses its message with the databases open, and the service
// unloads after it.
TEST_F(RunningService, StopDuringAPollLetsItAddressItsMessage)
{
    deliver(QStringLiteral("bob private words"));
    QSignalSpy unloaded(service.get(), &frmMain::unloaded);
    bool stoppedInsideThePoll = false;
    QTimer::singleShot(0, [&] {
        stoppedInsideThePoll = service->modem()->IsBusy();
        service->Service_Stop();
        EXPECT_TRUE(unloaded.isEmpty());
    });
    service->modem()->CheckSMSQueue();

    EXPECT_TRUE(stoppedInsideThePoll);
    EXPECT_EQ(unloaded.size(), 1);
    const QDir incoming(folder.filePath(QStringLiteral("Incoming")));
    const QStringList files = incoming.entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1) << folder.readFile(QStringLiteral("TalvinorSMSSvc.log")).constData();
    EXPECT_TRUE(folder.readFile(QStringLiteral("Incoming/") + files.first()).startsWith("bob,+905551112233,"))
        << folder.readFile(QStringLiteral("Incoming/") + files.first()).constData();
}

} // namespace
