// The window's login, pushed messages and message lists, against a
// scripted service on a real socket.
#include "frmmain.h"
#include "pages.h"

#include "boxrecorder.h"
#include "scriptedservice.h"
#include "text.h"

#include "common/language.h"
#include "platform/inifile.h"
#include "protocol/protocol.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <memory>

namespace {

QString Deciphered(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(QString::fromLatin1(f.readLine().trimmed())), false);
}

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(service.isListening());
        QDir(dir.path()).mkpath(S(u"lang"));
        for (const char *code : {"en", "tr"})
            QFile::copy(S(u"" CLIENT_LANG_DIR "/%1.ini").arg(QLatin1String(code)), dir.filePath(S(u"lang/%1.ini").arg(QLatin1String(code))));
        platform::IniFile ini;
        ini.setIniPath(dir.filePath(S(u"TalvinorSMSClient.ini")));
        ini.WriteValue(S(u"SMSClient"), S(u"Language"), S(u"en"));
        ini.WriteValue(S(u"SMSClient"), S(u"ServerIP"), S(u"127.0.0.1"));
        ini.WriteValue(S(u"SMSClient"), S(u"ServerPort"), QString::number(service.port()));
        // The sound is not what these tests are about.
        ini.WriteValue(S(u"SMSClient"), S(u"Sound"), S(u"0"));
        window = std::make_unique<frmMain>(dir.path());
        window->Form_Load();
        // This folder has no sound file, which start-up reports; the boxes
        // that count are those after it.
        boxes.boxes.clear();
    }

    void TearDown() override
    {
        window.reset();
    }

    QString Users() const { return dir.filePath(S(u"users")); }

    void Click(QWidget *control) { QTest::mouseClick(control, Qt::LeftButton); }

    // Types the name and password and presses Enter in the password box;
    // returns the service's end and the login message it received.
    QTcpSocket *LogIn(const QString &user, const QString &reply = S(u"(Connected)|1"))
    {
        window->ShowPage(5);
        window->pageLogin->txtUsername->clear();
        QTest::keyClicks(window->pageLogin->txtUsername, user);
        window->pageLogin->txtPassword->clear();
        QTest::keyClicks(window->pageLogin->txtPassword, S(u"pw"));
        QTest::keyClick(window->pageLogin->txtPassword, Qt::Key_Return);
        QTcpSocket *socket = service.Accept();
        if (!socket)
            return nullptr;
        (void)QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000);
        socket->readAll();
        service.SendEnciphered(socket, protocol::CMD_LOGIN_REPLY, reply);
        (void)QTest::qWaitFor([&] { return !window->connection->LoginPending; }, 10000);
        return socket;
    }

    void Push(QTcpSocket *socket, const QString &line)
    {
        const int before = window->pageInbox->lvInbox->topLevelItemCount();
        const qsizetype records = window->store.InboxMessages.size();
        service.SendEnciphered(socket, protocol::CMD_NEW_SMS, line);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->store.InboxMessages.size() > records; }, 10000));
        (void)before;
    }

    QStringList Rows(QTreeWidget *list) const
    {
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + S(u" ") + list->topLevelItem(i)->text(1);
        return rows;
    }

    QTemporaryDir dir;
    ScriptedService service;
    BoxRecorder boxes;
    std::unique_ptr<frmMain> window;
};

} // namespace

TEST_F(Window, ALoginSetsTheNumberBoxAndAPushIsListedUnreadAtOnce)
{
    QTcpSocket *socket = LogIn(S(u"bob"), S(u"(Connected)|0"));
    ASSERT_TRUE(socket);
    ASSERT_TRUE(window->connection->LoggedIn);
    EXPECT_EQ(window->currentPage, 0);
    EXPECT_FALSE(window->pageNewSMS->txtPhoneNumber->isEnabled());
    EXPECT_TRUE(QDir(Users()).exists(S(u"bob/unread")));

    window->ShowPage(2);
    Push(socket, S(u"bob,+905557770001,24/01/05 10:00:00,hello"));
    Push(socket, S(u"Moderator,+905557770002,24/03/01 09:00:00,newer"));
    EXPECT_EQ(Rows(window->pageInbox->lvInbox),
              (QStringList{S(u"24/03/01 09:00:00 +905557770002"), S(u"24/01/05 10:00:00 +905557770001")}));
    EXPECT_EQ(window->store.UnreadCount, 2);
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"new_sms_message")) + S(u"!"));
    EXPECT_FALSE(window->picAlert->isHidden());
    window->tmrStatus_Timer();
    EXPECT_FALSE(window->imgNewMsg->pixmap().isNull());
    EXPECT_TRUE(boxes.boxes.isEmpty());

    // Logging in again with free numbers enables the box.
    LogIn(S(u"bob"), S(u"(Connected)|1"));
    EXPECT_TRUE(window->pageNewSMS->txtPhoneNumber->isEnabled());
}

