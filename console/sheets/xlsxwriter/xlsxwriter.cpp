#include "xlsxwriter.h"

#include <QFile>

#include <zip.h>

#include <memory>

namespace xlsxwriter {

namespace {

QByteArray Escape(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray ColumnName(size_t index)
{
    QByteArray name;
    for (size_t n = index + 1; n > 0; n = (n - 1) / 26)
        name.prepend(char('A' + (n - 1) % 26));
    return name;
}

class Writer {
public:
    explicit Writer(const Options &options) : m_p(options.prefix.toUtf8()), m_options(options) {}

    std::map<QString, QByteArray> Parts(const std::vector<Sheet> &sheets)
    {
        std::map<QString, QByteArray> parts;
        QByteArray sheetList;
        QByteArray rels;
        QByteArray types;
        for (size_t i = 0; i < sheets.size(); ++i) {
            const QByteArray n = QByteArray::number(qulonglong(i + 1));
            const Sheet &sheet = sheets[i];
            const QByteArray kind = sheet.chart ? "chartsheet" : "worksheet";
            const QByteArray file = kind + "s/sheet" + n + ".xml";
            parts[QString::fromLatin1("xl/" + file)] = sheet.chart ? ChartSheet() : WorkSheet(sheet);
            sheetList += "<" + m_p + "sheet name=\"" + Escape(sheet.name) + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
            rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + kRel + kind + "\" Target=\"" + file + "\"/>";
            types += "<Override PartName=\"/xl/" + file + "\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml."
                     + kind + "+xml\"/>";
        }
        rels += "<Relationship Id=\"rIdS\" Type=\"" + kRel + "sharedStrings\" Target=\"sharedStrings.xml\"/>"
                "<Relationship Id=\"rIdT\" Type=\"" + kRel + "styles\" Target=\"styles.xml\"/>";
        parts[QStringLiteral("[Content_Types].xml")] =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
            + types + "</Types>";
        parts[QStringLiteral("_rels/.rels")] = Rels("<Relationship Id=\"rId1\" Type=\"" + kRel + "officeDocument\" Target=\"xl/workbook.xml\"/>");
        parts[QStringLiteral("xl/_rels/workbook.xml.rels")] = Rels(rels);
        parts[QStringLiteral("xl/workbook.xml")] =
            Root("workbook", "<" + m_p + "workbookPr" + (m_options.date1904 ? " date1904=\"1\"" : "") + "/><" + m_p + "sheets>"
                                 + sheetList + "</" + m_p + "sheets>");
        parts[QStringLiteral("xl/sharedStrings.xml")] = SharedStrings();
        // Style 0 is plain, style 1 a date.
        parts[QStringLiteral("xl/styles.xml")] =
            Root("styleSheet", "<" + m_p + "cellXfs count=\"2\"><" + m_p + "xf numFmtId=\"0\"/><" + m_p + "xf numFmtId=\"14\"/></"
                                   + m_p + "cellXfs>");
        return parts;
    }

private:
    inline static const QByteArray kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

    QByteArray Root(const QByteArray &name, const QByteArray &content) const
    {
        const QByteArray ns = m_p.isEmpty() ? QByteArray("xmlns") : "xmlns:" + m_p.chopped(1);
        return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<" + m_p + name + " " + ns
               + "=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                 "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
               + content + "</" + m_p + name + ">";
    }

    static QByteArray Rels(const QByteArray &content)
    {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
               + content + "</Relationships>";
    }

    QByteArray ChartSheet() const { return Root("chartsheet", "<" + m_p + "sheetViews/>"); }

    QByteArray WorkSheet(const Sheet &sheet)
    {
        QByteArray data;
        for (size_t r = 0; r < sheet.rows.size(); ++r) {
            const QByteArray rowNumber = QByteArray::number(qulonglong(r + 1));
            data += "<" + m_p + "row r=\"" + rowNumber + "\">";
            const Row &row = sheet.rows[r];
            for (size_t c = 0; c < row.size(); ++c)
                data += CellXml(row[c], ColumnName(c) + rowNumber);
            data += "</" + m_p + "row>";
        }
        return Root("worksheet", "<" + m_p + "sheetData>" + data + "</" + m_p + "sheetData>");
    }

    QByteArray CellXml(const Cell &cell, const QByteArray &reference)
    {
        const QByteArray open = "<" + m_p + "c r=\"" + reference + "\"";
        const QByteArray close = "</" + m_p + "c>";
        const auto v = [this](const QByteArray &value) { return "<" + m_p + "v>" + value + "</" + m_p + "v>"; };
        switch (cell.kind) {
        case Cell::Kind::Empty:
            return {};
        case Cell::Kind::Shared:
            return open + " t=\"s\">" + v(QByteArray::number(SharedIndex(cell.text))) + close;
        case Cell::Kind::Inline:
            return open + " t=\"inlineStr\"><" + m_p + "is><" + m_p + "t>" + Escape(cell.text) + "</" + m_p + "t></" + m_p + "is>" + close;
        case Cell::Kind::Number:
            return open + ">" + v(QByteArray::number(cell.number, 'g', 17)) + close;
        case Cell::Kind::Date:
            return open + " s=\"1\">" + v(QByteArray::number(cell.number, 'g', 17)) + close;
        case Cell::Kind::Boolean:
            return open + " t=\"b\">" + v(cell.number != 0 ? "1" : "0") + close;
        case Cell::Kind::Error:
            return open + " t=\"e\">" + v("#DIV/0!") + close;
        case Cell::Kind::FormulaText:
            return open + " t=\"str\"><" + m_p + "f>A1</" + m_p + "f>" + v(Escape(cell.text)) + close;
        case Cell::Kind::Raw:
            return cell.text.toUtf8();
        }
        return {};
    }

    int SharedIndex(const QString &text)
    {
        const auto [it, added] = m_sharedIndex.try_emplace(text, int(m_shared.size()));
        if (added)
            m_shared.push_back(text);
        return it->second;
    }

    QByteArray SharedStrings() const
    {
        QByteArray items;
        for (const QString &text : m_shared)
            items += "<" + m_p + "si><" + m_p + "t>" + Escape(text) + "</" + m_p + "t></" + m_p + "si>";
        return Root("sst", items);
    }

    QByteArray m_p;
    Options m_options;
    std::vector<QString> m_shared;
    std::map<QString, int> m_sharedIndex;
};

} // namespace

std::map<QString, QByteArray> WorkbookParts(const std::vector<Sheet> &sheets, const Options &options)
{
    return Writer(options).Parts(sheets);
}

bool SavePackage(const QString &path, const std::map<QString, QByteArray> &parts)
{
    QFile::remove(path);
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_EXCL, &error);
    if (!archive)
        return false;
    for (const auto &[name, content] : parts) {
        zip_source_t *source = zip_source_buffer(archive, content.constData(), zip_uint64_t(content.size()), 0);
        if (!source || zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

bool SaveWorkbook(const QString &path, const std::vector<Sheet> &sheets, const Options &options)
{
    return SavePackage(path, WorkbookParts(sheets, options));
}

} // namespace xlsxwriter
