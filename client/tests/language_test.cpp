#include "clienttest.h"

#include "gui/arbutton.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTreeWidget>

namespace {

using Language = ClientTest;

// Every key the client looks up.
const char *const ClientKeys[] = {
    "talvinor_sms_client", "home", "back", "username", "password", "new_sms_message", "inbox", "sent_items", "settings",
    "login", "server_ip_host", "port", "language", "sound", "save_my_password", "incoming_sms_messages", "phonenumber",
    "message", "phonebook", "name", "select_all", "clear_all", "toggle", "on", "off", "menu", "please_login_first",
    "send", "save", "select", "settings_saved", "use_only_english_characters", "login_failed", "connection_lost",
    "connection_failed", "message_is_too_long", "phonenumber_or_message_is_empty", "sms_sent",
    "are_you_sure_you_want_to_delete", "question", "from", "to", "date",
};

// What SetLanguage puts where, as (text now shown, key).
QList<std::pair<QString, const char *>> Targets(const frmMain &w)
{
    QList<std::pair<QString, const char *>> targets{
        {w.windowTitle(), "talvinor_sms_client"},
        {w.lblHome->text(), "home"},
        {w.lblBack->text(), "back"},
        {w.pageLogin->lblLogin[0]->text(), "username"},
        {w.pageLogin->lblLogin[1]->text(), "password"},
        {w.pageSettings->lblConfig[0]->text(), "server_ip_host"},
        {w.pageSettings->lblConfig[1]->text(), "port"},
        {w.pageSettings->lblConfig[2]->text(), "language"},
        {w.pageSettings->lblConfig[3]->text(), "sound"},
        {w.pageLogin->chkSavePassword->text(), "save_my_password"},
        {w.pageInbox->lblIncomingSMS->text(), "incoming_sms_messages"},
        {w.pageSent->lblSentItems->text(), "sent_items"},
        {w.pageNewSMS->lblNewSMS[0]->text(), "phonenumber"},
        {w.pageNewSMS->lblNewSMS[1]->text(), "message"},
        {w.pageNewSMS->imgPhonebookButton->toolTip(), "phonebook"},
        {w.pagePhonebook->lsvPhonebook->headerItem()->text(0), "name"},
        {w.pagePhonebook->lsvPhonebook->headerItem()->text(1), "phonenumber"},
        {w.pagePhonebook->lblPhonebookSelectAll->text(), "select_all"},
        {w.pagePhonebook->lblPhonebookClearAll->text(), "clear_all"},
        {w.pagePhonebook->lblPhonebookToggle->text(), "toggle"},
        {w.pageSettings->cboSound->itemText(0), "on"},
        {w.pageSettings->cboSound->itemText(1), "off"},
        {w.pageNames.value(0), "menu"},
        {w.pageNames.value(1), "new_sms_message"},
        {w.pageNames.value(2), "inbox"},
        {w.pageNames.value(3), "sent_items"},
        {w.pageNames.value(4), "settings"},
        {w.pageNames.value(5), "login"},
        {w.pageNames.value(7), "phonebook"},
    };
    const char *const menu[] = {"new_sms_message", "inbox", "sent_items", "settings", "login"};
    for (int i = 1; i <= 5; ++i)
        targets.append({w.pageMenu->lblMenu[i]->text(), menu[i - 1]});
    return targets;
}

// The key and text of each line of a built language file.
QList<std::pair<QString, QString>> Lines(const QString &path)
{
    QList<std::pair<QString, QString>> lines;
    QString key;
    QString value;
    for (const QString &line : common::ReadUnicodeLines(path)) {
        if (common::CutLanguageLine(line, key, value))
            lines.append({key, value});
    }
    return lines;
}

} // namespace

TEST_F(Language, BothShippedFilesHoldEveryClientKeyExactlyOnce)
{
    for (const char *code : {"tr", "en"}) {
        SCOPED_TRACE(code);
        const auto lines = Lines(folder.filePath(QStringLiteral("lang/%1.ini").arg(QLatin1String(code))));
        for (const char *key : ClientKeys) {
            const auto count = std::count_if(lines.begin(), lines.end(), [key](const auto &l) { return l.first == QLatin1String(key); });
            EXPECT_EQ(count, 1) << key;
        }
        common::languageFolder = folder.filePath(QStringLiteral("lang"));
        common::languageCode = QLatin1String(code);
        common::ReadUnicodeLang();
        for (const char *key : ClientKeys)
            EXPECT_FALSE(common::LanguageText(QLatin1String(key)).isEmpty()) << key;
    }
    EXPECT_TRUE(ErrorBoxes().isEmpty()) << ErrorBoxes().join(QLatin1Char('\n')).toStdString();
}

