#include "consoletest.h"

#include "tabsettings.h"

#include "platform/inifile.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTimeEdit>

namespace {

QStringList Rows(QComboBox *selector)
{
    QStringList rows;
    for (int i = 0; i < selector->count(); ++i)
        rows << selector->itemText(i);
    return rows;
}

} // namespace

class SettingsTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        Write(QStringLiteral("TalvinorSMSSvc.ini"),
              "; written by hand\n[Service Settings]\nport=16395\n; bulk hours\nallowed_time_interval=00:00,23:59\n"
              "sms_check_interval=60\n[Other]\nkept=yes\n");
    }

    void Save()
    {
        window->optTab_Click(4);
        QTest::mouseClick(Find<QWidget>("btnSettingsSave"), Qt::LeftButton);
    }

    // What a fresh reader of the file sees.
    QString Value(const char *file, const char *section, const char *key) const
    {
        platform::IniFile ini;
        ini.setIniPath(folder.filePath(QLatin1String(file)));
        return ini.ReadValue(QLatin1String(section), QLatin1String(key), QStringLiteral("<missing>"));
    }
    QString ServiceValue(const char *key) const { return Value("TalvinorSMSSvc.ini", "Service Settings", key); }
    QString ConsoleValue(const char *key) const { return Value("TalvinorSMSServer.ini", "SMSServer", key); }

    void PutLanguageFile(const QString &name, const QByteArray &bytes) const { Write(QStringLiteral("lang/") + name, bytes); }
};

TEST_F(SettingsTest, LanguagesAreListedSortedAndTheCurrentOneSelected)
{
    QFile::copy(folder.filePath(QStringLiteral("lang/tr.ini")), folder.filePath(QStringLiteral("lang/tr2.ini")));
    QFile::copy(folder.filePath(QStringLiteral("lang/en.ini")), folder.filePath(QStringLiteral("lang/EN.INI")));
    QFile::copy(folder.filePath(QStringLiteral("lang/en.ini")), folder.filePath(QStringLiteral("lang/.ini")));
    ASSERT_TRUE(Start());
    auto *languages = Find<QComboBox>("cmbLanguage");
    EXPECT_EQ(Rows(languages), (QStringList{QStringLiteral("English (English)"), QStringLiteral("Türkçe (Turkish)"),
                                            QStringLiteral("Türkçe (Turkish)")}));
    EXPECT_EQ(window->settings->languageCodes, (QStringList{QStringLiteral("en"), QStringLiteral("tr"), QStringLiteral("tr")}));
    // Two files of one code: the later one is selected.
    EXPECT_EQ(languages->currentIndex(), 2);
}

TEST_F(SettingsTest, AnUnreadableLanguageFileIsReportedAndLeftOut)
{
    PutLanguageFile(QStringLiteral("bad.ini"), QByteArray("\xFF\xFE" "a\0=", 5));
    ASSERT_TRUE(Start());
    EXPECT_EQ(ErrorBoxes(), 1);
    EXPECT_EQ(window->settings->languageCodes, (QStringList{QStringLiteral("en"), QStringLiteral("tr")}));
    EXPECT_EQ(Find<QComboBox>("cmbLanguage")->currentIndex(), 1);
}

TEST_F(SettingsTest, AMissingLangFolderIsReportedAndTheConsoleStillStarts)
{
    ASSERT_TRUE(QDir(folder.filePath(QStringLiteral("lang"))).removeRecursively());
    ASSERT_TRUE(Start());
    // One report from loading the texts, one from listing the languages.
    EXPECT_EQ(ErrorBoxes(), 2);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Find<QComboBox>("cmbLanguage")->count(), 0);
}

