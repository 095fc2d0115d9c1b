#pragma once

#include <QFrame>

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

    void InitUsers();

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
};
