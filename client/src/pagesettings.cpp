// Page 4: the settings.
#include "pages.h"

#include "frmmain.h"
#include "pageparts.h"

#include "common/language.h"
#include "gui/place.h"
#include "platform/inifile.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using gui::Place;

PageSettings::PageSettings(frmMain &owner) : QWidget(&owner), m_owner(owner)
{
    lblConfig[0] = PlaceLabel(this, Indexed("lblConfig", 0), 8, 10, 238, 16);
    txtServerIP = Place<QLineEdit>(this, QStringLiteral("txtServerIP"), 8, 28, 238, 24);
    lblConfig[1] = PlaceLabel(this, Indexed("lblConfig", 1), 8, 62, 238, 16);
    txtServerPort = Place<QLineEdit>(this, QStringLiteral("txtServerPort"), 8, 80, 100, 24);
    lblConfig[2] = PlaceLabel(this, Indexed("lblConfig", 2), 8, 114, 238, 16);
    cboLanguage = Place<QComboBox>(this, QStringLiteral("cboLanguage"), 8, 132, 238, 26);
    lblConfig[3] = PlaceLabel(this, Indexed("lblConfig", 3), 8, 168, 238, 16);
    cboSound = Place<QComboBox>(this, QStringLiteral("cboSound"), 8, 186, 120, 26);
    // Entry 0 is "on", entry 1 "off"; their texts come with the language.
    cboSound->addItems({QString(), QString()});
    cboSound->setCurrentIndex(-1);
}

void PageSettings::SetLanguage()
{
    const char *const config[4] = {"server_ip_host", "port", "language", "sound"};
    for (int i = 0; i < 4; ++i)
        lblConfig[i]->setText(Text(config[i]));
    cboSound->setItemText(0, Text("on"));
    cboSound->setItemText(1, Text("off"));
}

void PageSettings::InitSettings()
{
    try {
        const QString folder = m_owner.programFolder() + QStringLiteral("/lang");
        const QStringList files = common::ListLanguageFiles(folder);
        cboLanguage->clear();
        cboSound->setCurrentIndex(m_owner.settings.sound ? 0 : 1);
        languageCodes.clear();
        int selected = -1;
        for (const QString &name : files) {
            const common::LanguageHeader header = common::ReadLanguageHeader(folder + QLatin1Char('/') + name);
            languageCodes.append(header.code);
            cboLanguage->addItem(header.listText());
            if (header.code == m_owner.settings.languageCode)
                selected = cboLanguage->count() - 1;
        }
        cboLanguage->setCurrentIndex(selected);
    } catch (...) {
        ReportIn("InitSettings");
    }
}

void PageSettings::ShowSettings()
{
    txtServerIP->setText(m_owner.settings.serverIP);
    txtServerPort->setText(QString::number(m_owner.settings.serverPort));
}

void PageSettings::SaveSettingsPage()
{
    ClientSettings &settings = m_owner.settings;
    const int entry = cboLanguage->currentIndex();
    if (entry >= 0) {
        const QString before = settings.languageCode;
        settings.languageCode = languageCodes.value(entry);
        platform::IniFile ini;
        ini.setIniPath(m_owner.settingsPath());
        ini.WriteValue(SettingsSection, QStringLiteral("Language"), settings.languageCode);
        if (settings.languageCode != before) {
            common::languageCode = settings.languageCode;
            common::ReadUnicodeLang();
            m_owner.SetLanguage();
        }
    }
    settings.serverIP = txtServerIP->text();
    settings.serverPort = PortNumber(txtServerPort->text());
    settings.sound = cboSound->currentIndex() == 0;
    SaveSettings(m_owner.settingsPath(), settings);
    m_owner.ShowPage(0);
    m_owner.ShowAlert(Text("settings_saved"));
}
