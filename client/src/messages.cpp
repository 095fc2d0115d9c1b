// The window's side of the login, of pushed messages and of the two
// message lists.
#include "frmmain.h"

#include "pages.h"

#include "clientsound/mdlsound.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "gui/msgbox.h"
#include "gui/place.h"
#include "platform/error.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTreeWidget>
#include <functional>

namespace {

void ReportIn(const char *procedure)
{
    common::LogError(QStringLiteral("frmMain"), QLatin1String(procedure));
}

QString Text(const char *key)
{
    return common::LanguageText(QLatin1String(key));
}

// A list row carries its own record, so what it shows and what an action
// on it reaches are always the same message.
class SmsItem : public QTreeWidgetItem {
public:
    explicit SmsItem(SmsRef message) : record(std::move(message))
    {
        setText(0, record->MessageDate());
        setText(1, record->PhoneNumber());
        ShowState();
    }
    // The date a point smaller, and the other side whole under the pointer;
    // worked out when asked, as a list holds tens of thousands of rows.
    QVariant data(int column, int role) const override
    {
        if (role == Qt::FontRole && column == 0)
            return MessageDateFont(treeWidget()->font());
        if (role == Qt::ToolTipRole && column == 1)
            return gui::PlainToolTip(record->PhoneNumber());
        return QTreeWidgetItem::data(column, role);
    }
    void ShowState()
    {
        // Two icons shared by every row: a list holds tens of thousands.
        static const QIcon unread(QStringLiteral(":/skins/icon-unread.png"));
        static const QIcon read(QStringLiteral(":/skins/icon-read.png"));
        setIcon(0, record->IsUnread ? unread : read);
    }

    SmsRef record;
};

SmsItem *SelectedItem(QTreeWidget *list)
{
    const QList<QTreeWidgetItem *> selected = list->selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<SmsItem *>(selected.constFirst());
}

// True when the rows show exactly these records in this order.
bool ListShows(QTreeWidget *list, const SmsCollection &records)
{
    if (list->topLevelItemCount() != records.size())
        return false;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (static_cast<SmsItem *>(list->topLevelItem(i))->record != records[i])
            return false;
    return true;
}

// Rows for the records; a list that shows them already is kept as it is,
// so a visit of a large inbox costs no refill.
void FillList(QTreeWidget *list, const SmsCollection &records)
{
    if (ListShows(list, records))
        return;
    list->clear();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(records.size());
    for (const SmsRef &record : records)
        rows.append(new SmsItem(record));
    list->addTopLevelItems(rows);
}

void RemoveRowOf(QTreeWidget *list, const SmsRef &record)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (static_cast<SmsItem *>(list->topLevelItem(i))->record == record) {
            delete list->takeTopLevelItem(i);
            return;
        }
}

// Key presses on a list, handed to its KeyDown handler; the list still
// handles them itself.
class KeyDownFilter : public QObject {
public:
    KeyDownFilter(QObject *parent, std::function<void(int)> handler) : QObject(parent), m_handler(std::move(handler)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress)
            m_handler(static_cast<QKeyEvent *>(event)->key());
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(int)> m_handler;
};

} // namespace

void frmMain::ConnectMessageHandlers()
{
    connect(connection, &ServiceConnection::Alert, this,
            [this](const QString &key, const QString &suffix) { ShowAlert(common::LanguageText(key) + suffix); });
    connect(connection, &ServiceConnection::LoginAccepted, this, &frmMain::LoginAccepted);
    connect(connection, &ServiceConnection::NewSMS, this, &frmMain::NewSMSArrived);
    pageInbox->lvInbox->installEventFilter(new KeyDownFilter(this, [this](int key) { lvInbox_KeyDown(key); }));
    pageSent->lvSent->installEventFilter(new KeyDownFilter(this, [this](int key) { lvSent_KeyDown(key); }));
    // Enter in the user-name box goes on to the password; in the password
    // box it is the login button.
    connect(pageLogin->txtUsername, &QLineEdit::returnPressed, this, [this] { pageLogin->txtPassword->setFocus(); });
    connect(pageLogin->txtPassword, &QLineEdit::returnPressed, this, [this] { imgButton_Click(1); });
}

void frmMain::Login()
{
    connection->SettingsPath = settingsPath();
    connection->ServerIP = settings.serverIP;
    connection->ServerPort = settings.serverPort;
    connection->PasswordDigest = settings.passwordDigest;
    // A refused name reaches neither the connection nor the settings.
    if (!connection->Login(pageLogin->txtUsername->text(), pageLogin->txtPassword->text(),
                           pageLogin->chkSavePassword->isChecked()))
        return;
    settings.userName = connection->UserName;
    settings.passwordDigest = connection->PasswordDigest;
    settings.savePassword = connection->SavePassword;
}

