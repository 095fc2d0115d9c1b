#include "platform/error.h"

namespace platform {

Error::Error(int number, const QString &description)
    : std::runtime_error(description.toStdString()), m_number(number), m_description(description)
{
}

QString describe(const std::exception &e)
{
    if (const auto *error = dynamic_cast<const Error *>(&e))
        return error->description();
    return QString::fromLocal8Bit(e.what());
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