TEST_F(SettingsTest, SavingNewHoursRewritesTheOtherValuesAndKeepsTheRestOfTheFile)
{
    ASSERT_TRUE(Start());
    auto *caption = Find<QLabel>("lblCaption");
    caption->setText(QStringLiteral("not reloaded"));
    TypeTime(Find<QTimeEdit>("dtpEndTime"), QStringLiteral("18"), QStringLiteral("00"));
    ASSERT_EQ(Find<QTimeEdit>("dtpEndTime")->time(), QTime(18, 0));
    Save();

    EXPECT_EQ(ServiceValue("allowed_time_interval"), QStringLiteral("00:00,18:00"));
    const QByteArray service = folder.readFile(QStringLiteral("TalvinorSMSSvc.ini"));
    for (const char *kept : {"; written by hand", "port=16395", "; bulk hours", "sms_check_interval=60", "[Other]", "kept=yes"})
        EXPECT_TRUE(service.contains(kept)) << kept << "\n" << service.constData();
    EXPECT_EQ(ConsoleValue("Language"), QStringLiteral("tr"));
    EXPECT_EQ(ConsoleValue("Alpha"), QStringLiteral("230"));
    EXPECT_EQ(caption->text(), QStringLiteral("not reloaded"));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("Ayarlar kaydedildi."));
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Bilgi"));
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
}

TEST_F(SettingsTest, HoursAreStoredAsTheyAreAcrossMidnightAndWhenEqual)
{
    ASSERT_TRUE(Start());
    for (auto [start, end, stored] : {std::tuple{"22", "06", "22:00,06:00"}, std::tuple{"07", "07", "07:00,07:00"}}) {
        TypeTime(Find<QTimeEdit>("dtpStartTime"), QLatin1String(start), QStringLiteral("00"));
        TypeTime(Find<QTimeEdit>("dtpEndTime"), QLatin1String(end), QStringLiteral("00"));
        Save();
        EXPECT_EQ(ServiceValue("allowed_time_interval"), QLatin1String(stored));
    }
}

TEST_F(SettingsTest, TheHighTransparencyRowIsSavedAndAppliedAtOnce)
{
    ASSERT_TRUE(Start());
    auto *opacity = Find<QComboBox>("cmbWindowTransparency");
    opacity->setFocus();
    QTest::keyClick(opacity, Qt::Key_Down);
    ASSERT_EQ(opacity->currentIndex(), 2);
    Save();
    EXPECT_EQ(ConsoleValue("Alpha"), QStringLiteral("200"));
    EXPECT_EQ(window->state().windowAlpha, 200);
    EXPECT_NEAR(window->windowOpacity(), 200 / 255.0, 0.005);
}

TEST_F(SettingsTest, AnotherLanguageReloadsEveryTextBeforeTheMessage)
{
    ASSERT_TRUE(Start());
    auto *languages = Find<QComboBox>("cmbLanguage");
    auto *opacity = Find<QComboBox>("cmbWindowTransparency");
    languages->setFocus();
    QTest::keyClick(languages, Qt::Key_Up);
    ASSERT_EQ(languages->currentText(), QStringLiteral("English (English)"));
    Save();
    EXPECT_EQ(ConsoleValue("Language"), QStringLiteral("en"));
    EXPECT_EQ(common::languageCode, QStringLiteral("en"));
    EXPECT_EQ(Find<QLabel>("lblCaption")->text(), QStringLiteral("Talvinor SMS Server"));
    EXPECT_EQ(Rows(opacity), (QStringList{QStringLiteral("None"), QStringLiteral("Low"), QStringLiteral("High")}));
    EXPECT_EQ(opacity->currentIndex(), 1);
    EXPECT_EQ(opacity->itemData(0).toInt(), 255);
    EXPECT_EQ(opacity->itemData(1).toInt(), 230);
    EXPECT_EQ(opacity->itemData(2).toInt(), 200);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].text, QStringLiteral("The settings are saved."));
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Information"));
}

TEST_F(SettingsTest, WithoutALanguageRowTheOtherSettingsAreStillSaved)
{
    WriteConsoleSettings("Language=xx\nAlpha=255\n");
    ASSERT_TRUE(Start());
    boxes.boxes.clear();
    ASSERT_EQ(Find<QComboBox>("cmbLanguage")->currentIndex(), -1);
    TypeTime(Find<QTimeEdit>("dtpStartTime"), QStringLiteral("09"), QStringLiteral("30"));
    Save();
    EXPECT_EQ(ConsoleValue("Language"), QStringLiteral("xx"));
    EXPECT_EQ(ConsoleValue("Alpha"), QStringLiteral("255"));
    EXPECT_EQ(ServiceValue("allowed_time_interval"), QStringLiteral("09:30,23:59"));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
}

