// The window's login, pushed messages and message lists, against a
// scripted service on a real socket.
#include "frmmain.h"
#include "pages.h"

#include "boxrecorder.h"

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

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

QString Enciphered(qint16 code, const QString &plain)
{
    return protocol::PrepareDataToSend(code, sealkit::clsCipherBase().Encrypt(plain, true));
}

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
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QDir(dir.path()).mkpath(S("lang"));
        for (const char *code : {"en", "tr"})
            QFile::copy(S(CLIENT_LANG_DIR "/%1.ini").arg(QLatin1String(code)), dir.filePath(S("lang/%1.ini").arg(QLatin1String(code))));
        platform::IniFile ini;
        ini.setIniPath(dir.filePath(S("TalvinorSMSClient.ini")));
        ini.WriteValue(S("SMSClient"), S("Language"), S("en"));
        ini.WriteValue(S("SMSClient"), S("ServerIP"), S("127.0.0.1"));
        ini.WriteValue(S("SMSClient"), S("ServerPort"), QString::number(server.serverPort()));
        // The sound is not what these tests are about.
        ini.WriteValue(S("SMSClient"), S("Sound"), S("0"));
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

    QString Users() const { return dir.filePath(S("users")); }

    void Click(QWidget *control) { QTest::mouseClick(control, Qt::LeftButton); }

    // Types the name and password and presses Enter in the password box;
    // returns the service's end and the login message it received.
    QTcpSocket *LogIn(const QString &user, const QString &reply = S("(Connected)|1"))
    {
        window->ShowPage(5);
        window->pageLogin->txtUsername->clear();
        QTest::keyClicks(window->pageLogin->txtUsername, user);
        window->pageLogin->txtPassword->clear();
        QTest::keyClicks(window->pageLogin->txtPassword, S("pw"));
        QTest::keyClick(window->pageLogin->txtPassword, Qt::Key_Return);
        if (!server.waitForNewConnection(10000))
            return nullptr;
        QTcpSocket *socket = server.nextPendingConnection();
        (void)QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000);
        socket->readAll();
        Write(socket, Enciphered(protocol::CMD_LOGIN_REPLY, reply));
        (void)QTest::qWaitFor([&] { return !window->connection->LoginPending; }, 10000);
        return socket;
    }

    void Write(QTcpSocket *socket, const QString &text)
    {
        socket->write(text.toLatin1());
        socket->flush();
    }

    void Push(QTcpSocket *socket, const QString &line)
    {
        const int before = window->pageInbox->lvInbox->topLevelItemCount();
        const qsizetype records = window->store.InboxMessages.size();
        Write(socket, Enciphered(protocol::CMD_NEW_SMS, line));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->store.InboxMessages.size() > records; }, 10000));
        (void)before;
    }

    QStringList Rows(QTreeWidget *list) const
    {
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + S(" ") + list->topLevelItem(i)->text(1);
        return rows;
    }

    QTemporaryDir dir;
    QTcpServer server;
    BoxRecorder boxes;
    std::unique_ptr<frmMain> window;
};

} // namespace

TEST_F(Window, ALoginSetsTheNumberBoxAndAPushIsListedUnreadAtOnce)
{
    QTcpSocket *socket = LogIn(S("bob"), S("(Connected)|0"));
    ASSERT_TRUE(socket);
    ASSERT_TRUE(window->LoggedIn);
    EXPECT_EQ(window->currentPage, 0);
    EXPECT_FALSE(window->pageNewSMS->txtPhoneNumber->isEnabled());
    EXPECT_TRUE(QDir(Users()).exists(S("bob/unread")));

    window->ShowPage(2);
    Push(socket, S("bob,+905557770001,24/01/05 10:00:00,hello"));
    Push(socket, S("Moderator,+905557770002,24/03/01 09:00:00,newer"));
    EXPECT_EQ(Rows(window->pageInbox->lvInbox),
              (QStringList{S("24/03/01 09:00:00 +905557770002"), S("24/01/05 10:00:00 +905557770001")}));
    EXPECT_EQ(window->UnreadCount, 2);
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S("new_sms_message")) + S("!"));
    EXPECT_FALSE(window->picAlert->isHidden());
    window->tmrStatus_Timer();
    EXPECT_FALSE(window->imgNewMsg->pixmap().isNull());
    EXPECT_TRUE(boxes.boxes.isEmpty());

    // Logging in again with free numbers enables the box.
    LogIn(S("bob"), S("(Connected)|1"));
    EXPECT_TRUE(window->pageNewSMS->txtPhoneNumber->isEnabled());
}