void frmMain::LoginAccepted()
{
    try {
        QLineEdit *number = pageNewSMS->txtPhoneNumber;
        if (connection->AllowFreeNumbers == 1) {
            number->setEnabled(true);
        } else {
            number->clear();
            number->setEnabled(false);
        }
        store.OpenMessageStore(connection->UserName);
        // The lists show the new user's store from now on.
        pageInbox->lvInbox->clear();
        pageSent->lvSent->clear();
        imgNewMsg->setPixmap(UnreadCount != 0 ? Picture(12) : QPixmap());
        PrepareNewSMSMessage();
        ShowPage(0);
    } catch (...) {
        ReportIn("ExecuteCommand");
    }
}

void frmMain::NewSMSArrived(const QString &data)
{
    try {
        const qsizetype at = store.KeepPushedSMS(data);
        QTreeWidget *list = pageInbox->lvInbox;
        // A list that shows the inbox takes the one new row in its place;
        // one that does not is filled anew.
        if (list->topLevelItemCount() == store.InboxMessages.size() - 1)
            list->insertTopLevelItem(static_cast<int>(at), new SmsItem(store.InboxMessages[at]));
        else
            RefreshIncomingSMSList();
        if (settings.sound)
            mdlSound::PlayIncomingSound();
        ShowAlert(Text("new_sms_message") + QLatin1Char('!'));
    } catch (...) {
        ReportIn("ExecuteCommand");
    }
}

void frmMain::RefreshIncomingSMSList()
{
    try {
        SortSMS(store.InboxMessages);
        FillList(pageInbox->lvInbox, store.InboxMessages);
    } catch (...) {
        ReportIn("RefreshIncomingSMSList");
    }
}

void frmMain::LoadSMS()
{
    try {
        if (currentPage == 2) {
            RefreshIncomingSMSList();
        } else if (currentPage == 3) {
            SortSMS(store.SentMessages);
            FillList(pageSent->lvSent, store.SentMessages);
        }
    } catch (...) {
        ReportIn("LoadSMS");
    }
}

namespace {

// An opened message: who it is to or from (`userLabel`), the other side
// (`numberLabel`), the date, and the text.
QString OpenedMessageText(const clsSms &record, const char *userLabel, const char *numberLabel)
{
    QString message = record.Message();
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return Text(userLabel) + QStringLiteral(": ") + record.UserName() + QLatin1Char('\n') + Text(numberLabel)
        + QStringLiteral(": ") + record.PhoneNumber() + QLatin1Char('\n') + Text("date") + QStringLiteral(": ")
        + record.MessageDate() + QLatin1Char('\n') + message;
}

} // namespace

void frmMain::lvInbox_DblClick()
{
    try {
        SmsItem *item = SelectedItem(pageInbox->lvInbox);
        if (!item)
            return;
        pageInbox->txtIncomingSMS->setPlainText(OpenedMessageText(*item->record, "to", "from"));
        if (item->record->IsUnread) {
            store.MarkRead(item->record);
            item->ShowState();
        }
        pageInbox->txtIncomingSMS->show();
        pageInbox->lvInbox->hide();
    } catch (...) {
        ReportIn("lvInbox_DblClick");
    }
}

void frmMain::lvSent_DblClick()
{
    try {
        SmsItem *item = SelectedItem(pageSent->lvSent);
        if (!item)
            return;
        pageSent->txtSentItem->setPlainText(OpenedMessageText(*item->record, "from", "to"));
        pageSent->txtSentItem->show();
        pageSent->lvSent->hide();
    } catch (...) {
        ReportIn("lvSent_DblClick");
    }
}

namespace {

// The delete question of both lists. The record is taken before the box
// opens: a push while it is open re-sorts the inbox and moves the rows.
void DeleteSelected(QTreeWidget *list, MessageStore &store)
{
    SmsItem *item = SelectedItem(list);
    if (!item)
        return;
    const SmsRef record = item->record;
    if (gui::MsgBox(QStringLiteral("are_you_sure_you_want_to_delete"), gui::vbYesNoQuestion, QStringLiteral("question"))
        != QMessageBox::Yes)
        return;
    if (store.Delete(record))
        RemoveRowOf(list, record);
}

} // namespace

void frmMain::lvInbox_KeyDown(int keyCode)
{
    try {
        if (keyCode == Qt::Key_Delete)
            DeleteSelected(pageInbox->lvInbox, store);
    } catch (...) {
        ReportIn("lvInbox_KeyDown");
    }
}

void frmMain::lvSent_KeyDown(int keyCode)
{
    try {
        if (keyCode == Qt::Key_Delete)
            DeleteSelected(pageSent->lvSent, store);
    } catch (...) {
        ReportIn("lvSent_KeyDown");
    }
}
