#include "clientsettings.h"

#include "platform/convert.h"
#include "platform/error.h"
#include "platform/inifile.h"

#include <QFile>
#include <cmath>
#include <limits>

namespace {

constexpr int ErrPermissionDenied = 70;

void SetOwnerOnly(const QString &path)
{
    if (!QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw platform::Error(ErrPermissionDenied, QStringLiteral("Permission denied: %1").arg(path));
}

QString Switch(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

qint32 PortNumber(const QString &text)
{
    const double rounded = std::nearbyint(platform::LeadingNumber(text));
    if (rounded < std::numeric_limits<qint32>::min() || rounded > std::numeric_limits<qint32>::max())
        return 0;
    return static_cast<qint32>(rounded);
}

bool SwitchOn(const QString &text)
{
    return platform::LeadingNumber(text) != 0;
}

ClientSettings ReadSettings(const QString &iniPath)
{
    platform::IniFile ini;
    ini.setIniPath(iniPath);
    ClientSettings settings;
    const auto read = [&](const char *key, const char *defaultValue) {
        return ini.ReadValue(SettingsSection, QLatin1String(key), QLatin1String(defaultValue));
    };
    settings.languageCode = read("Language", "tr");
    settings.serverIP = read("ServerIP", "");
    settings.serverPort = PortNumber(read("ServerPort", "4500"));
    settings.userName = read("UserName", "");
    settings.savePassword = SwitchOn(read("SavePassword", "0"));
    settings.alpha = platform::Alpha(read("Alpha", "230"));
    settings.sound = SwitchOn(read("Sound", "1"));
    if (settings.savePassword)
        settings.passwordDigest = read("Password", "");
    return settings;
}

void SaveSettings(const QString &iniPath, const ClientSettings &settings)
{
    platform::IniFile ini;
    ini.setIniPath(iniPath);
    const QString password = settings.savePassword ? settings.passwordDigest : QString();
    ini.WriteValue(SettingsSection, QStringLiteral("Language"), settings.languageCode);
    ini.WriteValue(SettingsSection, QStringLiteral("ServerIP"), settings.serverIP);
    ini.WriteValue(SettingsSection, QStringLiteral("ServerPort"), QString::number(settings.serverPort));
    ini.WriteValue(SettingsSection, QStringLiteral("UserName"), settings.userName);
    ini.WriteValue(SettingsSection, QStringLiteral("Sound"), Switch(settings.sound));
    // Closed to others before the digest goes in.
    if (!password.isEmpty())
        SetOwnerOnly(iniPath);
    ini.WriteValue(SettingsSection, QStringLiteral("Password"), password);
    ini.WriteValue(SettingsSection, QStringLiteral("SavePassword"), Switch(settings.savePassword));
}
