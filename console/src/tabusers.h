#pragma once

#include <QFrame>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class frmMain;
namespace gui { class ARButton; }

// Tab 0: the user accounts of application.db.
class UsersTab : public QFrame {
    Q_OBJECT
public:
    explicit UsersTab(frmMain &owner);

    // Fills the list and loads its first user into the form. False, after
    // the error has been reported, when the list cannot be filled.
    bool InitUsers();
    // Highlights the row of the user `id`, which loads it into the form.
    void SelectUserItem(const QString &id);

    void btnAddUser_Click();
    void btnEditUser_Click();
    void btnDeleteUser_Click();
    void btnClearFormUser_Click();
    // Loads the highlighted user into the form from the database.
    void lstUsers_Click();
    // False swallows the typed character.
    static bool txtUserName_KeyPress(QChar typed);
    // Before the name box loses the focus: a name with other characters
    // than English letters and digits is refused with a warning and
    // `cancel` keeps the focus in the box.
    void txtUserName_Validate(bool &cancel);

    // The ID of the user in the form; "" for none. Edit and Delete act on it.
    QString selectedUserID;

    QLabel *lblUsers;
    QListWidget *lstUsers;
    QLabel *lblUserName;
    QLineEdit *txtUserName;
    QLabel *lblUserPassword;
    QLineEdit *txtUserPassword;
    QLabel *lblUserFirstName;
    QLineEdit *txtUserFirstName;
    QLabel *lblUserLastName;
    QLineEdit *txtUserLastName;
    QCheckBox *chkUserModeratorAccess;
    QCheckBox *chkUserManualNumberPermission;
    gui::ARButton *btnAddUser;
    gui::ARButton *btnEditUser;
    gui::ARButton *btnDeleteUser;
    gui::ARButton *btnClearFormUser;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void RefreshUsers();
    // Shows the warning once when the name box holds a name that cannot
    // log in; false then.
    bool CheckUserName();
    bool UserNameTaken(const QString &name, qint64 exceptID);
    void RefuseTakenName();
    // After a failed action: the list as the database holds it, with the
    // form's user highlighted again and the form as it was typed.
    void RefillAfterFailure();
    void ReportError(const char *procedure);

    frmMain &m_owner;
    bool m_warningShown = false;
};
