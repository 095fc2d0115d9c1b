// The installed service on the simulated modem obeys the bulk hours that
// the console saves, at its next bulk file and without a restart.
#include "consoletest.h"

#include "store/queuefiles.h"

#include <QDateTime>
#include <QTimeEdit>

class BulkHours : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        ASSERT_TRUE(gateway.start({{QStringLiteral("sms_check_interval"), QStringLiteral("60")},
                                   {QStringLiteral("allowed_time_interval"), QStringLiteral("00:00,23:59")}}));
    }

    void TearDown() override { EXPECT_TRUE(gateway.stop()); }

    void SaveHours(const QTime &start, const QTime &end)
    {
        window->optTab_Click(4);
        TypeTime(Find<QTimeEdit>("dtpStartTime"), start.toString(QStringLiteral("HH")), start.toString(QStringLiteral("mm")));
        TypeTime(Find<QTimeEdit>("dtpEndTime"), end.toString(QStringLiteral("HH")), end.toString(QStringLiteral("mm")));
        QTest::mouseClick(Find<QWidget>("btnSettingsSave"), Qt::LeftButton);
    }

    void Queue(const QString &name, const QString &line) const
    {
        CreateQueueFile(QueueFolder(folder.path(), UnsentFolder), UnsentFileContent(line), [name] { return name; });
    }

    QStringList Unsent() const { return ListQueueFiles(QueueFolder(folder.path(), UnsentFolder)); }

    ServiceOnModem gateway{folder};
};

TEST_F(BulkHours, ABulkFileWaitsOutsideTheSavedHoursAndGoesAfterTheNextSave)
{
    ASSERT_TRUE(Start());
    // A one-minute window half a day away.
    const QTime away = QTime::currentTime().addSecs(12 * 3600);
    SaveHours(QTime(away.hour(), away.minute()), QTime(away.hour(), away.minute()));
    ASSERT_EQ(boxes.boxes.size(), 1);
    ASSERT_EQ(boxes.boxes[0].icon, QMessageBox::Information);

    // The user's file comes after the bulk file: the service passes the
    // waiting bulk file to send it.
    Queue(QStringLiteral("a1.dat"), QStringLiteral("[Bulk],05321234567,24/01/02 10:11:12,bulk hello"));
    Queue(QStringLiteral("a2.dat"), QStringLiteral("bob,05329876543,24/01/02 10:11:13,user hello"));
    ASSERT_TRUE(gateway.modem().waitForSent(1)) << folder.readFile(QStringLiteral("TalvinorSMSSvc.log")).constData();
    EXPECT_TRUE(gateway.modem().sentLog().contains("user hello"));
    EXPECT_FALSE(gateway.modem().sentLog().contains("bulk hello"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Unsent() == QStringList{QStringLiteral("a1.dat")}; }, 20000)) << Unsent().join(u' ').toStdString();

    SaveHours(QTime(0, 0), QTime(23, 59));
    ASSERT_TRUE(gateway.modem().waitForSent(2)) << folder.readFile(QStringLiteral("TalvinorSMSSvc.log")).constData();
    EXPECT_TRUE(gateway.modem().sentLog().contains("bulk hello"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Unsent().isEmpty(); }, 20000)) << Unsent().join(u' ').toStdString();
}
