#include "clienttest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>

namespace {

using Settings = ClientTest;

QStringList KeysInOrder(const QByteArray &file)
{
    QStringList keys;
    for (const QByteArray &line : file.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            keys.append(QString::fromLatin1(line.left(equals)));
    }
    return keys;
}

} // namespace

TEST_F(Settings, WithoutAFileEveryKeyTakesItsDefault)
{
    Start();
    const ClientSettings &s = window->settings;
    EXPECT_EQ(s.languageCode, QStringLiteral("tr"));
    EXPECT_EQ(s.serverIP, QString());
    EXPECT_EQ(s.serverPort, 4500);
    EXPECT_EQ(s.userName, QString());
    EXPECT_FALSE(s.savePassword);
    EXPECT_EQ(s.alpha, 230);
    EXPECT_TRUE(s.sound);
    EXPECT_NEAR(window->windowOpacity(), 230 / 255.0, 0.005);
    EXPECT_FALSE(QFile::exists(SettingsPath())) << "reading never writes";
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("users"))).isDir());
    EXPECT_TRUE(ErrorBoxes().isEmpty()) << ErrorBoxes().join(QLatin1Char('\n')).toStdString();
}

TEST_F(Settings, KeysAreReadByTheirLeadingNumberAndAlphaIsKeptWithinItsRange)
{
    struct Case {
        QByteArray keys;
        qint16 alpha;
        qint32 port;
        bool savePassword;
        bool sound;
    } cases[] = {
        {"Alpha=100\r\n", 200, 4500, false, true},
        {"Alpha=300\r\n", 255, 4500, false, true},
        {"Alpha=x\r\n", 200, 4500, false, true},
        {"Alpha=99999999999\r\nServerPort=99999999999\r\n", 255, 0, false, true},
        {"Alpha=-99999999999\r\nServerPort=-99999999999\r\n", 200, 0, false, true},
        {"ServerPort=4500abc\r\n", 230, 4500, false, true},
        {"ServerPort= 16395\r\n", 230, 16395, false, true},
        {"ServerPort=\r\n", 230, 0, false, true},
        {"SavePassword=1\r\nSound=0\r\n", 230, 4500, true, false},
        {"SavePassword=abc\r\nSound=abc\r\n", 230, 4500, false, false},
        {"SavePassword=2x\r\nSound=\r\n", 230, 4500, true, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys.toStdString());
        WriteSettings(c.keys);
        const QByteArray before = Read(QStringLiteral("TalvinorSMSClient.ini"));
        const ClientSettings s = ReadSettings(SettingsPath());
        EXPECT_EQ(s.alpha, c.alpha);
        EXPECT_EQ(s.serverPort, c.port);
        EXPECT_EQ(s.savePassword, c.savePassword);
        EXPECT_EQ(s.sound, c.sound);
        EXPECT_EQ(Read(QStringLiteral("TalvinorSMSClient.ini")), before);
    }
}

