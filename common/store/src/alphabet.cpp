#include "store/alphabet.h"

#include "platform/error.h"

#include <QChar>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// ---- Reading the stored text -------------------------------------------

// The next code point of UTF-8 text; a malformed sequence reads as U+FFFD,
// one byte at a time, so no text can make the reader stop or overrun.
char32_t NextCodePoint(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char lead = *p++;
    if (lead < 0x80)
        return lead;
    int more;
    char32_t c;
    if ((lead & 0xE0) == 0xC0) {
        more = 1;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        more = 2;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        more = 3;
        c = lead & 0x07;
    } else {
        return 0xFFFD;
    }
    for (; more > 0; --more) {
        if (p == end || (*p & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (*p++ & 0x3F);
    }
    return c;
}

// The same, quick for the one- and two-byte characters that hold every
// Latin letter.
inline char32_t NextCharacter(const unsigned char *&p, const unsigned char *end)
{
    if (*p < 0x80)
        return *p++;
    if ((*p & 0xE0) == 0xC0 && p + 1 < end && (p[1] & 0xC0) == 0x80) {
        const char32_t c = (static_cast<char32_t>(p[0] & 0x1F) << 6) | (p[1] & 0x3F);
        p += 2;
        return c;
    }
    return NextCodePoint(p, end);
}

// The characters a phone book mostly holds, ASCII and the Latin letters up
// to Latin Extended-B, have their folds and weights looked up in a table.
constexpr char32_t TabledCharacters = 0x250;
using Table = std::array<char32_t, TabledCharacters>;

template <char32_t (*compute)(char32_t)>
const Table &TableOf()
{
    static const Table table = [] {
        Table t{};
        for (char32_t c = 0; c < TabledCharacters; ++c)
            t[c] = compute(c);
        return t;
    }();
    return table;
}

template <char32_t (*compute)(char32_t)>
char32_t LookUp(const Table &table, char32_t c)
{
    return c < TabledCharacters ? table[c] : compute(c);
}

// ---- Matching: LIKE --------------------------------------------------------

// The letter as LIKE compares it: case folded, with the four I's as one.
char32_t MatchingFold(char32_t c)
{
    if (c == 0x130 || c == 0x131) // İ, ı
        return 'i';
    return QChar::toCaseFolded(c);
}

// A row's text folded for matching, in a buffer kept between rows: each
// row is folded once, however long the pattern.
std::u32string_view FoldForMatching(const unsigned char *text, int bytes)
{
    thread_local std::vector<char32_t> buffer;
    // A code point takes at least one byte.
    if (buffer.size() < static_cast<size_t>(bytes))
        buffer.resize(static_cast<size_t>(bytes));
    const Table &fold = TableOf<MatchingFold>();
    char32_t *out = buffer.data();
    const unsigned char *end = text + bytes;
    while (text < end)
        *out++ = LookUp<MatchingFold>(fold, NextCharacter(text, end));
    return {buffer.data(), static_cast<size_t>(out - buffer.data())};
}

// Pattern items beyond the last code point stand for the wildcards.
constexpr char32_t AnyRun = 0x110000; // %
constexpr char32_t AnyOne = 0x110001; // _

// A LIKE pattern folded once for all the rows it is matched against. The
// raw text and escape are kept to tell whether a cached one still applies.
struct Pattern {
    std::string text;
    std::string escape;
    std::u32string items;
    bool valid = true; // false when it ends in a lone escape, which matches nothing
    // A search's "%word%": the word alone, found by a plain search.
    bool containsWord = false;
    std::u32string word;
};

Pattern CompilePattern(std::string_view text, std::string_view escape)
{
    Pattern pattern;
    pattern.text = text;
    pattern.escape = escape;
    const auto *escapeBytes = reinterpret_cast<const unsigned char *>(escape.data());
    const char32_t escapeChar =
        escape.empty() ? AnyRun : NextCodePoint(escapeBytes, escapeBytes + escape.size());
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char *end = p + text.size();
    while (p < end) {
        const char32_t c = NextCodePoint(p, end);
        if (!escape.empty() && c == escapeChar) {
            if (p == end) {
                pattern.valid = false;
                break;
            }
            pattern.items.push_back(MatchingFold(NextCodePoint(p, end)));
        } else if (c == '%') {
            if (pattern.items.empty() || pattern.items.back() != AnyRun)
                pattern.items.push_back(AnyRun);
        } else if (c == '_') {
            pattern.items.push_back(AnyOne);
        } else {
            pattern.items.push_back(MatchingFold(c));
        }
    }
    const std::u32string_view items = pattern.items;
    if (items.size() >= 2 && items.front() == AnyRun && items.back() == AnyRun) {
        const std::u32string_view word = items.substr(1, items.size() - 2);
        pattern.containsWord = std::none_of(word.begin(), word.end(), [](char32_t c) { return c == AnyRun || c == AnyOne; });
        if (pattern.containsWord)
            pattern.word = word;
    }
    return pattern;
}

// Wildcard matching that goes back only to the last "%": each "%" can only
// widen, so trying the next start for it alone finds every match.
bool Matches(std::u32string_view pattern, std::u32string_view text)
{
    size_t p = 0;
    size_t t = 0;
    size_t runAt = std::u32string_view::npos;
    size_t runFrom = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == AnyRun) {
            runAt = p++;
            runFrom = t;
        } else if (p < pattern.size() && (pattern[p] == AnyOne || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (runAt != std::u32string_view::npos) {
            p = runAt + 1;
            t = ++runFrom;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == AnyRun)
        ++p;
    return p == pattern.size();
}

std::string_view TextOf(sqlite3_value *value)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(value));
    return {text, static_cast<size_t>(sqlite3_value_bytes(value))};
}

bool IsOneCharacter(std::string_view text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char *end = p + text.size();
    if (p == end)
        return false;
    NextCodePoint(p, end);
    return p == end;
}

// like(pattern, text [, escape]), as "text LIKE pattern [ESCAPE escape]"
// calls it. A Null anywhere gives Null, as the built-in LIKE does.
void Like(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return;
    std::string_view escape;
    if (argc == 3) {
        escape = TextOf(argv[2]);
        if (!IsOneCharacter(escape)) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    const std::string_view patternText = TextOf(argv[0]);
    auto *pattern = static_cast<Pattern *>(sqlite3_get_auxdata(context, 0));
    if (pattern == nullptr || pattern->text != patternText || pattern->escape != escape) {
        pattern = new Pattern(CompilePattern(patternText, escape));
        sqlite3_set_auxdata(context, 0, pattern, [](void *p) { delete static_cast<Pattern *>(p); });
        pattern = static_cast<Pattern *>(sqlite3_get_auxdata(context, 0));
        if (pattern == nullptr) { // SQLite could not keep it
            sqlite3_result_error_nomem(context);
            return;
        }
    }
    if (!pattern->valid) {
        sqlite3_result_int(context, 0);
        return;
    }
    const auto *text = sqlite3_value_text(argv[1]);
    const std::u32string_view folded = FoldForMatching(text, sqlite3_value_bytes(argv[1]));
    const bool matches = pattern->containsWord ? folded.find(pattern->word) != std::u32string_view::npos
                                               : Matches(pattern->items, folded);
    sqlite3_result_int(context, matches ? 1 : 0);
}

// ---- Ordering: the collation ---------------------------------------------

// Weights compared in turn, character by character: every character that is
// no letter comes before every letter, in code point order; then the Latin
// letters in the Turkish alphabet; then the letters of other scripts.
constexpr char32_t NonLetters = 0x00000;
constexpr char32_t LatinLetters = 0x200000;
constexpr char32_t OtherLetters = 0x300000;

// The Turkish alphabet with the three letters it lacks (Q, W, X) in their
// places; its index is a letter's place.
constexpr std::u32string_view Alphabet = U"AB" U"C\u00C7" U"DEFG\u011E" U"HI\u0130" U"JKLMNO\u00D6" U"PQRS\u015E"
                                         U"TU\u00DC" U"VWXYZ";

constexpr char32_t LetterWeight(char32_t upper)
{
    return LatinLetters + static_cast<char32_t>(Alphabet.find(upper));
}

// The place of the letters that have one of their own: the alphabet's
// upper-case letters, their lower-case forms, and the two I's that case
// alone does not tell apart (ı is I, i is İ).
char32_t OwnPlace(char32_t c)
{
    switch (c) {
    case 0x131: // ı
        return LetterWeight('I');
    case 'i':
        return LetterWeight(0x130);
    case 0xE7: // ç
    case 0x11F: // ğ
    case 0xF6: // ö
    case 0x15F: // ş
    case 0xFC: // ü
        return LetterWeight(QChar::toUpper(c));
    default:
        break;
    }
    if (c >= 'a' && c <= 'z')
        return LetterWeight(c - ('a' - 'A'));
    if (Alphabet.find(c) != std::u32string_view::npos)
        return LetterWeight(c);
    return 0;
}

// Lower-case letters that carry their base letter without a decomposition.
char32_t UndecomposedBase(char32_t c)
{
    switch (c) {
    case 0xE6: // æ
        return 'A';
    case 0xF0: // ð
    case 0x111: // đ
        return 'D';
    case 0xF8: // ø
    case 0x153: // œ
        return 'O';
    case 0xFE: // þ
        return 'T';
    case 0xDF: // ß
        return 'S';
    case 0x142: // ł
        return 'L';
    case 0x192: // ƒ
        return 'F';
    default:
        return 0;
    }
}

char32_t OrderWeight(char32_t c)
{
    if (!QChar::isLetter(c))
        return NonLetters + c;
    if (const char32_t own = OwnPlace(c))
        return own;
    // An accented letter sorts with its base: lower case first, so that Î
    // and î both reach i (which is İ), then the accents taken off one by one.
    char32_t base = QChar::toLower(c);
    for (int depth = 0; depth < 4; ++depth) {
        if (const char32_t own = OwnPlace(base))
            return own;
        if (const char32_t undecomposed = UndecomposedBase(base))
            return LetterWeight(undecomposed);
        const QString decomposition = QChar::decomposition(base);
        if (decomposition.isEmpty() || !decomposition.at(0).isLetter())
            break;
        base = QChar::toLower(decomposition.at(0).unicode());
    }
    return OtherLetters + QChar::toCaseFolded(c);
}

int CompareAlphabetically(void *, int leftBytes, const void *left, int rightBytes, const void *right)
{
    const Table &table = TableOf<OrderWeight>();
    const auto weight = [&table](char32_t c) { return LookUp<OrderWeight>(table, c); };
    const auto *l = static_cast<const unsigned char *>(left);
    const auto *r = static_cast<const unsigned char *>(right);
    const unsigned char *lEnd = l + leftBytes;
    const unsigned char *rEnd = r + rightBytes;
    while (l < lEnd && r < rEnd) {
        const char32_t a = weight(NextCharacter(l, lEnd));
        const char32_t b = weight(NextCharacter(r, rEnd));
        if (a != b)
            return a < b ? -1 : 1;
    }
    if (l < lEnd)
        return 1;
    return r < rEnd ? -1 : 0;
}

sqlite3 *HandleOf(const QSqlDatabase &connection)
{
    const QVariant handle = connection.driver() ? connection.driver()->handle() : QVariant();
    if (!handle.isValid() || std::strcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

} // namespace

QString AlphabeticalOrder(const QStringList &columns, const QString &id)
{
    QStringList terms;
    for (const QString &column : columns)
        terms << column + QLatin1String(" COLLATE ") + AlphabeticalCollation;
    terms << id;
    return terms.join(QLatin1String(", "));
}

void InstallTextRules(const QSqlDatabase &connection)
{
    sqlite3 *db = HandleOf(connection);
    if (db == nullptr)
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("The connection is not an open SQLite database"));
    const auto check = [db](int result) {
        if (result != SQLITE_OK)
            throw platform::Error(result, QString::fromUtf8(sqlite3_errmsg(db)));
    };
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    check(sqlite3_create_function(db, "like", 2, flags, nullptr, Like, nullptr, nullptr));
    check(sqlite3_create_function(db, "like", 3, flags, nullptr, Like, nullptr, nullptr));
    const QByteArray collation(AlphabeticalCollation.data(), AlphabeticalCollation.size());
    check(sqlite3_create_collation(db, collation.constData(), SQLITE_UTF8, nullptr, CompareAlphabetically));
}
