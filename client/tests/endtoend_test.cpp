// The client window against the installed service on the simulated modem:
// logins, messages from phones arriving in the lists, and the store that
// outlives the client.
#include "frmmain.h"
#include "pages.h"
#include "programfolder.h"

#include "boxrecorder.h"

#include "common/language.h"
#include "platform/inifile.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpSocket>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>
#include <signal.h>

namespace {

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

class ClientEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        port = freeTcpPort();
        folder.writeServiceSettings({{S("port"), QString::number(port)}, {S("sms_check_interval"), S("5")}});
        AddUser({S("--user"), S("bob"), S("--password"), S("bobpw"), S("--manual-numbers")});
        AddUser({S("--user"), S("mod1"), S("--password"), S("mod1pw"), S("--moderator")});
        platform::IniFile ini;
        ini.setIniPath(folder.filePath(S("TalvinorSMSClient.ini")));
        ini.WriteValue(S("SMSClient"), S("Language"), S("en"));
        ini.WriteValue(S("SMSClient"), S("ServerIP"), S("127.0.0.1"));
        ini.WriteValue(S("SMSClient"), S("ServerPort"), QString::number(port));
        // The sound is not what these tests are about.
        ini.WriteValue(S("SMSClient"), S("Sound"), S("0"));

        modem = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(modem->isReady());
        service.reset(folder.newProcess(S("TalvinorSMSSvc"), {}));
        service->setStandardOutputFile(QProcess::nullDevice());
        service->setStandardErrorFile(folder.filePath(S("service-stderr.log")));
        service->start();
        ASSERT_TRUE(QTest::qWaitFor([&] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port);
            return probe.waitForConnected(200);
        }, 20000));
        StartClient();
    }

    void TearDown() override
    {
        window.reset();
        if (service) {
            ::kill(static_cast<pid_t>(service->processId()), SIGTERM);
            EXPECT_TRUE(service->waitForFinished(30000));
        }
        modem.reset();
    }

    void AddUser(QStringList arguments)
    {
        arguments << S("--db") << folder.filePath(S("db"));
        QProcess add;
        add.start(S(ADDUSER_PROGRAM), arguments);
        ASSERT_TRUE(add.waitForFinished(30000));
        ASSERT_EQ(add.exitCode(), 0) << add.readAllStandardError().constData();
    }

    void StartClient()
    {
        window.reset();
        window = std::make_unique<frmMain>(folder.path());
        window->Form_Load();
    }

    // Logs in from the login page; true when the service accepted.
    bool LogIn(const QString &user, const QString &password)
    {
        window->HideAlert();
        window->ShowPage(5);
        window->pageLogin->txtUsername->setText(user);
        window->pageLogin->txtPassword->clear();
        QTest::keyClicks(window->pageLogin->txtPassword, password);
        QTest::keyClick(window->pageLogin->txtPassword, Qt::Key_Return);
        (void)QTest::qWaitFor([&] { return window->LoggedIn || !window->picAlert->isHidden(); }, 20000);
        return window->LoggedIn;
    }

    bool WaitForInbox(qsizetype count)
    {
        return QTest::qWaitFor([&] { return window->store.InboxMessages.size() >= count; }, 100000);
    }

    QString Folder(const char *user, const char *name) const
    {
        return folder.filePath(S("users/%1/%2").arg(QLatin1String(user), QLatin1String(name)));
    }

    static QString Deciphered(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(QString::fromLatin1(f.readLine().trimmed())), false);
    }

    ProgramFolder folder;
    quint16 port = 0;
    std::unique_ptr<SimulatedModem> modem;
    std::unique_ptr<QProcess> service;
    BoxRecorder boxes;
    std::unique_ptr<frmMain> window;
};

} // namespace

TEST_F(ClientEndToEnd, LoginsPushesARestartAndTheLists)
{
    EXPECT_FALSE(LogIn(S("bob"), S("wrong")));
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S("login_failed")) + S("."));

    ASSERT_TRUE(LogIn(S("bob"), S("bobpw")));
    EXPECT_TRUE(window->pageNewSMS->txtPhoneNumber->isEnabled());
    window->ShowPage(2);
    modem->deliver(S("+905557770001"), S("bob hello"));
    ASSERT_TRUE(WaitForInbox(1)) << folder.readFile(S("TalvinorSMSSvc.log")).constData();
    QTreeWidget *inbox = window->pageInbox->lvInbox;
    ASSERT_EQ(inbox->topLevelItemCount(), 1);
    EXPECT_EQ(inbox->topLevelItem(0)->text(1), S("+905557770001"));
    EXPECT_EQ(window->UnreadCount, 1);
    const QStringList unread = QDir(Folder("bob", "unread")).entryList(QDir::Files);
    ASSERT_EQ(unread.size(), 1);
    const QString line = Deciphered(Folder("bob", "unread") + QLatin1Char('/') + unread[0]);
    EXPECT_TRUE(line.startsWith(S("bob,+905557770001,"))) << qPrintable(line);
    EXPECT_TRUE(line.endsWith(S(",hello"))) << qPrintable(line);
    EXPECT_EQ(line.section(QLatin1Char(','), 2, 2), inbox->topLevelItem(0)->text(0));

    // A moderator without free numbers gets what names no user.
    ASSERT_TRUE(LogIn(S("mod1"), S("mod1pw")));
    EXPECT_FALSE(window->pageNewSMS->txtPhoneNumber->isEnabled());
    EXPECT_TRUE(window->store.InboxMessages.isEmpty());
    modem->deliver(S("+905557770002"), S("Hello gateway"));
    ASSERT_TRUE(WaitForInbox(1));
    EXPECT_EQ(window->store.InboxMessages[0]->UserName(), S("Moderator"));
    EXPECT_EQ(window->store.InboxMessages[0]->Message(), S("Hello gateway"));

    // A new start rebuilds bob's list from his folders.
    StartClient();
    ASSERT_TRUE(LogIn(S("bob"), S("bobpw")));
    window->ShowPage(2);
    inbox = window->pageInbox->lvInbox;
    ASSERT_EQ(inbox->topLevelItemCount(), 1);
    EXPECT_EQ(window->UnreadCount, 1);

    inbox->setCurrentItem(inbox->topLevelItem(0));
    window->lvInbox_DblClick();
    EXPECT_TRUE(window->pageInbox->txtIncomingSMS->toPlainText().endsWith(S("\nhello")));
    EXPECT_EQ(window->UnreadCount, 0);
    EXPECT_TRUE(QDir(Folder("bob", "unread")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(QDir(Folder("bob", "inbox")).entryList(QDir::Files).size(), 1);

    window->HideAlert();
    window->imgButton_Click(3);
    inbox->setCurrentItem(inbox->topLevelItem(0));
    QTest::keyClick(inbox, Qt::Key_Delete);
    EXPECT_EQ(inbox->topLevelItemCount(), 0);
    EXPECT_TRUE(QDir(Folder("bob", "inbox")).entryList(QDir::Files).isEmpty());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, common::LanguageText(S("question")));
}
