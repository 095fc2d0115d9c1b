#include "platform/convert.h"

#include "platform/error.h"

#include <algorithm>
#include <charconv>
#include <cctype>
#include <cmath>
#include <limits>

namespace platform {

double ToDouble(const QString &text)
{
    const QString t = text.trimmed();
    if (t.size() > 2 && t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        bool ok = false;
        const qint64 value = t.mid(2).toLongLong(&ok, 16);
        if (!ok)
            raiseTypeMismatch(text);
        return static_cast<double>(value);
    }
    // from_chars ignores the process locale: "1.5" means the same under a
    // Turkish locale, whose decimal separator is a comma.
    const QByteArray bytes = t.toLatin1();
    const char *first = bytes.constData();
    const char *last = first + bytes.size();
    const bool negative = first != last && *first == '-';
    if (first != last && (*first == '+' || *first == '-'))
        ++first;
    if (first == last || !(std::isdigit(static_cast<unsigned char>(*first)) || *first == '.'))
        raiseTypeMismatch(text);
    double value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (end != last || error == std::errc::invalid_argument || std::isnan(value))
        raiseTypeMismatch(text);
    if (error == std::errc::result_out_of_range || std::isinf(value))
        raiseOverflow();
    return negative ? -value : value;
}

namespace {
template <typename Int>
Int roundedTo(const QString &text)
{
    const double rounded = std::nearbyint(ToDouble(text)); // half to even
    if (rounded < static_cast<double>(std::numeric_limits<Int>::min())
        || rounded > static_cast<double>(std::numeric_limits<Int>::max()))
        raiseOverflow();
    return static_cast<Int>(rounded);
}
} // namespace

qint32 ToLong(const QString &text)
{
    return roundedTo<qint32>(text);
}

qint16 ToInteger(const QString &text)
{
    return roundedTo<qint16>(text);
}

double LeadingNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    QByteArray number;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        number += text[i++].toLatin1();
    bool point = false;
    bool digits = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits = true;
        } else if (c == QLatin1Char('.') && !point) {
            point = true;
        } else {
            break;
        }
        number += c.toLatin1();
    }
    if (!digits)
        return 0;
    double value = 0;
    const char *first = number.constData() + (number.startsWith('+') ? 1 : 0);
    std::from_chars(first, number.constData() + number.size(), value);
    return value;
}

qint16 Alpha(const QString &text)
{
    const double rounded = std::nearbyint(LeadingNumber(text)); // half to even
    return static_cast<qint16>(std::clamp(rounded, 200.0, 255.0));
}

QString TrimBlanks(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.sliced(begin, end - begin).toString();
}

} // namespace platform
