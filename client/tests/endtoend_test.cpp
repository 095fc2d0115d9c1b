// The client window against the installed service on the simulated modem:
// logins, messages from phones arriving in the lists, and the store that
// outlives the client.
#include "frmmain.h"
#include "headertextedit.h"
#include "pages.h"
#include "uflist.h"

#include "gui/arbutton.h"
#include "programfolder.h"

#include "boxrecorder.h"
#include "text.h"

#include "common/language.h"
#include "platform/inifile.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

class ClientEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        port = freeTcpPort();
        folder.writeServiceSettings({{S(u"port"), QString::number(port)}, {S(u"sms_check_interval"), S(u"5")}});
        AddUser({S(u"--user"), S(u"bob"), S(u"--password"), S(u"bobpw"), S(u"--manual-numbers")});
        AddUser({S(u"--user"), S(u"mod1"), S(u"--password"), S(u"mod1pw"), S(u"--moderator")});
        platform::IniFile ini;
        ini.setIniPath(folder.filePath(S(u"TalvinorSMSClient.ini")));
        ini.WriteValue(S(u"SMSClient"), S(u"Language"), S(u"en"));
        ini.WriteValue(S(u"SMSClient"), S(u"ServerIP"), S(u"127.0.0.1"));
        ini.WriteValue(S(u"SMSClient"), S(u"ServerPort"), QString::number(port));
        // The sound is not what these tests are about.
        ini.WriteValue(S(u"SMSClient"), S(u"Sound"), S(u"0"));

        modem = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(modem->isReady());
        service.reset(folder.newProcess(S(u"TalvinorSMSSvc"), {}));
        service->setStandardOutputFile(QProcess::nullDevice());
        service->setStandardErrorFile(folder.filePath(S(u"service-stderr.log")));
        service->start();
        ASSERT_TRUE(waitUntilListening(port, 20000, service.get()));
        StartClient();
    }

    void TearDown() override
    {
        window.reset();
        if (service) {
            service->terminate();
            EXPECT_TRUE(service->waitForFinished(30000));
        }
        modem.reset();
    }

    void AddUser(QStringList arguments)
    {
        arguments << S(u"--db") << folder.filePath(S(u"db"));
        QProcess add;
        add.start(S(u"" ADDUSER_PROGRAM), arguments);
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
        (void)QTest::qWaitFor([&] { return window->connection->LoggedIn || !window->picAlert->isHidden(); }, 20000);
        return window->connection->LoggedIn;
    }

    bool WaitForInbox(qsizetype count)
    {
        return QTest::qWaitFor([&] { return window->store.InboxMessages.size() >= count; }, 100000);
    }

    QString Folder(const char *user, const char *name) const
    {
        return folder.filePath(S(u"users/%1/%2").arg(QLatin1String(user), QLatin1String(name)));
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
    EXPECT_FALSE(LogIn(S(u"bob"), S(u"wrong")));
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"login_failed")) + S(u"."));

    ASSERT_TRUE(LogIn(S(u"bob"), S(u"bobpw")));
    EXPECT_TRUE(window->pageNewSMS->txtPhoneNumber->isEnabled());
    window->ShowPage(2);
    modem->deliver(S(u"+905557770001"), S(u"bob hello"));
    ASSERT_TRUE(WaitForInbox(1)) << folder.readFile(S(u"TalvinorSMSSvc.log")).constData();
    QTreeWidget *inbox = window->pageInbox->lvInbox;
    ASSERT_EQ(inbox->topLevelItemCount(), 1);
    EXPECT_EQ(inbox->topLevelItem(0)->text(1), S(u"+905557770001"));
    EXPECT_EQ(window->store.UnreadCount, 1);
    const QStringList unread = QDir(Folder("bob", "unread")).entryList(QDir::Files);
    ASSERT_EQ(unread.size(), 1);
    const QString line = Deciphered(Folder("bob", "unread") + QLatin1Char('/') + unread[0]);
    EXPECT_TRUE(line.startsWith(S(u"bob,+905557770001,"))) << qPrintable(line);
    EXPECT_TRUE(line.endsWith(S(u",hello"))) << qPrintable(line);
    EXPECT_EQ(line.section(QLatin1Char(','), 2, 2), inbox->topLevelItem(0)->text(0));

    // A moderator without free numbers gets what names no user.
    ASSERT_TRUE(LogIn(S(u"mod1"), S(u"mod1pw")));
    EXPECT_FALSE(window->pageNewSMS->txtPhoneNumber->isEnabled());
    EXPECT_TRUE(window->store.InboxMessages.isEmpty());
    modem->deliver(S(u"+905557770002"), S(u"Hello gateway"));
    ASSERT_TRUE(WaitForInbox(1));
    EXPECT_EQ(window->store.InboxMessages[0]->UserName(), S(u"Moderator"));
    EXPECT_EQ(window->store.InboxMessages[0]->Message(), S(u"Hello gateway"));

    // A new start rebuilds bob's list from his folders.
    StartClient();
    ASSERT_TRUE(LogIn(S(u"bob"), S(u"bobpw")));
    window->ShowPage(2);
    inbox = window->pageInbox->lvInbox;
    ASSERT_EQ(inbox->topLevelItemCount(), 1);
    EXPECT_EQ(window->store.UnreadCount, 1);

    inbox->setCurrentItem(inbox->topLevelItem(0));
    window->pageInbox->lvInbox_DblClick();
    EXPECT_TRUE(window->pageInbox->txtIncomingSMS->toPlainText().endsWith(S(u"\nhello")));
    EXPECT_EQ(window->store.UnreadCount, 0);
    EXPECT_TRUE(QDir(Folder("bob", "unread")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(QDir(Folder("bob", "inbox")).entryList(QDir::Files).size(), 1);

    window->HideAlert();
    window->imgButton_Click(3);
    inbox->setCurrentItem(inbox->topLevelItem(0));
    QTest::keyClick(inbox, Qt::Key_Delete);
    EXPECT_EQ(inbox->topLevelItemCount(), 0);
    EXPECT_TRUE(QDir(Folder("bob", "inbox")).entryList(QDir::Files).isEmpty());
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, common::LanguageText(S(u"question")));
}