TEST_F(SettingsTest, AFailedWriteIsReportedAndWhatTheConsoleHoldsMatchesTheFiles)
{
    struct Case {
        const char *blocked;
        const char *language;
        int alpha;
    } cases[] = {
        // The service's file cannot be written: the console's own values are saved and in use.
        {"TalvinorSMSSvc.ini", "en", 200},
        // The console's file cannot be written: nothing changes.
        {"TalvinorSMSServer.ini", "tr", 230},
    };
    for (const Case &c : cases) {
        ProgramFolder fresh;
        window = std::make_unique<frmMain>(fresh.path());
        ASSERT_TRUE(window->Form_Load());
        const QString blocked = fresh.filePath(QLatin1String(c.blocked));
        ASSERT_TRUE(QFile::remove(blocked));
        ASSERT_TRUE(QDir(fresh.path()).mkdir(QLatin1String(c.blocked)));
        boxes.boxes.clear();

        Find<QComboBox>("cmbLanguage")->setCurrentIndex(0);
        Find<QComboBox>("cmbWindowTransparency")->setCurrentIndex(2);
        Save();
        ASSERT_EQ(boxes.boxes.size(), 1) << c.blocked;
        EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("Error")) << c.blocked;
        EXPECT_EQ(common::languageCode, QLatin1String(c.language)) << c.blocked;
        EXPECT_EQ(window->state().windowAlpha, c.alpha) << c.blocked;
        EXPECT_NEAR(window->windowOpacity(), c.alpha / 255.0, 0.005) << c.blocked;
        EXPECT_EQ(window->state().iniConsole.ReadValue(QStringLiteral("SMSServer"), QStringLiteral("Alpha"), QStringLiteral("230")),
                  QString::number(c.alpha)) << c.blocked;
    }
}

// The pickers take typed times as the designed ones do: a click picks the
// hour or the minute part, typing replaces it and a full hour moves on to
// the minutes.
TEST_F(SettingsTest, ThePickersTakeTypedTimes)
{
    ASSERT_TRUE(Start());
    window->optTab_Click(4);
    auto *picker = Find<QTimeEdit>("dtpStartTime");
    auto *text = picker->findChild<QLineEdit *>();
    ASSERT_NE(text, nullptr);
    const auto at = [text](const char *part) {
        // "HH:mm" from the left: inside the hour's digits or the minutes'.
        const QString before = QLatin1String(part) == QLatin1String("hour") ? QStringLiteral("0") : QStringLiteral("00:0");
        return QPoint(text->contentsRect().left() + 2 + text->fontMetrics().horizontalAdvance(before), text->height() / 2);
    };
    const struct {
        const char *part;  // the part clicked
        const char *typed;
        QTime time;
    } cases[] = {
        {"hour", "17", QTime(17, 0)},
        {"hour", "1730", QTime(17, 30)},
        {"hour", "8", QTime(8, 0)},
        {"hour", "815", QTime(8, 15)},
        {"hour", "2", QTime(2, 0)},
        {"hour", "23", QTime(23, 0)},
        {"hour", "2459", QTime(4, 59)},
        {"minute", "45", QTime(0, 45)},
        {"minute", "5", QTime(0, 5)},
        {"minute", "4512", QTime(0, 12)},
    };
    for (const auto &c : cases) {
        picker->setTime(QTime(0, 0));
        Find<QWidget>("picFocus")->setFocus();
        QTest::mouseClick(text, Qt::LeftButton, Qt::NoModifier, at(c.part));
        QTest::keyClicks(picker, QLatin1String(c.typed));
        EXPECT_EQ(picker->time(), c.time) << c.part << " " << c.typed;
    }
    // What is typed is what is saved.
    picker->setTime(QTime(0, 0));
    auto *end = Find<QTimeEdit>("dtpEndTime");
    QTest::mouseClick(end->findChild<QLineEdit *>(), Qt::LeftButton, Qt::NoModifier, at("hour"));
    QTest::keyClicks(end, QStringLiteral("1"));
    Save();
    EXPECT_EQ(ServiceValue("allowed_time_interval"), QStringLiteral("00:00,01:59"));
}
