#include "platform/convert.h"

#include "platform/error.h"

#include <cmath>
#include <cstdlib>
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
    const QByteArray bytes = t.toLatin1();
    if (bytes.isEmpty())
        raiseTypeMismatch(text);
    char *end = nullptr;
    const double value = std::strtod(bytes.constData(), &end);
    if (end != bytes.constData() + bytes.size() || std::isnan(value))
        raiseTypeMismatch(text);
    if (std::isinf(value))
        raiseOverflow();
    return value;
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

} // namespace platform
