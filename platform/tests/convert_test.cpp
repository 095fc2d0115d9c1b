#include "platform/convert.h"
#include "platform/error.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Convert, NumbersInTheirUsualForms)
{
    struct Case { const char *text; double value; } cases[] = {
        {"60", 60}, {" 16395 ", 16395}, {"1.5", 1.5}, {"-3", -3}, {"+7", 7}, {"1.0", 1}, {"&H1F", 31}, {"1e3", 1000}, {".5", 0.5},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(ToDouble(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(Convert, FractionsRoundHalfToEven)
{
    EXPECT_EQ(ToLong(QStringLiteral("2.5")), 2);
    EXPECT_EQ(ToLong(QStringLiteral("3.5")), 4);
    EXPECT_EQ(ToInteger(QStringLiteral("-1.5")), -2);
}

TEST(Convert, NonNumbersAreTypeMismatch)
{
    for (const char *text : {"", "   ", "abc", "12abc", "1,5", "&Hxyz", "+", "--1", "+-1", "inf", "nan"}) {
        try {
            ToLong(QString::fromLatin1(text));
            ADD_FAILURE() << "no error for " << text;
        } catch (const Error &e) {
            EXPECT_EQ(e.number(), ErrTypeMismatch) << text;
        }
    }
}

TEST(Convert, OutOfRangeIsOverflow)
{
    struct Case { const char *text; bool integer; } cases[] = {
        {"32768", true}, {"-32769", true}, {"2147483648", false}, {"1e400", false},
    };
    for (const auto &c : cases) {
        try {
            c.integer ? ToInteger(QString::fromLatin1(c.text)) : ToLong(QString::fromLatin1(c.text));
            ADD_FAILURE() << "no error for " << c.text;
        } catch (const Error &e) {
            EXPECT_EQ(e.number(), ErrOverflow) << c.text;
        }
    }
    EXPECT_EQ(ToInteger(QStringLiteral("32767")), 32767);
}

TEST(Convert, LeadingNumberReadsUpToTheFirstOtherCharacter)
{
    struct Case { const char *text; double value; } cases[] = {
        {"230", 230}, {" 240abc", 240}, {"12.5.7", 12.5}, {"-4x", -4}, {"+9", 9}, {".5", 0.5},
        {"abc", 0}, {"", 0}, {"-", 0}, {".", 0}, {"x12", 0}, {"1,5", 1},
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(LeadingNumber(QString::fromLatin1(c.text)), c.value) << c.text;
}

TEST(Convert, AlphaIsRoundedHalfToEvenAndKeptWithin200To255)
{
    struct Case { const char *text; qint16 alpha; } cases[] = {
        {"230", 230}, {"150", 200}, {"300", 255}, {"240", 240}, {"abc", 200}, {"230.5", 230}, {"231.5", 232},
        {"199.5", 200}, {"255.5", 255}, {"99999999999", 255}, {"-99999999999", 200}, {"", 200},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Alpha(QString::fromLatin1(c.text)), c.alpha) << c.text;
}
