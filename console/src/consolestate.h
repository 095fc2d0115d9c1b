#pragma once

#include "platform/inifile.h"

#include <QSqlDatabase>
#include <QString>

// What the console holds from start-up to exit. The language code is
// common::languageCode, which the language loader reads.
struct ConsoleState {
    // The program folder: the databases, the settings files, lang/ and
    // Unsent/ are found here.
    QString programFolder;
    qint16 windowAlpha = 230;
    QSqlDatabase connApplication;
    QSqlDatabase connPhonebook;
    platform::IniFile iniConsole;
    platform::IniFile iniService;
};
