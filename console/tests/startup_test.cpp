#include "consoletest.h"

#include "bulkmessages.h"
#include "tabbulk.h"
#include "tabsettings.h"
#include "timeinterval.h"

#include <QComboBox>
#include <QLabel>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextEdit>
#include <QTimeEdit>

TEST(TimeInterval, ReadsTwoTimesOfDay)
{
    struct Case {
        const char *text;
        bool ok;
        QTime start;
        QTime end;
    } cases[] = {
        {"08:00,18:00", true, QTime(8, 0), QTime(18, 0)},
        {"8:00,18:30", true, QTime(8, 0), QTime(18, 30)},
        {"08:00:00,23:59:59", true, QTime(8, 0), QTime(23, 59, 59)},
        {"22:00,06:00", true, QTime(22, 0), QTime(6, 0)},
        {"00:00,23:59", true, QTime(0, 0), QTime(23, 59)},
        {"08:00", false, {}, {}},
        {"08:00,18:00,20:00", false, {}, {}},
        {"", false, {}, {}},
        {"25:00,18:00", false, {}, {}},
        {"08:00,noon", false, {}, {}},
        {"08.00,18.00", false, {}, {}},
    };
    for (const Case &c : cases) {
        QTime start(1, 2);
        QTime end(3, 4);
        EXPECT_EQ(ReadTimeInterval(QString::fromLatin1(c.text), start, end), c.ok) << c.text;
        EXPECT_EQ(start, c.ok ? c.start : QTime(1, 2)) << c.text;
        EXPECT_EQ(end, c.ok ? c.end : QTime(3, 4)) << c.text;
    }
    EXPECT_EQ(TimeIntervalText(QTime(8, 5), QTime(18, 30)), QStringLiteral("08:05,18:30"));
}

TEST_F(ConsoleTest, StartsWithDefaultsWithoutItsSettingsFile)
{
    ASSERT_TRUE(QFile::remove(folder.filePath(QStringLiteral("TalvinorSMSServer.ini"))));
    ASSERT_TRUE(Start());
    EXPECT_EQ(common::languageCode, QStringLiteral("tr"));
    EXPECT_EQ(window->state().windowAlpha, 230);
    EXPECT_EQ(Find<QComboBox>("cmbWindowTransparency")->currentIndex(), 1);
    EXPECT_NEAR(window->windowOpacity(), 230 / 255.0, 0.005);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(650, 400));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Talvinor SMS Sunucusu"));
    EXPECT_TRUE(Find<QWidget>("frmTabs(0)")->isVisible());
    EXPECT_EQ(Find<QLabel>("lblFreeCharacters")->text(), QStringLiteral("0/160"));
    EXPECT_EQ(Find<QTimeEdit>("dtpStartTime")->time(), QTime(0, 0));
    EXPECT_EQ(Find<QTimeEdit>("dtpEndTime")->time(), QTime(23, 59));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("TalvinorSMSServer.ini"))));
}

TEST_F(ConsoleTest, AlphaIsReadClampedAndShownByTheNearestRow)
{
    struct Case {
        const char *text;
        int alpha;
        int row;
    } cases[] = {
        {"150", 200, 2}, {"300", 255, 0}, {"240", 240, 1}, {"abc", 200, 2}, {"230.5", 230, 1}, {"231.5", 232, 1}, {"255", 255, 0},
    };
    for (const Case &c : cases) {
        WriteConsoleSettings(QByteArray("Language=en\nAlpha=") + c.text + '\n');
        ASSERT_TRUE(Start()) << c.text;
        EXPECT_EQ(window->state().windowAlpha, c.alpha) << c.text;
        EXPECT_EQ(Find<QComboBox>("cmbWindowTransparency")->currentIndex(), c.row) << c.text;
        EXPECT_NEAR(window->windowOpacity(), c.alpha / 255.0, 0.005) << c.text;
    }
}

