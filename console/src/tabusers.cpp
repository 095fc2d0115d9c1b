#include "tabusers.h"

#include "contactlists.h"
#include "controls.h"
#include "frmmain.h"
#include "storedtext.h"

#include "common/errorlog.h"
#include "common/language.h"
#include "common/md5.h"
#include "gui/arbutton.h"
#include "gui/msgbox.h"
#include "store/alphabet.h"
#include "store/databasefiles.h"

#include <QApplication>
#include <QCheckBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int UserNameLimit = 10;
constexpr int TextLimit = 32;

const QString UsersQuery = QStringLiteral("SELECT ID, TRIM(FirstName || ' ' || LastName) FROM Users ORDER BY ")
    + AlphabeticalOrder({QStringLiteral("FirstName"), QStringLiteral("LastName")}, QStringLiteral("ID"));

int Flag(const QCheckBox *box)
{
    return box->isChecked() ? 1 : 0;
}

QString ShownText(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

// A Null flag grants nothing at login, so it shows clear.
bool Ticked(const QVariant &value)
{
    return !value.isNull() && value.toLongLong() != 0;
}

// The limit holds for typing; a longer stored value is still shown, and so
// saved, whole.
void ShowStored(QLineEdit *box, const QString &text, int limit)
{
    box->setMaxLength(std::max(limit, static_cast<int>(text.size())));
    box->setText(text);
}

void Empty(QLineEdit *box, int limit)
{
    box->clear();
    box->setMaxLength(limit);
}

} // namespace

UsersTab::UsersTab(frmMain &owner) : QFrame(&owner), m_owner(owner)
{
    lblUsers = Place<QLabel>(this, "lblUsers", 10, 8, 200, 16);
    lstUsers = Place<QListWidget>(this, "lstUsers", 10, 26, 200, 262);
    lstUsers->setSortingEnabled(false);
    lstUsers->setSelectionMode(QAbstractItemView::SingleSelection);

    lblUserName = Place<QLabel>(this, "lblUserName", 225, 28, 130, 20);
    txtUserName = Place<QLineEdit>(this, "txtUserName", 360, 26, 190, 22);
    txtUserName->setMaxLength(UserNameLimit);
    txtUserName->installEventFilter(this);
    lblUserPassword = Place<QLabel>(this, "lblUserPassword", 225, 56, 130, 20);
    txtUserPassword = Place<QLineEdit>(this, "txtUserPassword", 360, 54, 190, 22);
    txtUserPassword->setMaxLength(TextLimit);
    txtUserPassword->setEchoMode(QLineEdit::Password);
    txtUserPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    lblUserFirstName = Place<QLabel>(this, "lblUserFirstName", 225, 84, 130, 20);
    txtUserFirstName = Place<QLineEdit>(this, "txtUserFirstName", 360, 82, 190, 22);
    txtUserFirstName->setMaxLength(TextLimit);
    lblUserLastName = Place<QLabel>(this, "lblUserLastName", 225, 112, 130, 20);
    txtUserLastName = Place<QLineEdit>(this, "txtUserLastName", 360, 110, 190, 22);
    txtUserLastName->setMaxLength(TextLimit);
    chkUserModeratorAccess = Place<QCheckBox>(this, "chkUserModeratorAccess", 225, 142, 325, 20);
    chkUserManualNumberPermission = Place<QCheckBox>(this, "chkUserManualNumberPermission", 225, 166, 325, 20);

    btnAddUser = Place<gui::ARButton>(this, "btnAddUser", 225, 200, 160, 28);
    btnEditUser = Place<gui::ARButton>(this, "btnEditUser", 390, 200, 160, 28);
    btnDeleteUser = Place<gui::ARButton>(this, "btnDeleteUser", 225, 234, 160, 28);
    btnClearFormUser = Place<gui::ARButton>(this, "btnClearFormUser", 390, 234, 160, 28);

    connect(btnAddUser, &gui::ARButton::clicked, this, &UsersTab::btnAddUser_Click);
    connect(btnEditUser, &gui::ARButton::clicked, this, &UsersTab::btnEditUser_Click);
    connect(btnDeleteUser, &gui::ARButton::clicked, this, &UsersTab::btnDeleteUser_Click);
    connect(btnClearFormUser, &gui::ARButton::clicked, this, &UsersTab::btnClearFormUser_Click);
    // A row is picked by the mouse, the keyboard or the code alike; a click
    // on the highlighted row loads it again once the form shows another.
    connect(lstUsers, &QListWidget::itemSelectionChanged, this, &UsersTab::lstUsers_Click);
    connect(lstUsers, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) {
        if (item->isSelected() && selectedUserID != QString::number(RowID(item)))
            lstUsers_Click();
    });
}

