#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace platform::codepage;

TEST(Codepage, TurkishLettersHaveTheirWindows1254Bytes)
{
    struct Case { char16_t unit; unsigned char byte; } cases[] = {
        {u'A', 0x41}, {u'\u011F', 0xF0}, {u'\u015F', 0xFE}, {u'\u0130', 0xDD},
        {u'\u0131', 0xFD}, {u'\u20AC', 0x80}, {u'\u00E9', 0xE9}, {u'\u00C7', 0xC7},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(ansiCode(QChar(c.unit)), c.byte) << int(c.unit);
        EXPECT_EQ(ansiChar(c.byte), QChar(c.unit)) << int(c.byte);
    }
}

TEST(Codepage, CharacterThePageLacksBecomesQuestionMark)
{
    EXPECT_EQ(ansiCode(QChar(u'\u4E2D')), '?');
    EXPECT_EQ(toAnsi(u"a\u4E2Db"), QByteArray("a?b"));
}

TEST(Codepage, EveryByteSurvivesTheRoundTrip)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(toAnsi(fromAnsi(all)), all);
}

TEST(Codepage, UndefinedBytesKeepTheirOwnCode)
{
    EXPECT_EQ(ansiChar(0x81), QChar(0x81));
    EXPECT_EQ(ansiCode(QChar(0x81)), 0x81);
}

TEST(Codepage, DefaultPageIsWindows1254)
{
    if (!qEnvironmentVariableIsEmpty("TALVINOR_CODEPAGE"))
        GTEST_SKIP() << "another page chosen";
    EXPECT_EQ(name(), QStringLiteral("WINDOWS-1254"));
}