TEST_F(ConsoleTest, BulkHoursAreShownInThePickers)
{
    struct Case {
        const char *interval;
        QTime start;
        QTime end;
        int errors;
    } cases[] = {
        {"08:00,18:00", QTime(8, 0), QTime(18, 0), 0},
        {"8:00,18:30:00", QTime(8, 0), QTime(18, 30), 0},
        // A value the pickers cannot show is reported, and the console
        // still starts, on the whole day.
        {"08:00", QTime(0, 0), QTime(23, 59), 1},
        {"08:00,25:00", QTime(0, 0), QTime(23, 59), 1},
    };
    for (const Case &c : cases) {
        folder.writeServiceSettings({{QStringLiteral("allowed_time_interval"), QString::fromLatin1(c.interval)}});
        boxes.boxes.clear();
        ASSERT_TRUE(Start()) << c.interval;
        EXPECT_EQ(Find<QTimeEdit>("dtpStartTime")->time(), c.start) << c.interval;
        EXPECT_EQ(Find<QTimeEdit>("dtpEndTime")->time(), c.end) << c.interval;
        EXPECT_EQ(ErrorBoxes(), c.errors) << c.interval;
        EXPECT_TRUE(window->isVisible());
    }
    EXPECT_TRUE(boxes.boxes.last().text.contains(QStringLiteral("allowed_time_interval")));
}

TEST_F(ConsoleTest, AMissingDatabaseStopsTheStartUpAndIsNotCreated)
{
    for (const char *name : {"db/application.db", "db/phonebook.db"}) {
        ProgramFolder fresh;
        ASSERT_TRUE(QFile::remove(fresh.filePath(QLatin1String(name))));
        boxes.boxes.clear();
        window = std::make_unique<frmMain>(fresh.path());
        EXPECT_FALSE(window->Form_Load()) << name;
        EXPECT_FALSE(window->isVisible()) << name;
        ASSERT_EQ(ErrorBoxes(), 1) << name;
        EXPECT_TRUE(boxes.boxes.last().text.contains(QLatin1String(name))) << boxes.boxes.last().text.toStdString();
        EXPECT_FALSE(QFile::exists(fresh.filePath(QLatin1String(name)))) << name;
        window.reset();
        EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
    }
}

// Changes one database of a fresh program folder through a connection of
// its own.
void Alter(const ProgramFolder &folder, const char *database, const char *statement)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("alter"));
        db.setDatabaseName(folder.filePath(QLatin1String(database)));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QLatin1String(statement))) << query.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("alter"));
}

TEST_F(ConsoleTest, ATabThatCannotBeFilledStopsTheStartUp)
{
    const struct {
        const char *database;
        const char *statement;
        const char *missing;
    } cases[] = {
        {"db/application.db", "DROP TABLE Users", "Users"},
        {"db/phonebook.db", "ALTER TABLE Contact RENAME COLUMN Company TO Firm", "Company"},
        {"db/phonebook.db", "ALTER TABLE Groups RENAME COLUMN GroupName TO Name", "GroupName"},
        {"db/phonebook.db", "DROP TABLE ContactGroupLink", "ContactGroupLink"},
    };
    for (const auto &c : cases) {
        ProgramFolder fresh;
        Alter(fresh, c.database, c.statement);
        boxes.boxes.clear();
        window = std::make_unique<frmMain>(fresh.path());
        EXPECT_FALSE(window->Form_Load()) << c.statement;
        EXPECT_FALSE(window->isVisible()) << c.statement;
        ASSERT_EQ(ErrorBoxes(), 1) << c.statement;
        EXPECT_TRUE(boxes.boxes.last().text.contains(QLatin1String(c.missing))) << boxes.boxes.last().text.toStdString();
        window.reset();
        EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
    }
}