TEST_F(Window, OpeningMarksReadAndMovesTheFileOnce)
{
    QTcpSocket *socket = LogIn(S("bob"));
    window->ShowPage(2);
    Push(socket, S("bob,+905557770001,24/01/05 10:00:00,hello|world"));
    QTreeWidget *list = window->pageInbox->lvInbox;
    const QRect row = list->visualItemRect(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row.center());

    EXPECT_TRUE(list->isHidden());
    EXPECT_FALSE(window->pageInbox->txtIncomingSMS->isHidden());
    EXPECT_EQ(window->pageInbox->txtIncomingSMS->toPlainText(),
              S("To: bob\nFrom: +905557770001\nDate: 24/01/05 10:00:00\nhello\nworld"));
    EXPECT_EQ(window->UnreadCount, 0);
    const QStringList inbox = QDir(Users() + S("/bob/inbox")).entryList(QDir::Files);
    ASSERT_EQ(inbox.size(), 1);
    EXPECT_TRUE(QDir(Users() + S("/bob/unread")).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(Deciphered(Users() + S("/bob/inbox/") + inbox[0]), S("bob,+905557770001,24/01/05 10:00:00,hello|world"));

    // Back shows the list again, with the row read; opening again moves nothing.
    window->HideAlert();
    window->imgButton_Click(3);
    EXPECT_FALSE(list->isHidden());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    EXPECT_EQ(QDir(Users() + S("/bob/inbox")).entryList(QDir::Files), inbox);
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_F(Window, DeleteTakesTheRowSelectedWhenAskedThoughAPushMovesIt)
{
    QTcpSocket *socket = LogIn(S("bob"));
    window->ShowPage(2);
    Push(socket, S("bob,+1,24/01/05 10:00:00,keep"));
    Push(socket, S("bob,+2,24/01/04 10:00:00,delete me"));
    QTreeWidget *list = window->pageInbox->lvInbox;
    list->setCurrentItem(list->topLevelItem(1));
    ASSERT_EQ(list->currentItem()->text(1), S("+2"));

    // While the question is open, a newer message arrives and takes row 0.
    QList<common::Box> asked;
    const auto previous = common::SetBoxHandler([&](const common::Box &box) {
        asked << box;
        Push(socket, S("bob,+3,24/06/01 10:00:00,newest"));
        return QMessageBox::Yes;
    });
    QTest::keyClick(list, Qt::Key_Delete);
    common::SetBoxHandler(previous);

    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].text, common::LanguageText(S("are_you_sure_you_want_to_delete")));
    EXPECT_EQ(asked[0].title, common::LanguageText(S("question")));
    EXPECT_EQ(Rows(list), (QStringList{S("24/06/01 10:00:00 +3"), S("24/01/05 10:00:00 +1")}));
    EXPECT_EQ(window->UnreadCount, 2);
    QStringList left;
    for (const QString &name : QDir(Users() + S("/bob/unread")).entryList(QDir::Files))
        left << Deciphered(Users() + S("/bob/unread/") + name).section(QLatin1Char(','), 3);
    left.sort();
    EXPECT_EQ(left, (QStringList{S("keep"), S("newest")}));

    // No is no.
    list->setCurrentItem(list->topLevelItem(0));
    boxes.answers << QMessageBox::No;
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->topLevelItemCount(), 2);
}

