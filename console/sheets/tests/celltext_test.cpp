#include "celltext.h"

#include <gtest/gtest.h>

using namespace sheets::celltext;

TEST(CellText, NumberFormatsThatShowDatesAndTimes)
{
    struct Case {
        int id;
        const char16_t *code;
        NumberKind kind;
    } const cases[] = {
        {0, u"", NumberKind::Number},
        {2, u"", NumberKind::Number},
        {14, u"", NumberKind::Date},
        {20, u"", NumberKind::Time},
        {22, u"", NumberKind::DateTime},
        {47, u"", NumberKind::Time},
        {164, u"General", NumberKind::Number},
        {164, u"dd/mm/yyyy", NumberKind::Date},
        {165, u"yyyy\\-mm\\-dd\\ h:mm:ss", NumberKind::DateTime},
        {166, u"h:mm:ss", NumberKind::Time},
        {167, u"mm:ss", NumberKind::Time},
        {168, u"[h]:mm", NumberKind::Time},
        {169, u"mmm", NumberKind::Date},
        {170, u"[$-41F]dd.mm.yyyy;@", NumberKind::Date},
        {171, u"0.00E+00", NumberKind::Number},
        {172, u"#,##0 \"day\"", NumberKind::Number},
        {173, u"[Red]0.00", NumberKind::Number},
        {174, u"0;\"d\"", NumberKind::Number},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ClassifyNumberFormat(c.id, QStringView(c.code)), c.kind) << QString::fromUtf16(c.code).toStdString();
}

TEST(CellText, NumbersAsAUserReadsThem)
{
    struct Case {
        double value;
        const char *text;
    } const cases[] = {
        {5321234567.0, "5321234567"}, {905321234567.0, "905321234567"}, {0, "0"}, {-12, "-12"},
        {2.5, "2.5"}, {0.1 + 0.2, "0.3"}, {1e20, "1e+20"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(NumberText(c.value), QLatin1String(c.text)) << c.value;
}

TEST(CellText, SerialDates)
{
    struct Case {
        double serial;
        NumberKind kind;
        bool date1904;
        const char *text;
    } const cases[] = {
        {45352, NumberKind::Date, false, "01/03/2024"},
        {45352.35416666666, NumberKind::DateTime, false, "01/03/2024 08:30:00"},
        {0.573032407407408, NumberKind::Time, false, "13:45:10"},
        {1, NumberKind::Date, false, "01/01/1900"},
        {59, NumberKind::Date, false, "28/02/1900"},
        {60, NumberKind::Date, false, "29/02/1900"},
        {61, NumberKind::Date, false, "01/03/1900"},
        {0, NumberKind::Date, true, "01/01/1904"},
        {43890, NumberKind::Date, true, "01/03/2024"},
        {0.99999999, NumberKind::Time, false, "00:00:00"},
        {-1, NumberKind::Date, false, "-1"},
        {3e6, NumberKind::Date, false, "3000000"},
        {45352, NumberKind::Number, false, "45352"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(SerialText(c.serial, c.kind, c.date1904), QLatin1String(c.text)) << c.serial;
}
