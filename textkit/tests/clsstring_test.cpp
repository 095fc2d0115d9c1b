#include "textkit/clsstring.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/version.h"
#include "raisederror.h"
#include "text.h"

#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <string_view>

using textkit::clsString;

namespace {

using namespace std::string_view_literals;

QString L(const char *text)
{
    return QString::fromLatin1(text);
}

constexpr int Overflow = platform::ErrOverflow;
constexpr int InvalidCall = platform::ErrInvalidCall;
constexpr qint32 LongMin = std::numeric_limits<qint32>::min();

} // namespace

TEST(clsString, VersionJoinsTheProjectNumbers)
{
    EXPECT_EQ(clsString::Version(), QStringLiteral(TALVINOR_VERSION_TEXT));
}

TEST(clsString, TextToHexGoesThroughTheCodePage)
{
    struct Case { const char16_t *text; const char *hex; } cases[] = {
        {u"", ""},
        {u"AB", "4142"},
        {u"\u011F\u0130\u20AC", "F0DD80"},  // Turkish letters and the euro sign of the page
        {u"\r\n|", "0D0A7C"},
        {u"a\u4E2Db", "613F62"},            // a character the page lacks counts as '?'
        {u"\U0001F600", "3F3F"},            // so does each half of a surrogate pair
    };
    for (const auto &c : cases)
        EXPECT_EQ(clsString::CStr2Hex(S(c.text)), L(c.hex)) << c.hex;
}

TEST(clsString, HexToTextReadsPairsAndAnOddLastDigit)
{
    struct Case { const char *hex; std::u16string_view text; } cases[] = {
        {"", u""sv},
        {"4142", u"AB"sv},
        {"414", u"A\u0004"sv},
        {"f0dd", u"\u011F\u0130"sv},
        {"1G", u"\u000F"sv},
        {"zz41", u"\u0000A"sv},
    };
    for (const auto &c : cases)
        EXPECT_EQ(clsString::CHex2Str(L(c.hex)), S(c.text)) << c.hex;
}

TEST(clsString, EveryByteSurvivesHexAndBack)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = platform::codepage::fromAnsi(all);
    const QString hex = clsString::CStr2Hex(text);
    EXPECT_EQ(hex, QString::fromLatin1(all.toHex().toUpper()));
    EXPECT_EQ(clsString::CHex2Str(hex), text);
}

TEST(clsString, HexToByteCountsOnlyFirstAndLastDigit)
{
    struct Case { const char *hex; int byte; } cases[] = {
        {"", 0}, {"a", 10}, {"ff", 255}, {"7F", 127},
        {"G1", 0}, {"1G", 15}, {"0G", 0}, {"GG", 0},
        {"ABC", 12}, {"ABCD", 0xAD},
    };
    for (const auto &c : cases)
        EXPECT_EQ(clsString::CHex2Byte(L(c.hex)), c.byte) << c.hex;
}

TEST(clsString, HexToLongTakesTheLastEightDigits)
{
    struct Case { const char *hex; qint32 value; } cases[] = {
        {"", 0}, {"1F", 31}, {"80000000", LongMin}, {"FFFFFFFF", -1}, {"ffffffff", -1},
        {"123456789", 591751049}, {"7FFFFFFF", 2147483647}, {"0000001G", 15},
    };
    for (const auto &c : cases)
        EXPECT_EQ(clsString::CHex2Lng(L(c.hex)), c.value) << c.hex;
}

