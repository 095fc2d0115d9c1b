#pragma once

#include <QString>

namespace modPDU::detail {

// Appends the byte as two upper-case hex digits.
inline void AppendHexOctet(QString& out, int byte)
{
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    out.append(QChar(Digits[(byte >> 4) & 0xF]));
    out.append(QChar(Digits[byte & 0xF]));
}

} // namespace modPDU::detail
