#include "sheets/sheetreader.h"

#include "xlsxwriter.h"

#include "text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zip.h>

#include <functional>

using namespace sheets;
using xlsxwriter::Cell;

namespace {

QByteArray B(const char *text)
{
    return QByteArray(text);
}

struct Read {
    SheetSummary summary;
    std::vector<SheetRow> rows;
};

Read ReadFile(const QString &path)
{
    Read read;
    const std::unique_ptr<SheetReader> reader = OpenSheetReader(path);
    if (!reader)
        throw std::logic_error("no reader for the extension");
    read.summary = reader->ReadFirstSheet([&read](const SheetRow &row) { read.rows.push_back(row); });
    return read;
}

using Parts = std::map<QString, QByteArray>;

const QString kSheet1 = QStringLiteral("xl/worksheets/sheet1.xml");

class Xlsx : public ::testing::Test {
protected:
    QString Path(const char *name) const { return QDir(m_dir.path()).filePath(QString::fromUtf8(name)); }

    QString Save(const Parts &parts, const char *name = "book.xlsx")
    {
        const QString path = Path(name);
        EXPECT_TRUE(xlsxwriter::SavePackage(path, parts));
        return path;
    }

    static Parts People(const xlsxwriter::Options &options = {})
    {
        return xlsxwriter::WorkbookParts({{S(u"People"),
                                           {{Cell::Shared(S(u"Name")), Cell::Shared(S(u"Phone"))},
                                            {Cell::Shared(S(u"Ayşe")), Cell::Number(5321234567)}}},
                                          {S(u"Other"), {{Cell::Shared(S(u"Not")), Cell::Number(1)}}}},
                                         options);
    }

    // Replaces `from` with `to` in the part `name`.
    static void Edit(Parts &parts, const QString &name, const char *from, const QByteArray &to)
    {
        ASSERT_TRUE(parts[name].contains(from)) << from;
        parts[name].replace(from, to);
    }

    void ExpectPeople(const QString &path)
    {
        const Read read = ReadFile(path);
        EXPECT_TRUE(read.summary.hasSheet);
        EXPECT_TRUE(read.summary.hasValueRightOfA);
        ASSERT_EQ(read.rows.size(), 2u);
        EXPECT_EQ(read.rows[1].columnA, S(u"Ayşe"));
        EXPECT_EQ(read.rows[1].columnB, S(u"5321234567"));
    }

