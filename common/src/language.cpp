#include "common/language.h"

#include "common/errorlog.h"
#include "platform/error.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace common {

QString languageCode = QStringLiteral("tr");
QString languageFolder;

namespace {

// The classic numbers of these file failures.
constexpr int ErrBadFileName = 52;
constexpr int ErrDeviceIO = 57;
constexpr int ErrInputPastEnd = 62;
constexpr int ErrPathFileAccess = 75;
constexpr int ErrKeyExists = 457;

QHash<QString, QString> &Dictionary()
{
    static QHash<QString, QString> dictionary;
    return dictionary;
}

// A code is a file's base name; one with a folder in it would read a file
// outside the lang folder.
QString LanguageFilePath()
{
    if (languageCode.contains(QLatin1Char('/')))
        throw platform::Error(ErrBadFileName, QStringLiteral("Bad language code: \"%1\"").arg(languageCode));
    const QString folder = languageFolder.isEmpty() ? platform::programFolder() + QStringLiteral("/lang") : languageFolder;
    return folder + QLatin1Char('/') + languageCode + QStringLiteral(".ini");
}

} // namespace

void ReadUnicodeLang()
{
    QHash<QString, QString> &dictionary = Dictionary();
    dictionary.clear();
    try {
        const QString path = LanguageFilePath();
        const QStringList lines = ReadUnicodeLines(path);
        QString key;
        QString value;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (!CutLanguageLine(lines[i], key, value))
                continue;
            if (dictionary.contains(key))
                throw platform::Error(ErrKeyExists,
                                      QStringLiteral("This key is already associated with an element of this collection: \"%1\" (%2, line %3)")
                                          .arg(key, path, QString::number(i + 1)));
            dictionary.insert(key, value);
        }
    } catch (...) {
        LogError(QStringLiteral("mdlGlobals"), QStringLiteral("ReadUnicodeLang"));
    }
}

QString LanguageText(const QString &key)
{
    return Dictionary().value(key);
}

const QHash<QString, QString> &LanguageDictionary()
{
    return Dictionary();
}

bool CutLanguageLine(QStringView line, QString &key, QString &value)
{
    const qsizetype first = line.indexOf(QLatin1Char('='));
    if (first < 0)
        return false;
    const QStringView rest = line.sliced(first + 1);
    key = line.first(first).toString();
    const qsizetype second = rest.indexOf(QLatin1Char('='));
    value = (second < 0 ? rest : rest.first(second)).toString();
    return true;
}

QStringList ReadUnicodeLines(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        throw platform::Error(platform::ErrFileNotFound, QStringLiteral("File not found: %1").arg(path));
    if (!file.open(QIODevice::ReadOnly))
        throw platform::Error(ErrPathFileAccess, QStringLiteral("Path/File access error: %1 (%2)").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw platform::Error(ErrDeviceIO, QStringLiteral("Device I/O error: %1 (%2)").arg(path, file.errorString()));
    if (bytes.size() % 2 != 0)
        throw platform::Error(ErrInputPastEnd, QStringLiteral("Not UTF-16 text, the last character is cut off: %1").arg(path));

    // The decoder drops a leading byte-order mark.
    QStringDecoder decoder(QStringDecoder::Utf16LE);
    const QString text = decoder(bytes);
    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    for (QString &line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    }
    return lines;
}

QString LanguageHeader::listText() const
{
    return localName + QStringLiteral(" (") + globalName + QLatin1Char(')');
}

QStringList ListLanguageFiles(const QString &folder)
{
    const QDir dir(folder);
    if (!dir.exists())
        throw platform::Error(platform::ErrPathNotFound, QStringLiteral("Path not found: %1").arg(folder));
    const QString suffix = QStringLiteral(".ini");
    QStringList names;
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        if (name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseSensitive))
            names.append(name);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}

LanguageHeader ReadLanguageHeader(const QString &path)
{
    LanguageHeader header;
    QString key;
    QString value;
    for (const QString &line : ReadUnicodeLines(path)) {
        if (!CutLanguageLine(line, key, value))
            continue;
        if (key == QLatin1String("language_global_name"))
            header.globalName = value;
        else if (key == QLatin1String("language_local_name"))
            header.localName = value;
        else if (key == QLatin1String("language_initials"))
            header.code = value;
    }
    return header;
}

} // namespace common
