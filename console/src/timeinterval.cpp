#include "timeinterval.h"

#include <QStringList>

namespace {

QTime ReadTime(const QString &text)
{
    for (const QString &format : {QStringLiteral("H:mm"), QStringLiteral("H:mm:ss")}) {
        const QTime time = QTime::fromString(text, format);
        if (time.isValid())
            return time;
    }
    return {};
}

} // namespace

bool ReadTimeInterval(const QString &text, QTime &start, QTime &end)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return false;
    const QTime first = ReadTime(parts[0].trimmed());
    const QTime second = ReadTime(parts[1].trimmed());
    if (!first.isValid() || !second.isValid())
        return false;
    start = first;
    end = second;
    return true;
}

QString TimeIntervalText(const QTime &start, const QTime &end)
{
    // The service compares these texts with its clock formatted the same
    // way, so the separator is always ":".
    const QString format = QStringLiteral("HH:mm");
    return start.toString(format) + QLatin1Char(',') + end.toString(format);
}
