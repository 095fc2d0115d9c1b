#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace common {

// The program's current language code: the base name of its file in the
// `lang` folder of the program folder. Each program sets it from its own
// settings file before it calls ReadUnicodeLang.
extern QString languageCode;

// The folder of the language files; empty means the `lang` folder of the
// program folder. A program that works on another program folder (the
// console's tests do) points it there.
extern QString languageFolder;

// Reloads the language dictionary from <languageFolder>/<languageCode>.ini. A failure
// (missing file, unreadable file, a key given twice) stops the load where it
// happens, keeps the entries read before it and goes to LogError; the caller
// carries on either way.
void ReadUnicodeLang();

// The text of a key, compared exactly; the empty text for a key the loaded
// file does not define.
QString LanguageText(const QString &key);

// The whole dictionary as last loaded.
const QHash<QString, QString> &LanguageDictionary();

// The line rules of a language file, shared with the programs' language
// lists: the key is the text before the first "=", the value the text up to
// a second "=", nothing is trimmed. False for a line without "=".
bool CutLanguageLine(QStringView line, QString &key, QString &value);

// The lines of a UTF-16 little-endian text file, byte-order mark optional,
// ended by LF or CR LF. Raises platform::Error when the file is missing or
// cannot be read as UTF-16.
QStringList ReadUnicodeLines(const QString &path);

// One language file as the programs' language lists show it: the three
// header keys, each empty when the file lacks it (a later line wins).
struct LanguageHeader {
    QString globalName;
    QString localName;
    QString code;
    // local name, " (", global name, ")"
    QString listText() const;
};

// The names of the language files in `folder`: names longer than ".ini"
// that end in exactly ".ini", sorted without regard to case, so both
// programs list the languages in one order whatever the folder's own order.
// Raises platform::Error when the folder cannot be listed.
QStringList ListLanguageFiles(const QString &folder);

// The header keys of one language file. Raises platform::Error when the
// file cannot be read.
LanguageHeader ReadLanguageHeader(const QString &path);

} // namespace common
