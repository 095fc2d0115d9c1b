#include "celltext.h"

#include "sheets/sheetreader.h"

#include <QDate>

#include <cmath>

namespace sheets::celltext {

namespace {

// Built-in format ids that show dates or times.
NumberKind BuiltInKind(int id)
{
    if ((id >= 14 && id <= 17) || (id >= 27 && id <= 31) || (id >= 34 && id <= 36) || (id >= 50 && id <= 58))
        return NumberKind::Date;
    if ((id >= 18 && id <= 21) || (id >= 32 && id <= 33) || (id >= 45 && id <= 47))
        return NumberKind::Time;
    if (id == 22)
        return NumberKind::DateTime;
    return NumberKind::Number;
}

} // namespace

NumberKind ClassifyNumberFormat(int id, QStringView formatCode)
{
    if (id < 164 || formatCode.isEmpty())
        return BuiltInKind(id);
    // Only the first section (positive numbers) decides; quoted text,
    // escaped characters and bracketed colours or locales say nothing.
    bool date = false;
    bool time = false;
    bool month = false;
    for (qsizetype i = 0; i < formatCode.size(); ++i) {
        const QChar c = formatCode[i].toLower();
        if (c == u';')
            break;
        if (c == u'"') {
            i = formatCode.indexOf(u'"', i + 1);
            if (i < 0)
                break;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u'[') {
            const qsizetype end = formatCode.indexOf(u']', i + 1);
            if (end < 0)
                break;
            const QStringView inside = formatCode.mid(i + 1, end - i - 1);
            // [h], [mm], [ss]: elapsed time.
            if (!inside.isEmpty() && QStringLiteral("hms").contains(inside[0].toLower()))
                time = true;
            i = end;
        } else if (c == u'y' || c == u'd') {
            date = true;
        } else if (c == u'h' || c == u's') {
            time = true;
        } else if (c == u'm') {
            month = true;
        }
    }
    // A lone "m" is a month; beside hours or seconds it is minutes.
    if (month && !time)
        date = true;
    if (date && time)
        return NumberKind::DateTime;
    if (date)
        return NumberKind::Date;
    if (time)
        return NumberKind::Time;
    return NumberKind::Number;
}

QString NumberText(double value)
{
    if (std::isfinite(value) && std::trunc(value) == value && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 15);
}

QString SerialText(double serial, NumberKind kind, bool date1904)
{
    // Up to 9999-12-31, the last day a workbook can show.
    if (kind == NumberKind::Number || !std::isfinite(serial) || serial < 0 || serial >= 2958466)
        return NumberText(serial);
    qint64 seconds = std::llround(serial * 86400.0);
    qint64 days = seconds / 86400;
    seconds %= 86400;
    QDate date;
    if (date1904) {
        date = QDate(1904, 1, 1).addDays(days);
    } else if (days == 60) {
        // The 1900 date system counts a 29 February 1900 that never was.
        return DateTimeText(1900, 2, 29, int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60), kind);
    } else {
        date = QDate(1899, 12, days < 60 ? 31 : 30).addDays(days);
    }
    return DateTimeText(date.year(), date.month(), date.day(), int(seconds / 3600), int(seconds / 60 % 60),
                        int(seconds % 60), kind);
}

QString DateTimeText(int year, int month, int day, int hour, int minute, int second, NumberKind kind)
{
    const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
    const QString date = two(day) + u'/' + two(month) + u'/' + QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'));
    const QString time = two(hour) + u':' + two(minute) + u':' + two(second);
    switch (kind) {
    case NumberKind::Date:
        return date;
    case NumberKind::Time:
        return time;
    default:
        return date + u' ' + time;
    }
}

QString BooleanText(bool value)
{
    return value ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
}

void CheckCellLength(qsizetype length)
{
    if (length > kMaxCellText)
        throw SheetError(QStringLiteral("a cell holds more than %1 characters").arg(kMaxCellText));
}

} // namespace sheets::celltext
