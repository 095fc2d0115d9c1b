#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

// A small .xlsx writer: enough of the format to make workbooks for the
// readers' tests, benchmark and fuzz seeds, with ways to bend it the way
// other writers and hostile files do.
namespace xlsxwriter {

struct Cell {
    enum class Kind { Empty, Shared, Inline, Number, Date, Boolean, Error, FormulaText, Raw };
    Kind kind = Kind::Empty;
    QString text;       // Shared, Inline, FormulaText; Raw: the whole <c> element
    double number = 0;  // Number, Date (a serial date), Boolean (0 or 1)

    static Cell Shared(const QString &text) { return {Kind::Shared, text, 0}; }
    static Cell Inline(const QString &text) { return {Kind::Inline, text, 0}; }
    static Cell Number(double value) { return {Kind::Number, {}, value}; }
    static Cell Date(double serial) { return {Kind::Date, {}, serial}; }
    static Cell Boolean(bool value) { return {Kind::Boolean, {}, value ? 1.0 : 0.0}; }
    static Cell Error() { return {Kind::Error, {}, 0}; }
    static Cell FormulaText(const QString &cached) { return {Kind::FormulaText, cached, 0}; }
    static Cell Raw(const QString &element) { return {Kind::Raw, element, 0}; }
};

using Row = std::vector<Cell>;

struct Sheet {
    QString name;
    std::vector<Row> rows;
    bool chart = false;  // a chart sheet, with no cells
};

struct Options {
    QString prefix;  // written before every element name, e.g. "x:"
    bool date1904 = false;
};

// The parts of a workbook, by name, ready to be changed before saving.
std::map<QString, QByteArray> WorkbookParts(const std::vector<Sheet> &sheets, const Options &options = {});

// Writes the parts as a zip package; false when the file cannot be written.
bool SavePackage(const QString &path, const std::map<QString, QByteArray> &parts);

bool SaveWorkbook(const QString &path, const std::vector<Sheet> &sheets, const Options &options = {});

} // namespace xlsxwriter
