#include "storedtext.h"

#include "common/errorlog.h"
#include "platform/codepage.h"
#include "store/queuefiles.h"

QString StoredText(const QString &text)
{
    QString stored = text;
    return stored.remove(QStringLiteral("--"));
}

QString CleanString(const QString &text)
{
    try {
        return StoredText(text).replace(QLatin1Char('\''), QStringLiteral("''"));
    } catch (...) {
        common::LogError(QStringLiteral("mdlGlobals"), QStringLiteral("CleanString"));
        return {};
    }
}

QString StoredNameText(const QString &text)
{
    QString stored = StoredText(text);
    stored.remove(QLatin1Char('^'));
    stored.remove(QLatin1Char('|'));
    return stored;
}

QString StoredPhonenumber(const QString &text)
{
    return StoredNameText(text).remove(QLatin1Char(','));
}

bool PhonenumberTooLong(const QString &stored)
{
    // The service trims the number it reads and keeps its first
    // clsSMSsvc::MaxNumber characters.
    return stored.trimmed().size() > clsSMSsvc::MaxNumber;
}

bool IsEnglishName(const QString &name)
{
    for (const QChar c : name) {
        const int code = platform::codepage::ansiCode(c);
        if (!((code >= 65 && code <= 90) || (code >= 97 && code <= 122) || (code >= 48 && code <= 57) || code == 8))
            return false;
    }
    return true;
}

bool IsEmptyPassword(const QString &password)
{
    for (const QChar c : password)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}
