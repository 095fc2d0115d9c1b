#include "vorbex/modpdu.h"

#include <gtest/gtest.h>

#include <QSet>

using namespace modPDU;

namespace {

struct EntryCase {
    int code;
    const char16_t* character;
};

// Codes where the GSM alphabet differs from ASCII, the Greek capitals, the
// control codes and the ends of the table.
const EntryCase Entries[] = {
    {0, u"@"},  {1, u"£"},  {2, u"$"},  {9, u"Ç"},  {10, u"\n"}, {13, u"\r"}, {16, u"Δ"},
    {17, u"_"}, {18, u"Φ"}, {26, u"Ξ"}, {27, u""},  {28, u"Æ"},  {36, u"¤"},  {64, u"¡"},
    {65, u"A"}, {91, u"Ä"}, {95, u"§"}, {96, u"¿"}, {97, u"a"},  {127, u"à"}, {-1, u""},
    {128, u""},
};

TEST(GsmAlphabet, EntriesAtCodesThatDifferFromAscii)
{
    InitGsmAlphabet();
    for (const auto& e : Entries)
        EXPECT_EQ(GsmAlphabetEntry(e.code), QString::fromUtf16(e.character)) << "code " << e.code;
}

TEST(GsmAlphabet, EveryCodeButTheEscapeIsOneDistinctCharacter)
{
    QSet<QString> seen;
    for (int k = 0; k < 128; ++k) {
        if (k == 27)
            continue;
        const QString entry = GsmAlphabetEntry(k);
        EXPECT_EQ(entry.size(), 1) << "code " << k;
        seen.insert(entry);
    }
    EXPECT_EQ(seen.size(), 127);
}

TEST(GsmAlphabet, ExtensionHoldsTheTenRecognisedCharacters)
{
    const EntryCase extension[] = {
        {10, u"\f"}, {20, u"^"}, {40, u"{"}, {41, u"}"}, {47, u"\\"},
        {60, u"["},  {61, u"~"}, {62, u"]"}, {64, u"|"}, {101, u"€"},
    };
    int recognised = 0;
    for (int code = -1; code <= 128; ++code)
        recognised += GsmExtensionEntry(code).isEmpty() ? 0 : 1;
    EXPECT_EQ(recognised, 10);
    for (const auto& e : extension)
        EXPECT_EQ(GsmExtensionEntry(e.code), QString::fromUtf16(e.character)) << "code " << e.code;
}

struct TextCase {
    const char16_t* text;
    bool singleByte;
    bool sevenBit;
};

TEST(GsmTextTests, SingleByteAndSevenBit)
{
    const TextCase cases[] = {
        {u"", false, false},
        {u"Hello world", true, true},
        {u"Hello é", true, false},
        {u"\u007F", true, true},
        {u"\u0080", true, false},
        {u"\u00FF", true, false},
        {u"\u0100", false, false},
        {u"Ωmega", false, false},
        {u"Привет", false, false},
        // Codes below 128 count as seven-bit even where GSM has another character.
        {u"a@b_$[x]`", true, true},
    };
    for (const auto& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        EXPECT_EQ(IsSingleByteText(text), c.singleByte) << text.toStdString();
        EXPECT_EQ(IsSevenBitText(text), c.sevenBit) << text.toStdString();
    }
}

} // namespace
