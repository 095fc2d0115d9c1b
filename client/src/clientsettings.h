#pragma once

#include <QString>
#include <QtGlobal>

// The client's settings, held in memory from start-up to exit; the file is
// read once at start-up and written only by SaveSettings (and the login,
// which keeps the last user name).
struct ClientSettings {
    QString languageCode = QStringLiteral("tr");
    QString serverIP;
    qint32 serverPort = 4500;
    QString userName;
    bool savePassword = false;
    // The digest of the last login; it logs in as well as the password.
    QString passwordDigest;
    qint16 alpha = 230;
    bool sound = true;
};

// Section of every key in TalvinorSMSClient.ini.
inline const QString SettingsSection = QStringLiteral("SMSClient");

// A port text: its leading number rounded half to even; 0 when that does
// not fit 32 bits, so a wild value cannot stop the start-up.
qint32 PortNumber(const QString &text);

// A switch text is on when its leading number is not 0.
bool SwitchOn(const QString &text);

// Reads the eight keys in their order (Password only when SavePassword is
// on); a missing file or key gives the default.
ClientSettings ReadSettings(const QString &iniPath);

// Writes Language, ServerIP, ServerPort, UserName, Sound, Password and
// SavePassword, in this order. A file that gets a password digest is
// made readable by its owner only. Raises platform::Error when the file cannot be
// written.
void SaveSettings(const QString &iniPath, const ClientSettings &settings);