bool UsersTab::InitUsers()
{
    try {
        selectedUserID.clear();
        RefreshUsers();
        if (lstUsers->count() > 0)
            lstUsers->setCurrentRow(0);
        return true;
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("InitUsers"));
        return false;
    }
}

void UsersTab::RefreshUsers()
{
    RefreshListBox(m_owner.state().connApplication, lstUsers, UsersQuery);
}

void UsersTab::SelectUserItem(const QString &id)
{
    const int row = RowOfID(lstUsers, id);
    if (row < 0)
        return;
    lstUsers->setCurrentRow(row);
    selectedUserID = id;
}

bool UsersTab::txtUserName_KeyPress(QChar typed)
{
    // Control characters (Backspace, Ctrl+V, Enter) insert no letter.
    return typed.unicode() < 0x20 || typed.unicode() == 0x7f
        || (typed >= QLatin1Char('a') && typed <= QLatin1Char('z')) || (typed >= QLatin1Char('A') && typed <= QLatin1Char('Z'))
        || (typed >= QLatin1Char('0') && typed <= QLatin1Char('9'));
}

void UsersTab::txtUserName_Validate(bool &cancel)
{
    cancel = !CheckUserName();
}

bool UsersTab::CheckUserName()
{
    if (IsEnglishName(txtUserName->text()))
        return true;
    // The box may take the focus from the name box; one warning at a time.
    if (!m_warningShown) {
        m_warningShown = true;
        gui::MsgBox(QStringLiteral("use_only_english_characters_and_no_space"), gui::vbExclamation, QStringLiteral("warning"));
        m_warningShown = false;
    }
    return false;
}

bool UsersTab::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != txtUserName)
        return QFrame::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent *>(event)->text();
        return !std::all_of(typed.begin(), typed.end(), &UsersTab::txtUserName_KeyPress);
    }
    if (event->type() == QEvent::FocusOut && !m_warningShown) {
        // Only a move to another field of this form asks for a valid name:
        // minimizing, quitting, another tab or a box leave it alone, and
        // Add and Edit check the name themselves.
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        QWidget *next = QApplication::focusWidget();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason || !next || !isAncestorOf(next)
            || qobject_cast<gui::ARButton *>(next) || !txtUserName->isVisible())
            return false;
        bool cancel = false;
        txtUserName_Validate(cancel);
        if (cancel)
            QTimer::singleShot(0, txtUserName, [this] { txtUserName->setFocus(Qt::OtherFocusReason); });
    }
    return false;
}

bool UsersTab::UserNameTaken(const QString &name, qint64 exceptID)
{
    QSqlQuery count = RunStatement(m_owner.state().connApplication,
                                   QStringLiteral("SELECT COUNT(*) FROM Users WHERE UserName = ? AND ID <> ?"), {name, exceptID});
    return NextRow(count) && count.value(0).toLongLong() > 0;
}

void UsersTab::RefuseTakenName()
{
    gui::MsgBox(QStringLiteral("user_name_already_exists"), gui::vbExclamation, QStringLiteral("warning"));
    txtUserName->setFocus(Qt::OtherFocusReason);
}

void UsersTab::btnAddUser_Click()
{
    try {
        const QString password = txtUserPassword->text();
        if (txtUserName->text().isEmpty() || IsEmptyPassword(password) || txtUserFirstName->text().isEmpty())
            return;
        if (!CheckUserName())
            return;
        const QSqlDatabase &db = m_owner.state().connApplication;
        const QString name = StoredText(txtUserName->text());
        {
            Transaction transaction(db);
            // No row has the ID 0, so every row counts.
            if (UserNameTaken(name, 0)) {
                transaction.Rollback();
                RefuseTakenName();
                return;
            }
            RunStatement(db,
                         QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, "
                                        "ManualNumberPermission) VALUES (?, ?, ?, ?, ?, ?)"),
                         {name, common::PasswordDigest(password), StoredText(txtUserFirstName->text()),
                          StoredText(txtUserLastName->text()), Flag(chkUserModeratorAccess), Flag(chkUserManualNumberPermission)});
            transaction.Commit();
        }
        selectedUserID.clear();
        RefreshUsers();
    } catch (...) {
        ReportError("btnAddUser_Click");
    }
}

