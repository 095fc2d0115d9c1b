// Page 5: the login.
#include "pages.h"

#include "frmmain.h"
#include "pageparts.h"

#include "gui/place.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

using gui::Place;

PageLogin::PageLogin(frmMain &owner) : QWidget(&owner), m_owner(owner)
{
    lblLogin[0] = PlaceLabel(this, Indexed("lblLogin", 0), 8, 44, 238, 16);
    txtUsername = Place<QLineEdit>(this, QStringLiteral("txtUsername"), 8, 62, 238, 26);
    lblLogin[1] = PlaceLabel(this, Indexed("lblLogin", 1), 8, 100, 238, 16);
    txtPassword = Place<QLineEdit>(this, QStringLiteral("txtPassword"), 8, 118, 238, 26);
    txtPassword->setEchoMode(QLineEdit::Password);
    chkSavePassword = Place<QCheckBox>(this, QStringLiteral("chkSavePassword"), 8, 156, 238, 22);
    // Enter in the user-name box goes on to the password; in the password
    // box it is the login button.
    connect(txtUsername, &QLineEdit::returnPressed, this, [this] { txtPassword->setFocus(); });
    connect(txtPassword, &QLineEdit::returnPressed, this, [this] { m_owner.imgButton_Click(1); });
}

void PageLogin::SetLanguage()
{
    lblLogin[0]->setText(Text("username"));
    lblLogin[1]->setText(Text("password"));
    chkSavePassword->setText(Text("save_my_password"));
}

void PageLogin::ShowLogin()
{
    const ClientSettings &settings = m_owner.settings;
    txtUsername->setText(settings.userName);
    if (settings.savePassword) {
        txtPassword->setText(settings.passwordDigest);
        chkSavePassword->setChecked(true);
    }
}

void PageLogin::Login()
{
    ClientSettings &settings = m_owner.settings;
    ServiceConnection &connection = *m_owner.connection;
    connection.SettingsPath = m_owner.settingsPath();
    connection.ServerIP = settings.serverIP;
    connection.ServerPort = settings.serverPort;
    connection.PasswordDigest = settings.passwordDigest;
    // A refused name reaches neither the connection nor the settings.
    if (!connection.Login(txtUsername->text(), txtPassword->text(), chkSavePassword->isChecked()))
        return;
    settings.userName = connection.UserName;
    settings.passwordDigest = connection.PasswordDigest;
    settings.savePassword = connection.SavePassword;
}
