#include "sheets/spreadsheetimport.h"

#include "xlsxwriter.h"

#include "text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sheets;
using xlsxwriter::Cell;

namespace {

class Import : public ::testing::Test {
protected:
    QString Path(const char *name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }

    QString Write(const char *name, const std::vector<xlsxwriter::Row> &rows)
    {
        const QString path = Path(name);
        EXPECT_TRUE(xlsxwriter::SaveWorkbook(path, {{S(u"Sheet1"), rows}}));
        return path;
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST(CheckPhonenumberFormat, AllowsOnlyDigitsAndNumberPunctuation)
{
    struct Case {
        const char16_t *text;
        bool taken;
    } const cases[] = {
        {u"", false},
        {u"5321234567", true},
        {u"+12 (345) 678-90-12", true},
        {u"[0532] '123'", true},
        {u"-", true},
        {u" ", true},
        {u"Phone", false},
        {u"0532 123 45 67 ext", false},
        {u"01/03/2024", false},
        {u"13:45:10", false},
        {u"2.5", false},
        {u"1e+20", false},
        {u"٠٥٣٢", false},  // digits of another script
    };
    for (const Case &c : cases)
        EXPECT_EQ(CheckPhonenumberFormat(S(c.text)), c.taken) << S(c.text).toStdString();
}

TEST_F(Import, PathsRefusedBeforeReading)
{
    QFile(Path("noextension")).open(QIODevice::WriteOnly);
    QFile(Path("list.csv")).open(QIODevice::WriteOnly);
    struct Case {
        QString path;
        const char16_t *key;
    } const cases[] = {
        {QString(), u"file_doesnt_exist"},
        {Path("missing.xlsx"), u"file_doesnt_exist"},
        {m_dir.path(), u"file_doesnt_exist"},
        {Path("noextension"), u"file_extension_is_missing"},
        {Path("list.csv"), u"file_doesnt_have_a_supported_extension"},
    };
    for (const Case &c : cases) {
        const ImportResult result = ImportSpreadsheet(c.path);
        EXPECT_TRUE(result.refused) << c.path.toStdString();
        EXPECT_EQ(result.messageKey, S(c.key)) << c.path.toStdString();
    }
}

TEST_F(Import, PathWithoutSeparatorIsRefused)
{
    Write("list.xlsx", {{Cell::Shared(S(u"Ali")), Cell::Number(5321234567)}});
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_dir.path()));
    const ImportResult result = ImportSpreadsheet(S(u"list.xlsx"));
    QDir::setCurrent(before);
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.messageKey, S(u"file_path_is_not_in_correct_syntax"));
}

TEST_F(Import, HeaderRowSkippedAndDataRowsTaken)
{
    const QString path = Write("list.XLSX", {
        {Cell::Shared(S(u"Name")), Cell::Shared(S(u"Phone"))},
        {Cell::Shared(S(u"Ayşe")), Cell::Number(5321234567)},
        {Cell::Shared(S(u"Letters")), Cell::Shared(S(u"abc"))},
        {Cell::Inline(S(u"Can")), Cell::Shared(S(u"+90 (532) 123-45-67"))},
    });
    const ImportResult result = ImportSpreadsheet(path);
    EXPECT_FALSE(result.refused);
    EXPECT_EQ(result.messageKey, S(u"x_suitable_records_found_in_excel_file"));
    ASSERT_EQ(result.rows.size(), 2);
    EXPECT_EQ(result.rows[0].name, S(u"Ayşe"));
    EXPECT_EQ(result.rows[0].number, S(u"5321234567"));
    EXPECT_EQ(result.rows[1].name, S(u"Can"));
    EXPECT_EQ(result.rows[1].number, S(u"+90 (532) 123-45-67"));
}

TEST_F(Import, EndsOfAnImportThatReadsTheSheet)
{
    struct Case {
        const char *name;
        std::vector<xlsxwriter::Row> rows;
        bool refused;
        const char16_t *key;
    } const cases[] = {
        {"nosuitable.xlsx", {{Cell::Shared(S(u"Name")), Cell::Shared(S(u"Phone"))}}, false,
         u"no_suitable_records_found_in_excel_file"},
        {"onecolumn.xlsx", {{Cell::Shared(S(u"Ali"))}, {Cell::Number(5321234567)}}, true,
         u"excel_file_doesnt_have_enough_columns"},
        {"empty.xlsx", {}, true, u"excel_file_doesnt_have_enough_columns"},
        // Columns A and B are read wherever the values begin: a value in
        // column C gives the sheet enough columns, but B stays empty.
        {"columnC.xlsx", {{Cell::Shared(S(u"Ali")), Cell(), Cell::Number(5321234567)}}, false,
         u"no_suitable_records_found_in_excel_file"},
    };
    for (const Case &c : cases) {
        const ImportResult result = ImportSpreadsheet(Write(c.name, c.rows));
        EXPECT_EQ(result.refused, c.refused) << c.name;
        EXPECT_EQ(result.messageKey, S(c.key)) << c.name;
        EXPECT_TRUE(result.rows.isEmpty()) << c.name;
    }
}

TEST_F(Import, WorkbookWithOnlyAChartSheetHasNoSheets)
{
    const QString path = Path("chart.xlsx");
    ASSERT_TRUE(xlsxwriter::SaveWorkbook(path, {{S(u"Chart1"), {}, true}}));
    const ImportResult result = ImportSpreadsheet(path);
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.messageKey, S(u"excel_file_doesnt_contain_any_sheets"));
}

TEST_F(Import, UnreadableFileIsRefusedWithItsReason)
{
    const QString path = Path("list.xlsx");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Name,Phone\r\nAli,5321234567\r\n");
    file.close();
    const ImportResult result = ImportSpreadsheet(path);
    EXPECT_TRUE(result.refused);
    EXPECT_EQ(result.messageKey, S(u"couldnt_open_excel_file"));
    EXPECT_FALSE(result.reason.isEmpty());
    EXPECT_TRUE(result.rows.isEmpty());
}
