#pragma once

#include <QChar>
#include <array>

namespace modPDU::detail {

// The escape code that selects the extension table for the next septet.
inline constexpr int EscapeCode = 27;

// The GSM default alphabet in both directions.
struct GsmTable {
    // Character of each code; 0 for the escape code.
    std::array<char16_t, 128> entries{};
    // Character after the escape code; 0 where none is recognised.
    std::array<char16_t, 128> extension{};
    // GSM code of each character below 256 (see GsmCodeOf); -1 where none.
    std::array<short, 256> lowCodes{};
};

const GsmTable& Table();

// The GSM code of a character: 0..127 for the default alphabet,
// 128 + e for the escape code followed by extension code e, -1 when the
// character has no GSM code.
int GsmCodeOf(QChar c);

} // namespace modPDU::detail
