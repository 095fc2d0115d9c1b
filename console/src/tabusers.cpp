#include "tabusers.h"

#include "controls.h"
#include "frmmain.h"
#include "gui/arbutton.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>

UsersTab::UsersTab(frmMain &owner) : QFrame(&owner)
{
    lblUsers = Place<QLabel>(this, "lblUsers", 10, 8, 200, 16);
    lstUsers = Place<QListWidget>(this, "lstUsers", 10, 26, 200, 262);

    lblUserName = Place<QLabel>(this, "lblUserName", 225, 28, 130, 20);
    txtUserName = Place<QLineEdit>(this, "txtUserName", 360, 26, 190, 22);
    txtUserName->setMaxLength(10);
    lblUserPassword = Place<QLabel>(this, "lblUserPassword", 225, 56, 130, 20);
    txtUserPassword = Place<QLineEdit>(this, "txtUserPassword", 360, 54, 190, 22);
    txtUserPassword->setMaxLength(32);
    txtUserPassword->setEchoMode(QLineEdit::Password);
    lblUserFirstName = Place<QLabel>(this, "lblUserFirstName", 225, 84, 130, 20);
    txtUserFirstName = Place<QLineEdit>(this, "txtUserFirstName", 360, 82, 190, 22);
    txtUserFirstName->setMaxLength(32);
    lblUserLastName = Place<QLabel>(this, "lblUserLastName", 225, 112, 130, 20);
    txtUserLastName = Place<QLineEdit>(this, "txtUserLastName", 360, 110, 190, 22);
    txtUserLastName->setMaxLength(32);
    chkUserModeratorAccess = Place<QCheckBox>(this, "chkUserModeratorAccess", 225, 142, 325, 20);
    chkUserManualNumberPermission = Place<QCheckBox>(this, "chkUserManualNumberPermission", 225, 166, 325, 20);

    btnAddUser = Place<gui::ARButton>(this, "btnAddUser", 225, 200, 160, 28);
    btnEditUser = Place<gui::ARButton>(this, "btnEditUser", 390, 200, 160, 28);
    btnDeleteUser = Place<gui::ARButton>(this, "btnDeleteUser", 225, 234, 160, 28);
    btnClearFormUser = Place<gui::ARButton>(this, "btnClearFormUser", 390, 234, 160, 28);
}

void UsersTab::InitUsers()
{
}
