#include "gsmtable.h"
#include "vorbex/modpdu.h"

#include <iterator>

namespace modPDU {
namespace detail {
namespace {

// GSM 7-bit default alphabet (3GPP TS 23.038), code 0 to 127. The escape
// code 27 stands here as a blank and is emptied when the table is built.
constexpr char16_t DefaultAlphabet[] =
    u"@£$¥èéùìòÇ\nØø\rÅå"
    u"Δ_ΦΓΛΩΠΨΣΘΞ ÆæßÉ"
    u" !\"#¤%&'()*+,-./"
    u"0123456789:;<=>?"
    u"¡ABCDEFGHIJKLMNO"
    u"PQRSTUVWXYZÄÖÑÜ§"
    u"¿abcdefghijklmno"
    u"pqrstuvwxyzäöñüà";
static_assert(std::size(DefaultAlphabet) == 129);

// The extension characters recognised after the escape code.
struct ExtensionEntry {
    int code;
    char16_t character;
};
constexpr ExtensionEntry ExtensionTable[] = {
    {10, u'\f'}, {20, u'^'}, {40, u'{'}, {41, u'}'}, {47, u'\\'},
    {60, u'['},  {61, u'~'}, {62, u']'}, {64, u'|'}, {101, u'€'},
};

GsmTable BuildTable()
{
    GsmTable t;
    t.lowCodes.fill(-1);
    for (int k = 0; k < 128; ++k) {
        if (k == EscapeCode)
            continue;
        const char16_t c = DefaultAlphabet[k];
        t.entries[static_cast<size_t>(k)] = c;
        if (c < 256)
            t.lowCodes[c] = static_cast<short>(k);
    }
    for (const auto& e : ExtensionTable) {
        t.extension[static_cast<size_t>(e.code)] = e.character;
        if (e.character < 256)
            t.lowCodes[e.character] = static_cast<short>(128 + e.code);
    }
    return t;
}

} // namespace

const GsmTable& Table()
{
    static const GsmTable table = BuildTable();
    return table;
}

int GsmCodeOf(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 256)
        return Table().lowCodes[u];
    // Above 255 only the Greek capitals and the euro sign have GSM codes.
    for (int k = 16; k <= 26; ++k)
        if (DefaultAlphabet[k] == u)
            return k;
    for (const auto& e : ExtensionTable)
        if (e.character == u)
            return 128 + e.code;
    return -1;
}

} // namespace detail

void InitGsmAlphabet()
{
    detail::Table();
}

namespace {

QString EntryText(const std::array<char16_t, 128>& entries, int code)
{
    if (code < 0 || code > 127 || !entries[static_cast<size_t>(code)])
        return {};
    return QString(QChar(entries[static_cast<size_t>(code)]));
}

} // namespace

QString GsmAlphabetEntry(int k)
{
    return EntryText(detail::Table().entries, k);
}

QString GsmExtensionEntry(int code)
{
    return EntryText(detail::Table().extension, code);
}

bool IsSingleByteText(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c.unicode() & 0xFF00)
            return false;
    return true;
}

bool IsSevenBitText(const QString& text)
{
    if (!IsSingleByteText(text))
        return false;
    for (const QChar c : text)
        if (c.unicode() & 0x80)
            return false;
    return true;
}

} // namespace modPDU
