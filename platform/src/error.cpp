#include "platform/error.h"

namespace platform {

Error::Error(int number, const QString &description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

void raiseOverflow()
{
    throw Error(ErrOverflow, QStringLiteral("Overflow"));
}

void raiseTypeMismatch(const QString &value)
{
    throw Error(ErrTypeMismatch, QStringLiteral("Type mismatch: \"%1\"").arg(value));
}

} // namespace platform