TEST_F(Window, TheLoginUsesTheNameAsPressedAndAnotherUserGetsOwnLists)
{
    // bob has a sent copy.
    QTcpSocket *socket = LogIn(S("bob"));
    ASSERT_TRUE(socket);
    window->store.NewSMSSave(S("bob"), S("+905551110001"), S("to Ann"), QDateTime::currentDateTime());
    window->ShowPage(3);
    ASSERT_EQ(window->pageSent->lvSent->topLevelItemCount(), 1);

    // The name box changes after the login button, before the service answers.
    window->ShowPage(5);
    window->pageLogin->txtUsername->setText(S("ann"));
    window->pageLogin->txtPassword->setText(S("pw"));
    window->imgButton_Click(1);
    window->pageLogin->txtUsername->setText(S("zed"));
    ASSERT_TRUE(server.waitForNewConnection(10000));
    QTcpSocket *ann = server.nextPendingConnection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ann->bytesAvailable() > 0 || ann->waitForReadyRead(50); }, 10000));
    const auto login = protocol::DecodeMessage(QString::fromLatin1(ann->readAll()).chopped(1));
    ASSERT_TRUE(login);
    EXPECT_TRUE(login->data.startsWith(S("ann^")));
    Write(ann, Enciphered(protocol::CMD_LOGIN_REPLY, S("(Connected)|1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->LoggedIn; }, 10000));

    platform::IniFile ini;
    ini.setIniPath(window->settingsPath());
    EXPECT_EQ(ini.ReadValue(S("SMSClient"), S("UserName"), QString()), S("ann"));
    EXPECT_TRUE(QDir(Users()).exists(S("ann")));
    EXPECT_FALSE(QDir(Users()).exists(S("zed")));
    // ann's sent folder is empty, so the page is not refilled: it must
    // not show bob's message.
    window->ShowPage(3);
    EXPECT_EQ(window->pageSent->lvSent->topLevelItemCount(), 0);
}

TEST_F(Window, ARefusedLoginShowsTheAlertOnce)
{
    window->ShowPage(5);
    QTest::keyClicks(window->pageLogin->txtUsername, S("bob"));
    window->imgButton_Click(1);
    ASSERT_TRUE(server.waitForNewConnection(10000));
    QTcpSocket *socket = server.nextPendingConnection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->connection->LoginPending; }, 10000));
    socket->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->connection->LoginPending; }, 10000));
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S("login_failed")) + S("."));
    EXPECT_FALSE(window->LoggedIn);

    window->ShowPage(5);
    window->HideAlert();
    window->pageLogin->txtUsername->setText(S("b o b"));
    window->imgButton_Click(1);
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S("use_only_english_characters")));
}

// A name the client refuses never reaches the connection: the box keeps
// what was typed, and the saved login stays in memory and in the file.
TEST_F(Window, ARefusedNameLeavesTheSavedLoginAsItWas)
{
    const QString digest = S("0123456789ABCDEF0123456789ABCDEF");
    platform::IniFile ini;
    ini.setIniPath(window->settingsPath());
    ini.WriteValue(S("SMSClient"), S("UserName"), S("bob"));
    ini.WriteValue(S("SMSClient"), S("SavePassword"), S("1"));
    ini.WriteValue(S("SMSClient"), S("Password"), digest);
    window = std::make_unique<frmMain>(dir.path());
    window->Form_Load();
    boxes.boxes.clear();
    QFile file(window->settingsPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    window->ShowPage(5);
    window->pageLogin->txtUsername->setText(S("bob smith"));
    window->imgButton_Click(1);
    EXPECT_EQ(window->lblAlert->text(), common::LanguageText(S("use_only_english_characters")));
    EXPECT_EQ(window->pageLogin->txtUsername->text(), S("bob smith"));
    EXPECT_EQ(window->settings.userName, S("bob"));
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
    EXPECT_EQ(window->pageLogin->txtUsername->text(), S("bob"));
    EXPECT_EQ(window->pageLogin->txtPassword->text(), digest);
    EXPECT_TRUE(window->pageLogin->chkSavePassword->isChecked());
}
