// The installed service as a process against the simulated modem, stopped
// or killed at random moments while a stream of queued files goes out and
// started again: what reaches the modem, and how often.
#include "programfolder.h"
#include "queuefiles.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

namespace {

class QueueService : public ::testing::Test {
protected:
    ProgramFolder folder;
    std::unique_ptr<SimulatedModem> sim;
    QRandomGenerator random;
    int queued = 0;

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        folder.writeServiceSettings({{S(u"port"), QString::number(freeTcpPort())},
                                     {S(u"sms_check_interval"), S(u"60")},
                                     {S(u"allowed_time_interval"), S(u"00:00,23:59")}});
        sim = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(sim->isReady());
        const quint32 seed = QRandomGenerator::global()->generate();
        random.seed(seed);
        std::printf("random moments from seed %u\n", seed);
    }

    // A file as the console leaves it: written aside and renamed into place.
    void queueMessages(int count)
    {
        for (int i = 0; i < count; ++i) {
            ++queued;
            const QString text = QStringLiteral("message %1").arg(queued);
            const QString name = UnsentFileName(S(u"240101000000"), QStringLiteral("%1").arg(queued, 4, 10, QLatin1Char('0')));
            CreateQueueFile(folder.filePath(S(u"Unsent")),
                            UnsentFileContent(QStringLiteral("tester,0532000000%1,24/01/01 00:00:00,%2").arg(queued).arg(text)),
                            [&] { return name; });
        }
    }

    std::unique_ptr<QProcess> startService() const
    {
        std::unique_ptr<QProcess> service(folder.newProcess(S(u"TalvinorSMSSvc"), {}));
        service->setStandardOutputFile(folder.filePath(S(u"service.out")), QIODevice::Append);
        service->setStandardErrorFile(folder.filePath(S(u"service.err")), QIODevice::Append);
        service->start();
        EXPECT_TRUE(service->waitForStarted());
        return service;
    }

    QMap<QString, int> sentTexts() const { return sim->sentTexts(); }
    // The texts whose files still wait in Unsent.
    QSet<QString> waitingTexts() const
    {
        QSet<QString> texts;
        const QString unsent = folder.filePath(S(u"Unsent"));
        for (const QString &name : ListQueueFiles(unsent))
            texts.insert(QStringLiteral("tester:") + ReadSmsRecord(ReadFirstLine(QDir(unsent).filePath(name))).Message);
        return texts;
    }
    QString allTexts() const
    {
        return QString::fromUtf8(sim->sentLog()) + QStringLiteral("\nservice log:\n")
            + QString::fromUtf8(folder.readFile(S(u"TalvinorSMSSvc.log")));
    }

    // Runs the service until every queued message has reached the modem,
    // then stops it.
    void runToTheEnd()
    {
        auto service = startService();
        EXPECT_TRUE(sim->waitForSent(sentCount() + static_cast<int>(waitingTexts().size()), 180000)) << allTexts().toStdString();
        service->terminate();
        EXPECT_TRUE(service->waitForFinished(30000));
    }
    int sentCount() const
    {
        int n = 0;
        for (int count : sentTexts())
            n += count;
        return n;
    }
    // Somewhere in the first three ticks: before a hand-over, during a send,
    // or between two.
    int randomMomentMs() { return static_cast<int>(random.bounded(3000, 26000)); }
};

TEST_F(QueueService, StoppedAtRandomMomentsEveryMessageGoesOutExactlyOnce)
{
    queueMessages(4);
    for (int run = 0; run < 3; ++run) {
        auto service = startService();
        QTest::qWait(randomMomentMs());
        if (run == 1)
            queueMessages(2);
        service->terminate();
        ASSERT_TRUE(service->waitForFinished(30000));
        EXPECT_EQ(service->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(service->exitCode(), 0);
    }
    runToTheEnd();

    const QMap<QString, int> counts = sentTexts();
    ASSERT_EQ(counts.size(), queued) << allTexts().toStdString();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        EXPECT_EQ(it.value(), 1) << it.key().toStdString() << "\n" << allTexts().toStdString();
    EXPECT_EQ(ListQueueFiles(folder.filePath(S(u"Unsent"))), QStringList());
    EXPECT_EQ(ListQueueFiles(folder.filePath(S(u"Sent"))).size(), queued);
}

// Killed, the service cannot finish a send: the message whose send was
// running may go out again after the restart, once for each kill that came
// while it was running. No other message is lost or repeated.
TEST_F(QueueService, KilledAtRandomMomentsOnlyTheMessageInFlightMayRepeat)
{
    queueMessages(4);
    QMap<QString, int> inFlightAtKills;
    for (int run = 0; run < 3; ++run) {
        auto service = startService();
        QTest::qWait(randomMomentMs());
        if (run == 1)
            queueMessages(2);
        service->kill();
        ASSERT_TRUE(service->waitForFinished(30000));

        // At the kill a message is either out or still waiting in Unsent;
        // at most one more is both than at the kills before (a message in
        // flight at an earlier kill may still wait: its retry, refused by
        // a modem left in the middle of that send, waits out the spacing
        // of tries).
        const QSet<QString> waiting = waitingTexts();
        const QStringList sentList = sentTexts().keys();
        const QSet<QString> sent(sentList.cbegin(), sentList.cend());
        const QSet<QString> both = sent & waiting;
        QSet<QString> newlyBoth = both;
        for (auto it = inFlightAtKills.cbegin(); it != inFlightAtKills.cend(); ++it)
            newlyBoth.remove(it.key());
        EXPECT_LE(newlyBoth.size(), 1) << allTexts().toStdString();
        EXPECT_EQ((sent | waiting).size(), queued) << "a message was lost\n" << allTexts().toStdString();
        for (const QString &text : both)
            ++inFlightAtKills[text];
    }
    runToTheEnd();

    const QMap<QString, int> counts = sentTexts();
    ASSERT_EQ(counts.size(), queued) << allTexts().toStdString();
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        EXPECT_GE(it.value(), 1);
        EXPECT_LE(it.value(), 1 + inFlightAtKills.value(it.key())) << it.key().toStdString() << "\n"
                                                                   << allTexts().toStdString();
    }
    EXPECT_EQ(ListQueueFiles(folder.filePath(S(u"Unsent"))), QStringList());
}

} // namespace