    void ExpectRefused(const QString &path, const char *what)
    {
        try {
            ReadFile(path);
            ADD_FAILURE() << what << ": read without complaint";
        } catch (const SheetError &error) {
            EXPECT_FALSE(error.reason().isEmpty()) << what;
        }
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(Xlsx, EveryCellTypeBecomesText)
{
    struct Case {
        Cell cell;
        const char16_t *text;
    } const cases[] = {
        {Cell::Shared(S(u"Çağrı")), u"Çağrı"},
        {Cell::Inline(S(u"İnline")), u"İnline"},
        {Cell::Number(5321234567), u"5321234567"},
        {Cell::Number(2.5), u"2.5"},
        {Cell::Date(45352), u"01/03/2024"},
        {Cell::Boolean(true), u"TRUE"},
        {Cell::Boolean(false), u"FALSE"},
        {Cell::Error(), u""},
        {Cell::FormulaText(S(u"0532 123")), u"0532 123"},
        {Cell::Raw(S(u"<c r=\"B10\"><f>1+2</f><v>3</v></c>")), u"3"},
        {Cell::Raw(S(u"<c r=\"B11\" t=\"n\"><f>1+2</f><v></v></c>")), u""},
        {Cell::Raw(S(u"<c r=\"B12\" t=\"d\"><v>2024-03-01T08:30:00</v></c>")), u"01/03/2024 08:30:00"},
        {Cell::Raw(S(u"<c r=\"B13\" t=\"s\"><v>1</v></c>")), u"Çağrı"},
        {Cell::Raw(S(u"<c r=\"B14\" t=\"inlineStr\"><is><t>A_x000D_B</t></is></c>")), u"A\rB"},
    };
    std::vector<xlsxwriter::Row> rows;
    for (const Case &c : cases)
        rows.push_back({Cell::Shared(S(u"name")), c.cell});
    const Read read = ReadFile(Save(xlsxwriter::WorkbookParts({{S(u"Types"), rows}})));
    ASSERT_EQ(read.rows.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(read.rows[i].columnA, S(u"name"));
        EXPECT_EQ(read.rows[i].columnB, S(cases[i].text)) << "row " << i + 1;
    }
}

TEST_F(Xlsx, PrefixedElementNames)
{
    const Parts parts = People({S(u"x:"), false});
    ASSERT_TRUE(parts.at(kSheet1).contains("<x:row"));
    ExpectPeople(Save(parts));
}

TEST_F(Xlsx, ChartSheetFirstIsPassedOver)
{
    const Parts parts = xlsxwriter::WorkbookParts(
        {{S(u"Chart1"), {}, true},
         {S(u"People"), {{Cell::Shared(S(u"Name")), Cell::Shared(S(u"Phone"))}, {Cell::Shared(S(u"Ayşe")), Cell::Number(5321234567)}}}});
    ExpectPeople(Save(parts));
}

TEST_F(Xlsx, FirstSheetIsTheFirstInWorkbookOrderNotByPartName)
{
    Parts parts = People();
    // The workbook lists "Other" (sheet2.xml) before "People" (sheet1.xml).
    Edit(parts, S(u"xl/workbook.xml"), "<sheet name=\"People\" sheetId=\"1\" r:id=\"rId1\"/>", {});
    Edit(parts, S(u"xl/workbook.xml"), "</sheets>", B("<sheet name=\"People\" sheetId=\"1\" r:id=\"rId1\"/></sheets>"));
    const Read read = ReadFile(Save(parts));
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].columnA, S(u"Not"));
}

// Only the strings the first sheet names are kept; they are found whatever
// order the cells name them in and however many lie between.
TEST_F(Xlsx, SharedStringsNamedOutOfOrderAndWithGaps)
{
    const auto shared = [](const char *reference, int index) {
        return Cell::Raw(QStringLiteral("<c r=\"%1\" t=\"s\"><v>%2</v></c>").arg(QLatin1String(reference)).arg(index));
    };
    const Read read = ReadFile(Save(xlsxwriter::WorkbookParts(
        {{S(u"First"), {{shared("A1", 3), shared("B1", 1)}, {shared("A2", 1), shared("B2", 3)}, {shared("A3", 0)}}},
         {S(u"Strings"), {{Cell::Shared(S(u"zero")), Cell::Shared(S(u"one")), Cell::Shared(S(u"two")), Cell::Shared(S(u"three"))}}}})));
    ASSERT_EQ(read.rows.size(), 3u);
    EXPECT_EQ(read.rows[0].columnA, S(u"three"));
    EXPECT_EQ(read.rows[0].columnB, S(u"one"));
    EXPECT_EQ(read.rows[1].columnA, S(u"one"));
    EXPECT_EQ(read.rows[1].columnB, S(u"three"));
    EXPECT_EQ(read.rows[2].columnA, S(u"zero"));
    EXPECT_TRUE(read.rows[2].columnB.isEmpty());
}

TEST_F(Xlsx, RichTextRunsCountButPhoneticRunsDoNot)
{
    Parts parts = People();
    Edit(parts, S(u"xl/sharedStrings.xml"), "<si><t>Ayşe</t></si>",
         B("<si><r><t>Ay</t></r><r><rPr><b/></rPr><t xml:space=\"preserve\">şe </t></r>"
           "<rPh sb=\"0\" eb=\"2\"><t>アイ</t></rPh><phoneticPr fontId=\"1\"/></si>"));
    const Read read = ReadFile(Save(parts));
    ASSERT_EQ(read.rows.size(), 2u);
    EXPECT_EQ(read.rows[1].columnA, S(u"Ayşe "));
}

TEST_F(Xlsx, DatesFollowTheCellsNumberFormat)
{
    Parts parts = xlsxwriter::WorkbookParts(
        {{S(u"Dates"),
          {{Cell::Raw(S(u"<c r=\"A1\" s=\"2\"><v>45352.5</v></c>")), Cell::Raw(S(u"<c r=\"B1\" s=\"3\"><v>0.25</v></c>"))},
           {Cell::Raw(S(u"<c r=\"A2\" s=\"4\"><v>45352.5</v></c>")), Cell::Raw(S(u"<c r=\"B2\" s=\"9\"><v>5321234567</v></c>"))}}}},
        {QString(), true});
    Edit(parts, S(u"xl/styles.xml"), "<cellXfs count=\"2\">",
         B("<numFmts><numFmt numFmtId=\"164\" formatCode=\"dd.mm.yyyy hh:mm\"/><numFmt numFmtId=\"165\" "
           "formatCode=\"[$-41F]h:mm\"/><numFmt numFmtId=\"166\" formatCode=\"#,##0\"/></numFmts><cellXfs count=\"5\">"));
    Edit(parts, S(u"xl/styles.xml"), "</cellXfs>",
         B("<xf numFmtId=\"164\"/><xf numFmtId=\"165\"/><xf numFmtId=\"166\"/></cellXfs>"));
    const Read read = ReadFile(Save(parts));
    ASSERT_EQ(read.rows.size(), 2u);
    // The workbook counts its days from 1904.
    EXPECT_EQ(read.rows[0].columnA, S(u"02/03/2028 12:00:00"));
    EXPECT_EQ(read.rows[0].columnB, S(u"06:00:00"));
    EXPECT_EQ(read.rows[1].columnA, S(u"45352.5"));
    // A style index the workbook lacks shows the plain number.
    EXPECT_EQ(read.rows[1].columnB, S(u"5321234567"));
}

TEST_F(Xlsx, XmlFormsOtherWritersUse)
{
    Parts parts = People();
    Edit(parts, kSheet1, "<row r=\"2\">",
         B("<!-- <row r=\"9\"></row> --><?writer note?><row r='2' spans='1:2' x:extra='a>b'>"));
    Edit(parts, kSheet1, "<v>5321234567</v>", B("<v><![CDATA[5321234567]]></v>"));
    Edit(parts, kSheet1, "</sheetData>", B("<row r=\"3\"/></sheetData><!-- </sheetData> -->"));
    ExpectPeople(Save(parts));
}

TEST_F(Xlsx, ManyRowsReadInOrder)
{
    std::vector<xlsxwriter::Row> rows;
    for (int i = 0; i < 10000; ++i)
        rows.push_back({Cell::Shared(QStringLiteral("Kişi %1").arg(i)), Cell::Number(5320000000.0 + i)});
    const Read read = ReadFile(Save(xlsxwriter::WorkbookParts({{S(u"Many"), rows}})));
    ASSERT_EQ(read.rows.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(read.rows[i].columnA, QStringLiteral("Kişi %1").arg(i));
        ASSERT_EQ(read.rows[i].columnB, QString::number(5320000000LL + qint64(i)));
    }
}

TEST_F(Xlsx, RowsAndColumnsUpToTheFormatsLimits)
{
    const Parts parts = xlsxwriter::WorkbookParts(
        {{S(u"Edge"),
          {{Cell::Raw(S(u"<c r=\"A1048576\" t=\"inlineStr\"><is><t>Last</t></is></c>")),
            Cell::Raw(S(u"<c r=\"XFD1048576\"><v>1</v></c>"))}}}});
    QByteArray sheet = parts.at(kSheet1);
    sheet.replace("<row r=\"1\">", "<row r=\"1048576\">");
    Parts edited = parts;
    edited[kSheet1] = sheet;
    const Read read = ReadFile(Save(edited));
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].columnA, S(u"Last"));
    EXPECT_TRUE(read.summary.hasValueRightOfA);
}