TEST_F(Language, EveryTargetTakesItsText)
{
    for (const char *code : {"tr", "en"}) {
        SCOPED_TRACE(code);
        WriteSettings(QByteArray("Language=") + code + "\r\n");
        Start();
        for (const auto &[shown, key] : Targets(*window))
            EXPECT_EQ(shown, common::LanguageText(QLatin1String(key))) << key;
    }
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Talvinor SMS Client"));
}

TEST_F(Language, AFileWithoutTheTitleKeyGivesAnEmptyTitle)
{
    WriteLanguage(QStringLiteral("xx.ini"), QStringLiteral("language_initials=xx\nhome=Start\n"));
    WriteSettings("Language=xx\r\n");
    Start();
    EXPECT_EQ(window->windowTitle(), QString());
    EXPECT_EQ(window->trayIcon->toolTip(), QString());
    EXPECT_EQ(window->lblHome->text(), QStringLiteral("Start"));
    EXPECT_EQ(window->lblBack->text(), QString());
    EXPECT_TRUE(ErrorBoxes().isEmpty());
}

TEST_F(Language, SavingAnotherLanguageChangesEveryTargetButNotTheTrayTip)
{
    Start();
    const QString trayTip = window->trayIcon->toolTip();
    window->ShowPage(4);
    auto *languages = Find<QComboBox>(QStringLiteral("cboLanguage"));
    languages->setCurrentIndex(window->pageSettings->languageCodes.indexOf(QStringLiteral("en")));
    QTest::mouseClick(window->lblSelect, Qt::LeftButton);

    EXPECT_EQ(common::languageCode, QStringLiteral("en"));
    for (const auto &[shown, key] : Targets(*window))
        EXPECT_EQ(shown, common::LanguageText(QLatin1String(key))) << key;
    EXPECT_EQ(window->lblHome->text(), QStringLiteral("Home"));
    EXPECT_EQ(window->trayIcon->toolTip(), trayTip);
    EXPECT_EQ(window->lblPage->text(), QStringLiteral("Menu"));
    EXPECT_EQ(window->lblAlert->text(), QStringLiteral("The settings are saved"));
    EXPECT_TRUE(Read(QStringLiteral("TalvinorSMSClient.ini")).contains("Language=en"));
    // The language box keeps its entries.
    EXPECT_EQ(languages->itemText(languages->currentIndex()), QStringLiteral("English (English)"));
}

TEST_F(Language, SavingTheSameLanguageDoesNotReloadTheTexts)
{
    WriteSettings("Language=en\r\n");
    Start();
    WriteLanguage(QStringLiteral("en.ini"), QStringLiteral("language_initials=en\nhome=Changed on disk\n"));
    window->ShowPage(4);
    QTest::mouseClick(window->imgButton[1], Qt::LeftButton);
    EXPECT_EQ(window->lblHome->text(), QStringLiteral("Home"));
    EXPECT_EQ(window->lblAlert->text(), QStringLiteral("The settings are saved"));
    EXPECT_TRUE(Read(QStringLiteral("TalvinorSMSClient.ini")).contains("Language=en"));
}

TEST_F(Language, TextsAreShownAsTheyStandNeverAsMarkup)
{
    const QString bold = QStringLiteral("<b>Home</b>");
    WriteLanguage(QStringLiteral("xx.ini"), QStringLiteral("language_initials=xx\nhome=<b>Home</b>\nphonebook=<i>Book</i>\n"
                                                          "please_login_first=<u>Log in</u>\n"));
    WriteSettings("Language=xx\r\n");
    Start();
    EXPECT_EQ(window->lblHome->text(), bold);
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (!label->text().isEmpty()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        }
    }
    const QString tip = window->pageNewSMS->imgPhonebookButton->toolTip();
    EXPECT_TRUE(tip.contains(QStringLiteral("&lt;i&gt;Book&lt;/i&gt;"))) << tip.toStdString();
    window->ShowPage(2);
    EXPECT_EQ(window->lblAlert->textFormat(), Qt::PlainText);
    EXPECT_EQ(window->lblAlert->text(), QStringLiteral("<u>Log in</u>."));
}
