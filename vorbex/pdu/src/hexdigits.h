#pragma once

#include <QtGlobal>

namespace modPDU::detail {

// Writes the byte as two upper-case hex digits and moves `out` past them.
inline void WriteHexOctet(char16_t*& out, int byte)
{
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    *out++ = Digits[(byte >> 4) & 0xF];
    *out++ = Digits[byte & 0xF];
}

} // namespace modPDU::detail
