#pragma once

#include <QString>

#include <ostream>
#include <string_view>

// A QString from a UTF-16 literal, so that a test can write the Turkish
// letters it checks as they read: S(u"Çağrı").
inline QString S(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Shows a QString as text, not as a list of characters, where a check fails.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