TEST_F(Xlsx, CellTextUpToTheCap)
{
    const QString longest(kMaxCellText, u'x');
    const Read read = ReadFile(Save(xlsxwriter::WorkbookParts(
        {{S(u"Long"), {{Cell::Shared(longest), Cell::Inline(longest)}}}})));
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].columnA, longest);
    EXPECT_EQ(read.rows[0].columnB, longest);
}

// Each hostile or broken package is refused with a reason, never read in part.
TEST_F(Xlsx, HostileAndBrokenPackagesAreRefused)
{
    struct Case {
        const char *what;
        std::function<void(Parts &)> edit;
    } const cases[] = {
        {"shared-string index past the table",
         [](Parts &p) { Edit(p, kSheet1, "t=\"s\"><v>2</v>", B("t=\"s\"><v>4</v>")); }},
        {"shared-string index not a number", [](Parts &p) { Edit(p, kSheet1, "t=\"s\"><v>2</v>", B("t=\"s\"><v>-1</v>")); }},
        {"shared string over the cell cap",
         [](Parts &p) { Edit(p, S(u"xl/sharedStrings.xml"), "<t>Ayşe</t>", "<t>" + QByteArray(kMaxCellText + 1, 'x') + "</t>"); }},
        {"inline string over the cell cap",
         [](Parts &p) {
             Edit(p, kSheet1, "<c r=\"A2\" t=\"s\"><v>2</v></c>",
                  "<c r=\"A2\" t=\"inlineStr\"><is><r><t>" + QByteArray(kMaxCellText, 'x') + "</t></r><r><t>y</t></r></is></c>");
         }},
        {"zip bomb: the workbook part inflating past the cap",
         [](Parts &p) { Edit(p, S(u"xl/workbook.xml"), "<sheets>", QByteArray(kMaxPartSize, ' ') + "<sheets>"); }},
        {"zip bomb: the sheet inflating past the cap",
         [](Parts &p) { Edit(p, kSheet1, "<sheetData>", "<sheetData>" + QByteArray(kMaxStreamedPartSize, ' ')); }},
        {"one row larger than a reading batch",
         [](Parts &p) { Edit(p, kSheet1, "<row r=\"2\">", "<row r=\"2\">" + QByteArray(65 * 1024 * 1024, ' ')); }},
        {"a DTD in the sheet", [](Parts &p) { Edit(p, kSheet1, "<sheetData>", B("<!DOCTYPE x [<!ENTITY a \"b\">]><sheetData>")); }},
        {"sheet data never closed", [](Parts &p) { Edit(p, kSheet1, "</sheetData>", {}); }},
        {"sheet data closed by another element", [](Parts &p) { Edit(p, kSheet1, "</sheetData>", B("</sheetDatum>")); }},
        {"a DTD in the workbook", [](Parts &p) {
             Edit(p, S(u"xl/workbook.xml"), "<workbook", B("<!DOCTYPE workbook [<!ENTITY a \"aaaaaaaa\">]><workbook"));
         }},
        {"row past the last row", [](Parts &p) { Edit(p, kSheet1, "<row r=\"2\">", B("<row r=\"1048577\">")); }},
        {"column past the last column", [](Parts &p) { Edit(p, kSheet1, "r=\"B2\"", B("r=\"XFE2\"")); }},
        {"malformed reference", [](Parts &p) { Edit(p, kSheet1, "r=\"B2\"", B("r=\"2B\"")); }},
        {"unknown cell type", [](Parts &p) { Edit(p, kSheet1, "<c r=\"B2\">", B("<c r=\"B2\" t=\"q\">")); }},
        {"number cell without a number", [](Parts &p) { Edit(p, kSheet1, "<v>5321234567</v>", B("<v>53x</v>")); }},
        {"row not well-formed", [](Parts &p) { Edit(p, kSheet1, "</c></row>", B("</row></c>")); }},
        {"no workbook part", [](Parts &p) { p.erase(S(u"xl/workbook.xml")); }},
        {"worksheet part missing", [](Parts &p) { p.erase(kSheet1); }},
        {"no package relationships", [](Parts &p) { p.erase(S(u"_rels/.rels")); }},
        {"relationship type without a namespace",
         [](Parts &p) {
             Edit(p, S(u"_rels/.rels"), "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\"",
                  B("Type=\"officeDocument\""));
         }},
    };
    for (const Case &c : cases) {
        Parts parts = People();
        c.edit(parts);
        ExpectRefused(Save(parts), c.what);
    }
}

