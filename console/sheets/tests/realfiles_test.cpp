#include "sheets/sheetreader.h"
#include "sheets/spreadsheetimport.h"

#include "sheetfixtures.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sheets;

namespace {

const QString kLongName = S(u"Uzun İsim ") + S(u"Ğüşiöç").repeated(60);

struct Expected {
    QString name;
    QString number;
};

void ExpectRows(const ImportResult &result, const std::vector<Expected> &rows, const char *file)
{
    EXPECT_FALSE(result.refused) << file << ": " << result.reason.toStdString();
    EXPECT_EQ(result.messageKey, S(u"x_suitable_records_found_in_excel_file")) << file;
    ASSERT_EQ(size_t(result.rows.size()), rows.size()) << file;
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(result.rows[qsizetype(i)].name, rows[i].name) << file << " row " << i;
        EXPECT_EQ(result.rows[qsizetype(i)].number, rows[i].number) << file << " row " << i;
    }
}

std::vector<SheetRow> ReadRows(const QString &path)
{
    std::vector<SheetRow> rows;
    OpenSheetReader(path)->ReadFirstSheet([&rows](const SheetRow &row) { rows.push_back(row); });
    return rows;
}

} // namespace

// LibreOffice stores the results of formulas, so its files give every row;
// a chart inside the sheet is passed over.
TEST(RealFiles, SavedByLibreOffice)
{
    const std::vector<Expected> rows = {
        {S(u"Ayşe Çağlar"), S(u"5321234567")},     {S(u"Ali Veli"), S(u"+90 (532) 123-45-67")},
        {S(u"Formula"), S(u"5321234567")},         {kLongName, S(u"05321234567")},
        {S(u"TRUE"), S(u"0532 123 45 67")},        {S(u"Zeynep Ş"), S(u"5551234567")},
    };
    for (const char *file : {"libreoffice.xlsx", "libreoffice.xls", "chart.xls"})
        ExpectRows(ImportSpreadsheet(SheetFixture(file)), rows, file);
}

TEST(RealFiles, UpperCaseExtensionIsRead)
{
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(S(u"list.XLS"));
    ASSERT_TRUE(QFile::copy(SheetFixture("libreoffice.xls"), path));
    const ImportResult result = ImportSpreadsheet(path);
    EXPECT_FALSE(result.refused) << result.reason.toStdString();
    EXPECT_EQ(result.rows.size(), 6);
}

// The Python writers store no formula results: those cells are empty.
TEST(RealFiles, SavedByPythonWriters)
{
    const std::vector<Expected> rows = {
        {S(u"Ayşe Çağlar"), S(u"5321234567")}, {S(u"Ali Veli"), S(u"+90 (532) 123-45-67")}, {kLongName, S(u"05321234567")},
        {S(u"TRUE"), S(u"0532 123 45 67")},    {QString(), S(u"5551234567")},
    };
    for (const char *file : {"openpyxl.xlsx", "xlwt.xls"})
        ExpectRows(ImportSpreadsheet(SheetFixture(file)), rows, file);
}

TEST(RealFiles, DatesTimesFractionsAndErrorsReadAlikeInBothFormats)
{
    for (const char *file : {"libreoffice.xlsx", "libreoffice.xls"}) {
        const std::vector<SheetRow> rows = ReadRows(SheetFixture(file));
        ASSERT_EQ(rows.size(), 12u) << file;
        EXPECT_EQ(rows[3].columnB, S(u"01/03/2024")) << file;
        EXPECT_EQ(rows[9].columnB, S(u"13:45:10")) << file;
        EXPECT_EQ(rows[10].columnB, S(u"2.5")) << file;
        EXPECT_EQ(rows[11].columnB, QString()) << file;
    }
}

// The peak resident memory of this process in kilobytes since the last
// ResetPeakMemory().
long PeakMemoryKb()
{
    QFile status(S(u"/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

void ResetPeakMemory()
{
    QFile clearRefs(S(u"/proc/self/clear_refs"));
    ASSERT_TRUE(clearRefs.open(QIODevice::WriteOnly));
    clearRefs.write("5");
}

// Each is hostile or damaged: gigabytes of declared cells, or a record,
// the workbook or a directory entry that its own lengths overrun.
TEST(RealFiles, HostileXlsRefusedInBoundedMemory)
{
    ResetPeakMemory();
    for (const char *file : {"dimension-bomb.xls", "encrypted.xls", "truncated-sheet.xls", "long-label.xls",
                             "short-cell.xls", "bad-directory.xls", "twice-dimensioned.xls"}) {
        const ImportResult result = ImportSpreadsheet(SheetFixture(file));
        EXPECT_TRUE(result.refused) << file;
        EXPECT_EQ(result.messageKey, S(u"couldnt_open_excel_file")) << file;
    }
    // Loading the dimension bomb would take gigabytes.
    const long peak = PeakMemoryKb();
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 256L * 1024L);
}

TEST(RealFiles, TruncatedOrMisnamedXlsIsRefused)
{
    QTemporaryDir dir;
    QFile source(SheetFixture("libreoffice.xls"));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    struct Case {
        const char *name;
        QByteArray content;
    } const cases[] = {
        {"truncated.xls", bytes.left(bytes.size() / 2)},
        {"header-only.xls", bytes.left(512)},
        {"workbook.xlsx", bytes},
        {"text.xls", QByteArray("Name\tPhone\r\nAli\t5321234567\r\n")},
    };
    for (const Case &c : cases) {
        const QString path = QDir(dir.path()).filePath(QString::fromUtf8(c.name));
        QFile out(path);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(c.content);
        out.close();
        const ImportResult result = ImportSpreadsheet(path);
        EXPECT_TRUE(result.refused) << c.name;
        EXPECT_EQ(result.messageKey, S(u"couldnt_open_excel_file")) << c.name;
    }
}