TEST_F(Window, OpeningMarksReadAndMovesTheFileOnce)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    window->ShowPage(2);
    Push(socket, S(u"bob,+905557770001,24/01/05 10:00:00,hello|world"));
    QTreeWidget *list = window->pageInbox->lvInbox;
    const QRect row = list->visualItemRect(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());

    EXPECT_TRUE(list->isHidden());
    EXPECT_FALSE(window->pageInbox->txtIncomingSMS->isHidden());
    EXPECT_EQ(window->pageInbox->txtIncomingSMS->toPlainText(),
              S(u"To: bob\nFrom: +905557770001\nDate: 24/01/05 10:00:00\nhello\nworld"));
    EXPECT_EQ(window->store.UnreadCount, 0);
    const QStringList inbox = QDir(Users() + S(u"/bob/inbox")).entryList(QDir::Files);
    ASSERT_EQ(inbox.size(), 1);
    EXPECT_TRUE(QDir(Users() + S(u"/bob/unread")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(Deciphered(Users() + S(u"/bob/inbox/") + inbox[0]), S(u"bob,+905557770001,24/01/05 10:00:00,hello|world"));

    // Back shows the list again, with the row read; opening again moves nothing.
    window->HideAlert();
    window->imgButton_Click(3);
    EXPECT_FALSE(list->isHidden());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_EQ(QDir(Users() + S(u"/bob/inbox")).entryList(QDir::Files), inbox);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Window, DeleteTakesTheRowSelectedWhenAskedThoughAPushMovesIt)
{
    QTcpSocket *socket = LogIn(S(u"bob"));
    window->ShowPage(2);
    Push(socket, S(u"bob,+1,24/01/05 10:00:00,keep"));
    Push(socket, S(u"bob,+2,24/01/04 10:00:00,delete me"));
    QTreeWidget *list = window->pageInbox->lvInbox;
    list->setCurrentItem(list->topLevelItem(1));
    ASSERT_EQ(list->currentItem()->text(1), S(u"+2"));

    // While the question is open, a newer message arrives and takes row 0.
    QList<common::Box> asked;
    const auto previous = common::SetBoxHandler([&](const common::Box &box) {
        asked << box;
        Push(socket, S(u"bob,+3,24/06/01 10:00:00,newest"));
        return QMessageBox::Yes;
    });
    QTest::keyClick(list, Qt::Key_Delete);
    common::SetBoxHandler(previous);

    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].text, common::LanguageText(S(u"are_you_sure_you_want_to_delete")));
    EXPECT_EQ(asked[0].title, common::LanguageText(S(u"question")));
    EXPECT_EQ(Rows(list), (QStringList{S(u"24/06/01 10:00:00 +3"), S(u"24/01/05 10:00:00 +1")}));
    EXPECT_EQ(window->store.UnreadCount, 2);
    QStringList left;
    for (const QString &name : QDir(Users() + S(u"/bob/unread")).entryList(QDir::Files))
        left << Deciphered(Users() + S(u"/bob/unread/") + name).section(QLatin1Char(','), 3);
    left.sort();
    EXPECT_EQ(left, (QStringList{S(u"keep"), S(u"newest")}));

    // No is no.
    list->setCurrentItem(list->topLevelItem(0));
    boxes.answers << QMessageBox::No;
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->topLevelItemCount(), 2);
}