TEST_F(ConsoleTest, ADatabaseLockedPastItsBusyWaitStopsTheStartUp)
{
    QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("holder"));
    holder.setDatabaseName(folder.filePath(QStringLiteral("db/phonebook.db")));
    ASSERT_TRUE(holder.open());
    QSqlQuery lock(holder);
    ASSERT_TRUE(lock.exec(QStringLiteral("BEGIN IMMEDIATE")));
    EXPECT_FALSE(Start());
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(ErrorBoxes(), 1);
    EXPECT_TRUE(boxes.boxes.last().text.contains(QStringLiteral("locked"))) << boxes.boxes.last().text.toStdString();
    lock.exec(QStringLiteral("ROLLBACK"));
    lock = QSqlQuery();
    holder.close();
    holder = QSqlDatabase();
    QSqlDatabase::removeDatabase(QStringLiteral("holder"));
}

TEST_F(ConsoleTest, AMissingLanguageFileLeavesEveryTextEmptyButStarts)
{
    WriteConsoleSettings("Language=xx\n");
    ASSERT_TRUE(Start());
    EXPECT_EQ(ErrorBoxes(), 1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Find<QLabel>("lblUserName")->text(), QStringLiteral(" :"));
    EXPECT_EQ(Find<QLabel>("lblCaption")->text(), QString());
    EXPECT_EQ(Find<QComboBox>("cmbLanguage")->currentIndex(), -1);
}

TEST_F(ConsoleTest, QuitClosesBothDatabasesAndTheWindow)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), 2);
    EXPECT_TRUE(window->state().connApplication.isOpen());
    QTest::mouseClick(Find<QWidget>("btnQuit"), Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->state().connApplication.isOpen());
    EXPECT_FALSE(window->state().connPhonebook.isOpen());
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty());
}

TEST(MessageCounter, CountsLineBreaksOnceAndTakesTheLimitOfTheCodingAsSent)
{
    struct Case {
        QString text;
        qsizetype length;
        qsizetype limit;
        bool fits;
    } cases[] = {
        {QString(), 0, 160, true},
        {QStringLiteral("abc"), 3, 160, true},
        {QStringLiteral("a\r\nb"), 3, 160, true},
        {QStringLiteral("Çay"), 3, 70, true},
        {QStringLiteral("é"), 1, 70, true},
        {QString(160, QLatin1Char('a')), 160, 160, true},
        {QString(161, QLatin1Char('a')), 161, 160, false},
        // The send trims the blanks at both ends before it counts.
        {QString(160, QLatin1Char('a')) + QStringLiteral("  "), 162, 160, true},
        // Outside the GSM alphabet although below code 128: sent as UCS2.
        {QStringLiteral("a`b"), 3, 70, true},
        {QStringLiteral("tab\there"), 8, 70, true},
        // Two septets each.
        {QString(80, QLatin1Char('{')), 80, 160, true},
        {QString(81, QLatin1Char('{')), 81, 160, false},
    };
    for (const Case &c : cases) {
        const MessageCount count = CountMessage(c.text);
        EXPECT_EQ(count.length, c.length) << c.text.toStdString();
        EXPECT_EQ(count.limit, c.limit) << c.text.toStdString();
        EXPECT_EQ(count.fits, c.fits) << c.text.toStdString();
    }
}

TEST_F(ConsoleTest, CounterFollowsTypingAndTurnsRedPastTheLimit)
{
    ASSERT_TRUE(Start());
    window->optTab_Click(3);
    auto *message = Find<QTextEdit>("txtSMSMessage");
    auto *counter = Find<QLabel>("lblFreeCharacters");
    QTest::keyClicks(message, QStringLiteral("Çay"));
    EXPECT_EQ(counter->text(), QStringLiteral("3/70"));
    EXPECT_EQ(counter->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    message->clear();
    QTest::keyClicks(message, QString(70, QLatin1Char('x')));
    QTest::keyClick(message, Qt::Key_Return);
    EXPECT_EQ(counter->text(), QStringLiteral("71/160"));
    QTest::keyClicks(message, QString(89, QLatin1Char('y')));
    EXPECT_EQ(counter->text(), QStringLiteral("160/160"));
    EXPECT_EQ(counter->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    QTest::keyClicks(message, QStringLiteral("z"));
    EXPECT_EQ(counter->text(), QStringLiteral("161/160"));
    EXPECT_EQ(counter->palette().color(QPalette::WindowText), QColor(192, 0, 0));
}