TEST_F(Settings, WildNumbersStillStartOnTheLoginPage)
{
    WriteSettings("Alpha=99999999999999999999999\r\nServerPort=123456789012345678901234567890\r\n");
    Start();
    EXPECT_EQ(window->settings.alpha, 255);
    EXPECT_EQ(window->settings.serverPort, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(VisiblePage(), 5);
    EXPECT_TRUE(window->trayIcon && window->trayIcon->isVisible());
    EXPECT_TRUE(ErrorBoxes().isEmpty());
}

TEST_F(Settings, PasswordIsReadOnlyWhileItIsSaved)
{
    WriteSettings("UserName=bob\r\nPassword=0123456789ABCDEF0123456789ABCDEF\r\n");
    EXPECT_EQ(ReadSettings(SettingsPath()).passwordDigest, QString());
    WriteSettings("UserName=bob\r\nSavePassword=1\r\nPassword=0123456789ABCDEF0123456789ABCDEF\r\n");
    EXPECT_EQ(ReadSettings(SettingsPath()).passwordDigest, QStringLiteral("0123456789ABCDEF0123456789ABCDEF"));
}

TEST_F(Settings, SaveSettingsWritesItsKeysInOrderAndNeverAlpha)
{
    ClientSettings s;
    s.languageCode = QStringLiteral("en");
    s.serverIP = QStringLiteral("gateway.local");
    s.serverPort = 16395;
    s.userName = QStringLiteral("bob");
    s.sound = false;
    s.passwordDigest = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
    SaveSettings(SettingsPath(), s);
    const QByteArray file = Read(QStringLiteral("TalvinorSMSClient.ini"));
    EXPECT_EQ(KeysInOrder(file), QStringList({QStringLiteral("Language"), QStringLiteral("ServerIP"), QStringLiteral("ServerPort"),
                                              QStringLiteral("UserName"), QStringLiteral("Sound"), QStringLiteral("Password"),
                                              QStringLiteral("SavePassword")}));
    // A digest is written only while the password is to be kept.
    EXPECT_TRUE(file.contains("\nPassword=\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("SavePassword=0")) << file.toStdString();
    EXPECT_TRUE(file.contains("ServerPort=16395")) << file.toStdString();
    EXPECT_TRUE(file.contains("Sound=0")) << file.toStdString();
    const ClientSettings back = ReadSettings(SettingsPath());
    EXPECT_EQ(back.languageCode, s.languageCode);
    EXPECT_EQ(back.serverIP, s.serverIP);
    EXPECT_EQ(back.serverPort, s.serverPort);
    EXPECT_EQ(back.userName, s.userName);
    EXPECT_FALSE(back.sound);
}

TEST_F(Settings, AFileThatHoldsADigestIsReadableByItsOwnerOnly)
{
    ClientSettings s;
    SaveSettings(SettingsPath(), s);
    EXPECT_TRUE(QFileInfo(SettingsPath()).permissions().testFlag(QFileDevice::ReadOther));
    s.savePassword = true;
    s.passwordDigest = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
    SaveSettings(SettingsPath(), s);
    const QFileDevice::Permissions permissions = QFileInfo(SettingsPath()).permissions();
    EXPECT_FALSE(permissions & (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther));
    EXPECT_TRUE(Read(QStringLiteral("TalvinorSMSClient.ini")).contains("Password=0123456789ABCDEF0123456789ABCDEF"));
    // Written again by the login, the file stays closed to others.
    platform::IniFile ini;
    ini.setIniPath(SettingsPath());
    ini.WriteValue(SettingsSection, QStringLiteral("UserName"), QStringLiteral("alice"));
    EXPECT_FALSE(QFileInfo(SettingsPath()).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther));
}

// A login keeps the password in memory only; it reaches the file when the
// settings page is saved.
TEST_F(Settings, ASavedPasswordFillsTheLoginPageOnlyAfterTheSettingsWereSaved)
{
    const QString digest = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
    WriteSettings("UserName=bob\r\n");
    Start();
    window->settings.savePassword = true;
    window->settings.passwordDigest = digest;
    window->close();
    Start();
    EXPECT_EQ(Find<QLineEdit>(QStringLiteral("txtPassword"))->text(), QString());
    EXPECT_FALSE(Find<QCheckBox>(QStringLiteral("chkSavePassword"))->isChecked());
    EXPECT_EQ(window->focusWidget(), Find<QLineEdit>(QStringLiteral("txtPassword"))) << "a known user name starts in the password";

    window->settings.savePassword = true;
    window->settings.passwordDigest = digest;
    window->ShowPage(4);
    window->imgButton_Click(1);
    window->close();
    Start();
    EXPECT_EQ(Find<QLineEdit>(QStringLiteral("txtUsername"))->text(), QStringLiteral("bob"));
    EXPECT_EQ(Find<QLineEdit>(QStringLiteral("txtPassword"))->text(), digest);
    EXPECT_TRUE(Find<QCheckBox>(QStringLiteral("chkSavePassword"))->isChecked());
}

TEST_F(Settings, TheSettingsPageSavesHostPortAndSound)
{
    WriteSettings("ServerIP=127.0.0.1\r\nServerPort=16395\r\nAlpha=210\r\n");
    Start();
    window->ShowPage(4);
    auto *host = Find<QLineEdit>(QStringLiteral("txtServerIP"));
    auto *port = Find<QLineEdit>(QStringLiteral("txtServerPort"));
    EXPECT_EQ(host->text(), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(port->text(), QStringLiteral("16395"));
    EXPECT_EQ(Find<QComboBox>(QStringLiteral("cboSound"))->currentIndex(), 0);
    host->clear();
    QTest::keyClicks(host, QStringLiteral("gateway.local"));
    port->clear();
    QTest::keyClicks(port, QStringLiteral("4600abc"));
    Find<QComboBox>(QStringLiteral("cboSound"))->setCurrentIndex(1);
    QTest::mouseClick(window->imgButton[1], Qt::LeftButton);

    const QByteArray file = Read(QStringLiteral("TalvinorSMSClient.ini"));
    EXPECT_TRUE(file.contains("ServerIP=gateway.local")) << file.toStdString();
    EXPECT_TRUE(file.contains("ServerPort=4600\n")) << file.toStdString();
    EXPECT_TRUE(file.contains("Sound=0")) << file.toStdString();
    EXPECT_TRUE(file.contains("Alpha=210")) << file.toStdString();
    EXPECT_EQ(window->currentPage, 0);
    EXPECT_FALSE(window->picAlert->isHidden());
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(QStringLiteral("settings_saved")));
}

TEST_F(Settings, TheLanguageListHoldsIniFilesByNameWithoutRegardToCase)
{
    WriteLanguage(QStringLiteral("de.ini"), QStringLiteral("language_global_name=German\nlanguage_local_name=Deutsch\nlanguage_initials=de\n"));
    WriteLanguage(QStringLiteral("TR.INI"), QStringLiteral("language_global_name=Shouted\nlanguage_initials=TR\n"));
    WriteLanguage(QStringLiteral(".ini"), QStringLiteral("language_global_name=Nameless\nlanguage_initials=none\n"));
    WriteSettings("Language=en\r\n");
    Start();
    auto *languages = Find<QComboBox>(QStringLiteral("cboLanguage"));
    QStringList entries;
    for (int i = 0; i < languages->count(); ++i)
        entries.append(languages->itemText(i));
    EXPECT_EQ(entries, QStringList({QStringLiteral("Deutsch (German)"), QStringLiteral("English (English)"), QStringLiteral("Türkçe (Turkish)")}));
    EXPECT_EQ(window->pageSettings->languageCodes, QStringList({QStringLiteral("de"), QStringLiteral("en"), QStringLiteral("tr")}));
    EXPECT_EQ(languages->currentIndex(), 1);
}

TEST_F(Settings, WithoutALangFolderTheListsStayEmptyAndTheFailureIsReported)
{
    ASSERT_TRUE(QDir(folder.filePath(QStringLiteral("lang"))).removeRecursively());
    Start();
    EXPECT_EQ(Find<QComboBox>(QStringLiteral("cboLanguage"))->count(), 0);
    EXPECT_EQ(Find<QComboBox>(QStringLiteral("cboSound"))->currentIndex(), -1);
    const QStringList errors = ErrorBoxes();
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.last().contains(QStringLiteral("InitSettings"))) << errors.join(QLatin1Char('\n')).toStdString();
    // Still usable: on the login page, with its tray icon.
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(VisiblePage(), 5);
    EXPECT_TRUE(window->trayIcon->isVisible());
}