void UsersTab::btnEditUser_Click()
{
    try {
        if (selectedUserID.isEmpty() || txtUserName->text().isEmpty() || txtUserFirstName->text().isEmpty())
            return;
        if (!CheckUserName())
            return;
        const QSqlDatabase &db = m_owner.state().connApplication;
        const QString name = StoredText(txtUserName->text());
        const qint64 id = selectedUserID.toLongLong();
        const QString password = txtUserPassword->text();
        {
            Transaction transaction(db);
            // Rows that already share a name can still be mended: only a
            // new name must be free.
            QSqlQuery same = RunStatement(db, QStringLiteral("SELECT COUNT(*) FROM Users WHERE ID = ? AND UserName = ?"), {id, name});
            const bool renamed = !(NextRow(same) && same.value(0).toLongLong() > 0);
            same.finish();
            if (renamed && UserNameTaken(name, id)) {
                transaction.Rollback();
                RefuseTakenName();
                return;
            }
            RunStatement(db,
                         QStringLiteral("UPDATE Users SET UserName = ?, FirstName = ?, LastName = ?, ModeratorAccess = ?, "
                                        "ManualNumberPermission = ? WHERE ID = ?"),
                         {name, StoredText(txtUserFirstName->text()), StoredText(txtUserLastName->text()),
                          Flag(chkUserModeratorAccess), Flag(chkUserManualNumberPermission), id});
            if (!IsEmptyPassword(password))
                RunStatement(db, QStringLiteral("UPDATE Users SET UserPassword = ? WHERE ID = ?"),
                             {common::PasswordDigest(password), id});
            transaction.Commit();
        }
        const QString kept = selectedUserID;
        selectedUserID.clear();
        RefreshUsers();
        SelectUserItem(kept);
    } catch (...) {
        ReportError("btnEditUser_Click");
    }
}

void UsersTab::btnDeleteUser_Click()
{
    try {
        if (selectedUserID.isEmpty())
            return;
        // The prompt names the user that is deleted.
        if (!YouWantToDelete(RowName(lstUsers, selectedUserID)))
            return;
        RunWrite(m_owner.state().connApplication, QStringLiteral("DELETE FROM Users WHERE ID = ?"), {selectedUserID.toLongLong()});
        selectedUserID.clear();
        RefreshUsers();
        btnClearFormUser_Click();
    } catch (...) {
        ReportError("btnDeleteUser_Click");
    }
}

void UsersTab::btnClearFormUser_Click()
{
    selectedUserID.clear();
    Empty(txtUserName, UserNameLimit);
    Empty(txtUserPassword, TextLimit);
    Empty(txtUserFirstName, TextLimit);
    Empty(txtUserLastName, TextLimit);
    chkUserModeratorAccess->setChecked(false);
    chkUserManualNumberPermission->setChecked(false);
    lstUsers->clearSelection();
    lstUsers->setCurrentRow(-1);
}

void UsersTab::lstUsers_Click()
{
    try {
        const int row = HighlightedRow(lstUsers);
        if (row < 0)
            return;
        selectedUserID = QString::number(RowID(lstUsers->item(row)));
        QSqlQuery user = RunStatement(
            m_owner.state().connApplication,
            QStringLiteral("SELECT UserName, FirstName, LastName, ModeratorAccess, ManualNumberPermission FROM Users WHERE ID = ?"),
            {selectedUserID.toLongLong()});
        if (!NextRow(user))
            return;
        ShowStored(txtUserName, ShownText(user.value(0)), UserNameLimit);
        Empty(txtUserPassword, TextLimit);
        ShowStored(txtUserFirstName, ShownText(user.value(1)), TextLimit);
        ShowStored(txtUserLastName, ShownText(user.value(2)), TextLimit);
        chkUserModeratorAccess->setChecked(Ticked(user.value(3)));
        chkUserManualNumberPermission->setChecked(Ticked(user.value(4)));
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("lstUsers_Click"));
    }
}

void UsersTab::RefillAfterFailure()
{
    try {
        const QSignalBlocker quiet(lstUsers);
        RefreshUsers();
        const int row = RowOfID(lstUsers, selectedUserID);
        if (row < 0)
            selectedUserID.clear();
        else
            lstUsers->setCurrentRow(row);
    } catch (...) {
        common::LogError(QStringLiteral("frmMain"), QStringLiteral("RefreshListBox"));
    }
}

void UsersTab::ReportError(const char *procedure)
{
    common::LogError(QStringLiteral("frmMain"), QLatin1String(procedure));
    RefillAfterFailure();
}