TEST_F(Xlsx, TruncatedOrMismatchedFilesAreRefused)
{
    const QString whole = Save(People());
    QFile file(whole);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    file.close();
    const auto write = [this](const char *name, const QByteArray &content) {
        QFile out(Path(name));
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(content);
        return Path(name);
    };
    ExpectRefused(write("truncated.xlsx", bytes.left(bytes.size() / 2)), "truncated");
    ExpectRefused(write("empty.xlsx", {}), "empty file");
    ExpectRefused(write("text.xlsx", "Name,Phone\n"), "text named .xlsx");
    ExpectRefused(write("zip.xls", bytes), "zip named .xls");
    // A damaged entry: its compressed bytes changed, so the CRC fails.
    QByteArray damaged = bytes;
    const qsizetype at = damaged.indexOf("xl/worksheets/sheet1.xml") + 40;
    for (qsizetype i = at; i < at + 20; ++i)
        damaged[i] = char(damaged[i] ^ 0x5A);
    ExpectRefused(write("damaged.xlsx", damaged), "damaged entry");
}

TEST_F(Xlsx, EncryptedEntryIsRefused)
{
    const QString path = Save(People());
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), 0, &error);
    ASSERT_NE(archive, nullptr);
    const zip_int64_t index = zip_name_locate(archive, "xl/worksheets/sheet1.xml", 0);
    ASSERT_GE(index, 0);
    ASSERT_EQ(zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256, "secret"), 0);
    ASSERT_EQ(zip_close(archive), 0);
    ExpectRefused(path, "encrypted entry");
}