namespace {

// Rows of the phone book, as the console would have put them there.
void AddPhonebookRows(const QString &path, const QStringList &statements)
{
    const QString name = S(u"phonebook-rows");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(S(u"QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << qPrintable(db.lastError().text());
        for (const QString &statement : statements) {
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(statement)) << qPrintable(query.lastError().text());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace

// A search on the phone-book page, a contact, a group and typed numbers
// sent: each number reaches the modem once, under the user's name.
TEST_F(ClientEndToEnd, ASearchAndASendReachEachNumberOnce)
{
    AddPhonebookRows(folder.filePath(S(u"db/phonebook.db")),
                     {S(u"INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) VALUES "
                        "('Ann', 'Smith', 'Acme', '+905551110001'), ('Ben', 'Okur', '', '+905551110002'), "
                        "('Cem', 'Kaya', '', '+905551110003')"),
                      S(u"INSERT INTO Groups (GroupName) VALUES ('Team')"),
                      S(u"INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 2), (1, 3)")});
    ASSERT_TRUE(LogIn(S(u"bob"), S(u"bobpw")));
    window->pageMenu->lblMenu_Click(1);
    QTest::mouseClick(window->pageNewSMS->imgPhonebookButton, Qt::LeftButton);
    ASSERT_EQ(window->currentPage, 7);
    QTest::keyClicks(window->pagePhonebook->txtPhonebookSearch, S(u"ann team"));
    QTest::keyClick(window->pagePhonebook->txtPhonebookSearch, Qt::Key_Return);
    QTreeWidget *list = window->pagePhonebook->lsvPhonebook;
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->topLevelItemCount() == 2; }, 20000));
    EXPECT_EQ(list->topLevelItem(0)->text(0), S(u"Ann Smith Acme"));
    EXPECT_EQ(list->topLevelItem(1)->text(0), S(u"Team (Group)"));
    EXPECT_TRUE(list->topLevelItem(1)->font(0).bold());
    QTest::mouseClick(window->pagePhonebook->lblPhonebookSelectAll, Qt::LeftButton);
    QTest::mouseClick(window->lblSelect, Qt::LeftButton);
    ASSERT_EQ(window->currentPage, 1);
    ASSERT_EQ(window->pageNewSMS->uflContacts->EntryCount(), 2);

    // Ben is typed as well as in the group: he gets the message once.
    QTest::keyClicks(window->pageNewSMS->txtPhoneNumber, S(u"+905551110009,+905551110002"));
    QTest::keyClicks(window->pageNewSMS->txtMessage, S(u"Meeting at 10"));
    QTest::mouseClick(window->lblSelect, Qt::LeftButton);
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"sms_sent")));

    ASSERT_TRUE(modem->waitForSent(4, 100000)) << modem->sentLog().constData();
    // Nothing goes twice: a later request, which queues after these, is
    // sent only once the queue holds nothing before it.
    const QString later = S(u"bob:later");
    window->connection->SendRequest(protocol::CMD_SEND_SMS, S(u"+905551110004^^later"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return modem->sentTexts().contains(later); }, 100000)) << modem->sentLog().constData();
    EXPECT_EQ(modem->sentTexts().value(later), 1);
    QMap<QString, int> numbers;
    for (const QByteArray &line : modem->sentLog().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject sent = QJsonDocument::fromJson(line).object();
        if (sent[S(u"text")].toString() == later)
            continue;
        EXPECT_EQ(sent[S(u"text")].toString(), S(u"bob:Meeting at 10"));
        ++numbers[sent[S(u"number")].toString()];
    }
    EXPECT_EQ(numbers, (QMap<QString, int>{{S(u"+905551110001"), 1}, {S(u"+905551110002"), 1},
                                             {S(u"+905551110003"), 1}, {S(u"+905551110009"), 1}}));

    // The sent copies: one per typed number and entry, listed and opened.
    window->HideAlert();
    window->pageMenu->lblMenu_Click(3);
    QTreeWidget *sent = window->pageSent->lvSent;
    ASSERT_EQ(sent->topLevelItemCount(), 4);
    QStringList recipients;
    for (int i = 0; i < sent->topLevelItemCount(); ++i)
        recipients << sent->topLevelItem(i)->text(1);
    recipients.sort();
    EXPECT_EQ(recipients, (QStringList{S(u"+905551110002"), S(u"+905551110009"), S(u"Ann Smith Acme"), S(u"Team (Group)")}));
    const QPoint first = sent->visualItemRect(sent->topLevelItem(0)).center();
    QTest::mouseClick(sent->viewport(), Qt::LeftButton, {}, first);
    QTest::mouseDClick(sent->viewport(), Qt::LeftButton, {}, first);
    EXPECT_FALSE(window->pageSent->txtSentItem->isHidden());
    EXPECT_TRUE(window->pageSent->txtSentItem->toPlainText().endsWith(S(u"\nMeeting at 10")));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

// A user without free numbers cannot type one.
TEST_F(ClientEndToEnd, AUserWithoutFreeNumbersCannotTypeOne)
{
    AddUser({S(u"--user"), S(u"eve"), S(u"--password"), S(u"evepw")});
    ASSERT_TRUE(LogIn(S(u"eve"), S(u"evepw")));
    window->pageMenu->lblMenu_Click(1);
    QTest::keyClicks(window->pageNewSMS->txtPhoneNumber, S(u"+905551110009"));
    EXPECT_TRUE(window->pageNewSMS->txtPhoneNumber->text().isEmpty());
    EXPECT_FALSE(window->pageNewSMS->txtPhoneNumber->isEnabled());
}