TEST(clsString, HexToBitsPadsInFront)
{
    struct Case { const char *hex; const char *bits; } cases[] = {
        {"", "00000000"},
        {"aF", "10101111"},
        {"414", "0000010000010100"},
        {"G1", "00000000"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(clsString::CHex2Bin(L(c.hex)), L(c.bits)) << c.hex;
}

TEST(clsString, LongAndBitsInTwosComplement)
{
    EXPECT_EQ(clsString::CLng2Bin(-1), QString(32, QLatin1Char('1')));
    EXPECT_EQ(clsString::CLng2Bin(5), QString(29, QLatin1Char('0')) + QStringLiteral("101"));
    EXPECT_EQ(clsString::CLng2Bin(LongMin), QStringLiteral("1") + QString(31, QLatin1Char('0')));
    for (qint32 n : {0, 1, -1, 591751049, LongMin, 2147483647, -256})
        EXPECT_EQ(clsString::CBin2Lng(clsString::CLng2Bin(n)), n) << n;

    struct Case { const char *bits; qint32 value; } cases[] = {
        {"", 0}, {"101", 5}, {"2", 1}, {"x1", 1},
        // Below 32 characters the text is padded with "0", so a leading "1" is a plain bit.
        {"1111111111111111111111111111111", 2147483647},
    };
    for (const auto &c : cases)
        EXPECT_EQ(clsString::CBin2Lng(L(c.bits)), c.value) << c.bits;
}

TEST(clsString, BytesAndTextsToBits)
{
    EXPECT_EQ(clsString::CByte2Bin(0xA5), QStringLiteral("10100101"));
    EXPECT_EQ(clsString::CByte2Bin(0), QStringLiteral("00000000"));
    EXPECT_EQ(RaisedNumber([] { clsString::CByte2Bin(256); }), Overflow);
    EXPECT_EQ(RaisedNumber([] { clsString::CByte2Bin(-1); }), Overflow);

    EXPECT_EQ(clsString::CStr2Bin(u"A\u011F"), QStringLiteral("0100000111110000"));
    EXPECT_EQ(clsString::CStr2Bin(u"\u4E2D"), clsString::CStr2Bin(u"?"));
    EXPECT_EQ(clsString::CStr2Bin(u""), QString());
}

TEST(clsString, BitsToTextAndHexInGroupsOfEight)
{
    struct Case { const char *bits; std::u16string_view text; const char *hex; } cases[] = {
        {"", u""sv, ""},
        {"0100000101000010", u"AB"sv, "4142"},
        {"1000001", u"A"sv, "41"},
        {"111100001", u"\u0001\u00E1"sv, "01E1"},
        {"11110000", u"\u011F"sv, "F0"},
        {"2000000x", u"\u20AC"sv, "80"},   // non-zero digits count 1, other characters 0
        {"0000000000000000", u"\u0000\u0000"sv, "0000"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(clsString::CBin2Str(L(c.bits)), S(c.text)) << c.bits;
        EXPECT_EQ(clsString::CBin2Hex(L(c.bits)), L(c.hex)) << c.bits;
    }
}

TEST(clsString, DigitWiseOperationsPadTheShorterText)
{
    struct Case { const char *s1; const char *s2; const char *xorResult; const char *andResult; const char *orResult; } cases[] = {
        {"1", "0110", "0111", "0000", "0111"},
        {"1100", "1010", "0110", "1000", "1110"},
        {"", "", "", "", ""},
        {"", "11", "11", "00", "11"},
        {"9", "6", "15", "0", "15"},          // decimal text of each result
        {"a1", "11", "10", "01", "11"},
    };
    for (const auto &c : cases) {
        const QString s1 = L(c.s1), s2 = L(c.s2);
        EXPECT_EQ(clsString::BinXor(s1, s2), L(c.xorResult)) << c.s1 << " " << c.s2;
        EXPECT_EQ(clsString::BinAnd(s1, s2), L(c.andResult)) << c.s1 << " " << c.s2;
        EXPECT_EQ(clsString::BinOr(s1, s2), L(c.orResult)) << c.s1 << " " << c.s2;
    }
}

TEST(clsString, BitStringShiftsKeepTheLength)
{
    struct Case { const char *s; int bits; const char *right; const char *left; } cases[] = {
        {"1011", 0, "1011", "1011"},
        {"1011", 1, "0101", "0110"},
        {"1011", 4, "0000", "0000"},
        {"1011", 255, "0000", "0000"},
        {"", 3, "", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(clsString::ShiftBinRight(L(c.s), c.bits), L(c.right)) << c.s << c.bits;
        EXPECT_EQ(clsString::ShiftBinLeft(L(c.s), c.bits), L(c.left)) << c.s << c.bits;
    }
    EXPECT_EQ(RaisedNumber([] { clsString::ShiftBinLeft(u"1", 256); }), Overflow);
}

TEST(clsString, RotationsWrapOverShortTexts)
{
    struct Case { const char *s; int bits; const char *right; const char *left; } cases[] = {
        {"10000000", 13, "00000100", "00010000"},
        {"10000000", 5, "00000100", "00010000"},
        {"abc", 1, "cab", "bca"},
        {"abc", 3, "abc", "abc"},
        {"a", 255, "a", "a"},
        {"", 13, "", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(clsString::RollBinRight(L(c.s), c.bits), L(c.right)) << c.s << c.bits;
        EXPECT_EQ(clsString::RollBinLeft(L(c.s), c.bits), L(c.left)) << c.s << c.bits;
    }
}

TEST(clsString, LongShifts)
{
    struct Case { qint32 n; int bits; qint32 right; qint32 left; } cases[] = {
        {1, 0, 1, 1},
        {-7, 1, -3, -14},            // truncates toward zero, not an arithmetic shift
        {LongMin, 30, -2, 0},
        {1, 30, 0, 1 << 30},
        {0x12345678, 4, 0x01234567, 0x23456780},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(clsString::ShiftLngRight(c.n, c.bits), c.right) << c.n << ">>" << c.bits;
        EXPECT_EQ(clsString::ShiftLngLeft(c.n, c.bits), c.left) << c.n << "<<" << c.bits;
    }
    EXPECT_EQ(clsString::ShiftLngLeft(1, 31), LongMin);
    EXPECT_EQ(clsString::ShiftLngLeft(-1, 32), 0);
    EXPECT_EQ(clsString::ShiftLngLeft(-1, 255), 0);
    EXPECT_EQ(RaisedNumber([] { clsString::ShiftLngRight(1, 31); }), Overflow);
    EXPECT_EQ(RaisedNumber([] { clsString::ShiftLngRight(1, 300); }), Overflow);
}

TEST(clsString, RandomHexAndBits)
{
    for (int count : {0, 1, 7, 32766}) {
        const QString hex = clsString::RandomHex(count);
        EXPECT_EQ(hex.size(), count);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]*$")).match(hex).hasMatch()) << count;
    }
    for (int count : {0, 1, 9, 16383}) {
        const QString bits = clsString::RandomBin(count);
        EXPECT_EQ(bits.size(), count);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[01]*$")).match(bits).hasMatch()) << count;
    }
    // Reseeding on every call must not hand two quick calls the same digits.
    EXPECT_NE(clsString::RandomHex(64), clsString::RandomHex(64));

    EXPECT_EQ(RaisedNumber([] { clsString::RandomHex(-1); }), InvalidCall);
    EXPECT_EQ(RaisedNumber([] { clsString::RandomBin(-1); }), InvalidCall);
    EXPECT_EQ(RaisedNumber([] { clsString::RandomHex(32767); }), Overflow);
    EXPECT_EQ(RaisedNumber([] { clsString::RandomBin(16384); }), Overflow);
}

TEST(clsString, ChecksumsAddBytesModulo256)
{
    struct Case { const char *hex; int sum; const char *sumHex; } cases[] = {
        {"", 0, "00"}, {"FF01", 0, "00"}, {"0A", 10, "0A"}, {"ff02", 1, "01"},
        {"FFF", 14, "0E"},                  // padded to 0FFF
        {"G1", 0, "00"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(clsString::ChecksumInt(L(c.hex)), c.sum) << c.hex;
        EXPECT_EQ(clsString::ChecksumHex(L(c.hex)), L(c.sumHex)) << c.hex;
    }
    EXPECT_EQ(clsString::ChecksumInt(QString(32766, QLatin1Char('F'))), 16383 * 255 % 256);
}

TEST(clsString, PaddingToMultiples)
{
    struct Case { const char *s; int mod; const char *with; const char *left; const char *right; } cases[] = {
        {"", 2, "0", "00", "00"},
        {"A", 2, "0", "0A", "A0"},
        {"ABC", 2, "0", "0ABC", "ABC0"},
        {"AB", 2, "0", "AB", "AB"},
        {"abc", 4, "xy", "xabc", "abcx"},
        {"abcde", 4, "*", "***abcde", "abcde***"},
        {"", 3, "*", "***", "***"},
        {"A", 0, "0", "A", "A"},
        {"A", -2, "0", "A", "A"},
        {"ab", 4, "", "ab", "ab"},
        {"", 0, "", "", ""},
    };
    for (const auto &c : cases) {
        const QString s = L(c.s), with = L(c.with);
        EXPECT_EQ(clsString::LPad(s, c.mod, with), L(c.left)) << c.s << c.mod << c.with;
        EXPECT_EQ(clsString::RPad(s, c.mod, with), L(c.right)) << c.s << c.mod << c.with;
        if (qstrcmp(c.with, "0") == 0) {
            EXPECT_EQ(clsString::ZeroPad(s, c.mod), L(c.left)) << c.s << c.mod;
        }
    }
    EXPECT_EQ(RaisedNumber([] { clsString::LPad(u"", 2, u""); }), InvalidCall);
    EXPECT_EQ(RaisedNumber([] { clsString::RPad(u"", 2, u""); }), InvalidCall);
}

TEST(clsString, RepeatConcatAndSeparate)
{
    EXPECT_EQ(clsString::RepeatStr(3, u"ab", 0), QStringLiteral("ababab"));
    EXPECT_EQ(clsString::RepeatStr(3, u"ab", 3), QStringLiteral("aba"));
    EXPECT_EQ(clsString::RepeatStr(2, u"ab", 10), QStringLiteral("abab"));
    EXPECT_EQ(clsString::RepeatStr(0, u"ab", 0), QString());
    EXPECT_EQ(clsString::RepeatStr(-1, u"ab", 0), QString());
    EXPECT_EQ(clsString::RepeatStr(32767, u"", 5), QString());
    EXPECT_EQ(RaisedNumber([] { clsString::RepeatStr(2, u"ab", -1); }), InvalidCall);

    EXPECT_EQ(clsString::Concat(u"-", {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}), QStringLiteral("a-b-c"));
    EXPECT_EQ(clsString::Concat(u", ", {QStringLiteral("x")}), QStringLiteral("x"));
    EXPECT_EQ(clsString::Concat(u",", {}), QString());

    struct Case { const char *s; int n; const char *separator; const char *result; } cases[] = {
        {"ABCDEFG", 3, "-", "ABC-DEF-G"},
        {"ABCDEF", 3, "-", "ABC-DEF"},
        {"ABCDEFG", 0, "-", "ABCDEFG"},
        {"ABCDEFG", -3, "-", "ABCDEFG"},
        {"AB", 1, "::", "A::B"},
        {"AB", 5, "-", "AB"},
        {"", 2, "-", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(clsString::Separate(L(c.s), c.n, L(c.separator)), L(c.result))
            << c.s << c.n;
}

// Each member given a text of the length it still accepts and of one more.
TEST(clsString, SixteenBitLengthsOverflow)
{
    using Call = std::function<void(const QString &)>;
    struct Case { const char *member; qsizetype longest; Call call; } cases[] = {
        {"CStr2Hex", 32766, [](const QString &s) { clsString::CStr2Hex(s); }},
        {"CHex2Str", 32766, [](const QString &s) { clsString::CHex2Str(s); }},
        {"CHex2Bin", 32766, [](const QString &s) { clsString::CHex2Bin(s); }},
        {"CHex2Lng", 32766, [](const QString &s) { clsString::CHex2Lng(s); }},
        {"CHex2Byte", 32766, [](const QString &s) { clsString::CHex2Byte(s); }},
        {"CStr2Bin", 32766, [](const QString &s) { clsString::CStr2Bin(s); }},
        {"CBin2Lng", 32766, [](const QString &s) { clsString::CBin2Lng(s); }},
        {"CBin2Str", 32760, [](const QString &s) { clsString::CBin2Str(s); }},
        {"CBin2Hex", 32760, [](const QString &s) { clsString::CBin2Hex(s); }},
        {"BinXor s1", 32766, [](const QString &s) { clsString::BinXor(s, u"1"); }},
        {"BinAnd s2", 32766, [](const QString &s) { clsString::BinAnd(u"1", s); }},
        {"BinOr", 32766, [](const QString &s) { clsString::BinOr(s, s); }},
        {"ShiftBinRight", 32766, [](const QString &s) { clsString::ShiftBinRight(s, 1); }},
        {"ShiftBinLeft", 32766, [](const QString &s) { clsString::ShiftBinLeft(s, 1); }},
        {"RollBinRight", 32766, [](const QString &s) { clsString::RollBinRight(s, 13); }},
        {"RollBinLeft", 32766, [](const QString &s) { clsString::RollBinLeft(s, 13); }},
        {"ChecksumInt", 32766, [](const QString &s) { clsString::ChecksumInt(s); }},
        {"ChecksumHex", 32766, [](const QString &s) { clsString::ChecksumHex(s); }},
        {"ZeroPad", 32766, [](const QString &s) { clsString::ZeroPad(s, 2); }},
        {"LPad", 32766, [](const QString &s) { clsString::LPad(s, 4, u"x"); }},
        {"RPad", 32766, [](const QString &s) { clsString::RPad(s, 4, u"x"); }},
        {"RepeatStr", 32766, [](const QString &s) { clsString::RepeatStr(1, s, 0); }},
        {"Concat", 32766, [](const QString &s) { clsString::Concat(u",", {s}); }},
        {"Separate", 32766, [](const QString &s) { clsString::Separate(s, 2, u"-"); }},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(RaisedNumber([&] { c.call(QString(c.longest, QLatin1Char('1'))); }), 0) << c.member;
        EXPECT_EQ(RaisedNumber([&] { c.call(QString(c.longest + 1, QLatin1Char('1'))); }), Overflow) << c.member;
    }
    // The longest hex text decodes completely.
    EXPECT_EQ(clsString::CHex2Str(QString(32766, QLatin1Char('4'))), QString(16383, QLatin1Char('D')));
}

TEST(clsString, IntegerArgumentsAreSixteenBit)
{
    EXPECT_EQ(RaisedNumber([] { clsString::ZeroPad(u"A", 32767); }), 0);
    EXPECT_EQ(RaisedNumber([] { clsString::ZeroPad(u"A", 32768); }), Overflow);
    EXPECT_EQ(RaisedNumber([] { clsString::Separate(u"AB", -32769, u"-"); }), Overflow);
    EXPECT_EQ(RaisedNumber([] { clsString::RepeatStr(40000, u"a", 1); }), Overflow);
}