TEST_F(Window, TheLoginUsesTheNameAsPressedAndAnotherUserGetsOwnLists)
{
    // bob has a sent copy.
    QTcpSocket *socket = LogIn(S(u"bob"));
    ASSERT_TRUE(socket);
    window->store.NewSMSSave(S(u"bob"), S(u"+905551110001"), S(u"to Ann"), QDateTime::currentDateTime());
    window->ShowPage(3);
    ASSERT_EQ(window->pageSent->lvSent->topLevelItemCount(), 1);

    // The name box changes after the login button, before the service answers.
    window->ShowPage(5);
    window->pageLogin->txtUsername->setText(S(u"ann"));
    window->pageLogin->txtPassword->setText(S(u"pw"));
    window->imgButton_Click(1);
    window->pageLogin->txtUsername->setText(S(u"zed"));
    QTcpSocket *ann = service.Accept();
    ASSERT_TRUE(ann);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ann->bytesAvailable() > 0 || ann->waitForReadyRead(50); }, 10000));
    const auto login = protocol::DecodeMessage(QString::fromLatin1(ann->readAll()).chopped(1));
    ASSERT_TRUE(login);
    EXPECT_TRUE(login->data.startsWith(S(u"ann^")));
    service.SendEnciphered(ann, protocol::CMD_LOGIN_REPLY, S(u"(Connected)|1"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->connection->LoggedIn; }, 10000));

    platform::IniFile ini;
    ini.setIniPath(window->settingsPath());
    EXPECT_EQ(ini.ReadValue(S(u"SMSClient"), S(u"UserName"), QString()), S(u"ann"));
    EXPECT_TRUE(QDir(Users()).exists(S(u"ann")));
    EXPECT_FALSE(QDir(Users()).exists(S(u"zed")));
    // ann's sent folder is empty, so the page is not refilled: it must
    // not show bob's message.
    window->ShowPage(3);
    EXPECT_EQ(window->pageSent->lvSent->topLevelItemCount(), 0);
}

TEST_F(Window, ARefusedLoginShowsTheAlertOnce)
{
    window->ShowPage(5);
    QTest::keyClicks(window->pageLogin->txtUsername, S(u"bob"));
    window->imgButton_Click(1);
    QTcpSocket *socket = service.Accept();
    ASSERT_TRUE(socket);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000));
    socket->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->connection->LoginPending; }, 10000));
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"login_failed")) + S(u"."));
    EXPECT_FALSE(window->connection->LoggedIn);

    window->ShowPage(5);
    window->HideAlert();
    window->pageLogin->txtUsername->setText(S(u"b o b"));
    window->imgButton_Click(1);
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"use_only_english_characters")));
}

// A name the client refuses never reaches the connection: the box keeps
// what was typed, and the saved login stays in memory and in the file.
TEST_F(Window, ARefusedNameLeavesTheSavedLoginAsItWas)
{
    const QString digest = S(u"0123456789ABCDEF0123456789ABCDEF");
    platform::IniFile ini;
    ini.setIniPath(window->settingsPath());
    ini.WriteValue(S(u"SMSClient"), S(u"UserName"), S(u"bob"));
    ini.WriteValue(S(u"SMSClient"), S(u"SavePassword"), S(u"1"));
    ini.WriteValue(S(u"SMSClient"), S(u"Password"), digest);
    window = std::make_unique<frmMain>(dir.path());
    window->Form_Load();
    boxes.boxes.clear();
    QFile file(window->settingsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    window->ShowPage(5);
    window->pageLogin->txtUsername->setText(S(u"bob smith"));
    window->imgButton_Click(1);
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S(u"use_only_english_characters")));
    EXPECT_EQ(window->pageLogin->txtUsername->text(), S(u"bob smith"));
    EXPECT_EQ(window->settings.userName, S(u"bob"));
    EXPECT_TRUE(window->settings.savePassword);
    EXPECT_EQ(window->settings.passwordDigest, digest);
    // No connection was even tried.
    EXPECT_EQ(window->connection->wClient(), nullptr);

    window->HideAlert();
    window->ShowPage(4);
    window->imgButton_Click(1);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    // The login page shows the saved login again.
    window->ShowPage(5);
    EXPECT_EQ(window->pageLogin->txtUsername->text(), S(u"bob"));
    EXPECT_EQ(window->pageLogin->txtPassword->text(), digest);
    EXPECT_TRUE(window->pageLogin->chkSavePassword->isChecked());
}
