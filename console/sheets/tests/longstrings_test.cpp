// .xls files whose shared strings run across CONTINUE records, written by
// xlwt, and an Excel 5/95 one (fixtures/make_long_strings.py, which builds
// the same texts).
#include "sheets/sheetreader.h"
#include "sheets/spreadsheetimport.h"

#include "sheetfixtures.h"
#include "text.h"

#include <QDir>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace sheets;

namespace {

const QString kLatin = S(u"Ali Veli Çöü ");
const QString kTurkish = S(u"Ayşe Çağlar Ğİ ");
const QString kWide = S(u"Ğ");
const QString kNarrow = S(u"b");

// Each pattern repeated and cut to its length, one after the other.
QString Text(const std::vector<std::pair<QString, qsizetype>> &parts)
{
    QString text;
    for (const auto &[pattern, length] : parts)
        text += pattern.repeated(length / pattern.size() + 1).left(length);
    return text;
}

std::vector<BulkRow> Rows(const ImportResult &result)
{
    return {result.rows.begin(), result.rows.end()};
}

} // namespace

namespace sheets {

bool operator==(const BulkRow &a, const BulkRow &b)
{
    return a.name == b.name && a.number == b.number;
}

void PrintTo(const BulkRow &row, std::ostream *os)
{
    *os << "{" << row.name.size() << " characters: " << row.name.left(30).toStdString() << "..., "
        << row.number.toStdString() << "}";
}

} // namespace sheets

TEST(LongSharedStrings, ALongNameInColumnAIsReadExactly)
{
    const struct {
        const char *file;
        QString name;
    } cases[] = {
        {"sst-8bit-1.xls", Text({{kLatin, 10000}})},
        {"sst-8bit-2.xls", Text({{kLatin, 20000}})},
        {"sst-8bit-3.xls", Text({{kLatin, 30000}})},
        {"sst-utf16-1.xls", Text({{kTurkish, 5000}})},
        {"sst-utf16-2.xls", Text({{kTurkish, 10000}})},
        {"sst-utf16-3.xls", Text({{kTurkish, 15000}})},
        {"sst-switching-1.xls", Text({{kLatin, 8200}, {kWide, 1000}})},
        {"sst-switching-2.xls", Text({{kLatin, 8200}, {kWide, 3000}, {kNarrow, 9000}})},
        {"sst-switching-3.xls", Text({{kLatin, 8200}, {kWide, 3000}, {kNarrow, 12000}})},
    };
    for (const auto &c : cases) {
        const ImportResult result = ImportSpreadsheet(SheetFixture(c.file));
        EXPECT_FALSE(result.refused) << c.file << ": " << result.reason.toStdString();
        const std::vector<BulkRow> expected = {
            {S(u"Ayşe Çağlar"), S(u"5321234567")}, {c.name, S(u"05321234567")}, {S(u"Ali Veli"), S(u"+90 532 123 45 67")}};
        EXPECT_EQ(Rows(result), expected) << c.file;
    }
}

TEST(LongSharedStrings, ALongTextInColumnCOrOnAnotherSheetLeavesTheNamesAndNumbers)
{
    for (const char *file : {"sst-column-c.xls", "sst-other-sheet.xls"}) {
        const ImportResult result = ImportSpreadsheet(SheetFixture(file));
        EXPECT_FALSE(result.refused) << file << ": " << result.reason.toStdString();
        const std::vector<BulkRow> expected = {{S(u"Ayşe Çağlar"), S(u"5321234567")}, {S(u"Ali Veli"), S(u"05321234568")}};
        EXPECT_EQ(Rows(result), expected) << file;
    }
}

TEST(LongSharedStrings, RichTextRunsAndAPhoneticBlockAcrossARecordAreLeftOut)
{
    const ImportResult result = ImportSpreadsheet(SheetFixture("sst-rich-phonetic.xls"));
    EXPECT_FALSE(result.refused) << result.reason.toStdString();
    const std::vector<BulkRow> expected = {{S(u"Zeynep Ş").repeated(1100), S(u"5321234567")},
                                           {Text({{kLatin, 7000}}), S(u"05321234568")},
                                           {S(u"Ali Veli"), S(u"5321234569")}};
    EXPECT_EQ(Rows(result), expected);
}

TEST(LongSharedStrings, AWorkbookOf3000RowsWithNamesUpToTheCapIsReadWhole)
{
    const ImportResult result = ImportSpreadsheet(SheetFixture("sst-3000-rows.xls"));
    EXPECT_FALSE(result.refused) << result.reason.toStdString();
    ASSERT_EQ(result.rows.size(), 3000);
    const std::pair<int, QString> longNames[] = {
        {100, Text({{kLatin, 10000}})},
        {1500, Text({{kTurkish, 20000}})},
        {2999, Text({{kLatin, 12000}, {kTurkish, 20767}})},
    };
    for (const auto &[row, name] : longNames) {
        EXPECT_EQ(result.rows[row - 1].name.size(), name.size()) << row;
        EXPECT_EQ(result.rows[row - 1].name, name) << row;
    }
    EXPECT_EQ(result.rows[2998].name.size(), 32767);
    EXPECT_EQ(result.rows[0], (BulkRow{S(u"Kişi 1"), S(u"05320000001")}));
    EXPECT_EQ(result.rows[2997], (BulkRow{S(u"Kişi 2998"), S(u"05320002998")}));
    EXPECT_EQ(result.rows[2999], (BulkRow{S(u"Kişi 3000"), S(u"05320003000")}));
}

TEST(LongSharedStrings, ATableThatHoldsFewerStringsThanItDeclaresIsRefused)
{
    const ImportResult result = ImportSpreadsheet(SheetFixture("sst-damaged.xls"));
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.messageKey, S(u"couldnt_open_excel_file"));
    EXPECT_TRUE(result.reason.contains(S(u"shared-string table"))) << result.reason.toStdString();
}

// An Excel 5/95 workbook keeps its texts in the code page it names.
TEST(OlderWorkbooks, TextsOfABiff5WorkbookAreReadInItsCodePage)
{
    const ImportResult result = ImportSpreadsheet(SheetFixture("biff5-cp1254.xls"));
    EXPECT_FALSE(result.refused) << result.reason.toStdString();
    const std::vector<BulkRow> expected = {{S(u"Ayşe Çağlar"), S(u"5321234567")},
                                           {S(u"Müge Işık"), S(u"05321234568")},
                                           {S(u"İbrahim Şahin"), S(u"+90 532 111 22 33")}};
    EXPECT_EQ(Rows(result), expected);
}