TEST_F(Xlsx, FileOverTheSizeCapIsRefusedUnread)
{
    const QString path = Path("huge.xlsx");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kMaxFileSize + 1));
    file.close();
    ExpectRefused(path, "file over the size cap");
}

// Of the shared strings only those the sheet names are read, and the table
// is read no further than the last of them.
TEST_F(Xlsx, TheSharedStringsAreReadUpToTheLastOneNamed)
{
    Parts parts = xlsxwriter::WorkbookParts({{S(u"People"), {{Cell::Shared(S(u"Ali")), Cell::Number(5321234567)}}}});
    QByteArray before;
    for (int i = 0; i < 5000; ++i)
        before += "<si><t>unused " + QByteArray::number(i) + "</t></si>";
    Edit(parts, S(u"xl/sharedStrings.xml"), "<si>", before + "<si>");
    // Whatever follows the last string named is never looked at.
    Edit(parts, S(u"xl/sharedStrings.xml"), "</sst>", B("<si><t>broken</si><<<"));
    Edit(parts, kSheet1, "<v>0</v>", B("<v>5000</v>"));
    const Read read = ReadFile(Save(parts));
    ASSERT_EQ(read.rows.size(), 1u);
    EXPECT_EQ(read.rows[0].columnA, S(u"Ali"));
    EXPECT_EQ(read.rows[0].columnB, S(u"5321234567"));
}
