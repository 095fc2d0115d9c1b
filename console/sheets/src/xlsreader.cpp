#include "biffscan.h"
#include "celltext.h"
#include "readers.h"

#include <QFile>

#include <freexl.h>

namespace sheets {

namespace {

class FreeXlHandle {
public:
    explicit FreeXlHandle(const QString &path)
    {
        const int result = freexl_open(QFile::encodeName(path).constData(), &m_handle);
        if (result != FREEXL_OK) {
            // FreeXL keeps what it read so far until the handle is closed,
            // even when opening fails.
            freexl_close(m_handle);
            Check(result, "open the workbook");
        }
    }
    ~FreeXlHandle() { freexl_close(m_handle); }
    FreeXlHandle(const FreeXlHandle &) = delete;
    FreeXlHandle &operator=(const FreeXlHandle &) = delete;

    const void *get() const { return m_handle; }

    static void Check(int result, const char *what)
    {
        if (result != FREEXL_OK)
            throw SheetError(QStringLiteral("FreeXL could not %1 (error %2)").arg(QLatin1String(what)).arg(result));
    }

private:
    const void *m_handle = nullptr;
};

QString CellText(const FreeXL_CellValue &cell)
{
    switch (cell.type) {
    case FREEXL_CELL_INT:
        return QString::number(cell.value.int_value);
    case FREEXL_CELL_DOUBLE:
        return celltext::NumberText(cell.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
        return QString::fromUtf8(cell.value.text_value);
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME: {
        // FreeXL writes "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS".
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        const char *text = cell.value.text_value;
        if (cell.type == FREEXL_CELL_TIME) {
            sscanf(text, "%d:%d:%d", &h, &mi, &s);
            return celltext::DateTimeText(y, mo, d, h, mi, s, celltext::NumberKind::Time);
        }
        sscanf(text, "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
        return celltext::DateTimeText(y, mo, d, h, mi, s,
                                      cell.type == FREEXL_CELL_DATE ? celltext::NumberKind::Date
                                                                    : celltext::NumberKind::DateTime);
    }
    default:
        return {};
    }
}

class XlsReader : public SheetReader {
public:
    XlsReader(const QString &path, QByteArray file) : m_path(path), m_file(std::move(file)) {}

    SheetSummary ReadFirstSheet(const RowVisitor &visit) override
    {
        // The scan refuses what FreeXL must not load, and only then is the
        // copy of the file let go.
        const biff::WorkbookScan scan = biff::ScanWorkbook(m_file);
        m_file = QByteArray();
        SheetSummary summary;
        if (scan.firstWorksheet < 0)
            return summary;
        summary.hasSheet = true;
        summary.hasValueRightOfA = scan.valueRightOfA;

        const FreeXlHandle workbook(m_path);
        unsigned int info = 0;
        FreeXlHandle::Check(freexl_get_info(workbook.get(), FREEXL_BIFF_PASSWORD, &info), "read the workbook");
        if (info == FREEXL_BIFF_OBFUSCATED)
            throw SheetError(QStringLiteral("the .xls workbook is encrypted"));
        FreeXlHandle::Check(freexl_get_info(workbook.get(), FREEXL_BIFF_SHEET_COUNT, &info), "read the workbook");
        // FreeXL may list only the worksheets; then the first is the one.
        const unsigned short index = info == unsigned(scan.sheetCount) ? scan.firstWorksheet : 0;
        FreeXlHandle::Check(freexl_select_active_worksheet(workbook.get(), index), "select the first sheet");
        unsigned int rows = 0;
        unsigned short columns = 0;
        FreeXlHandle::Check(freexl_worksheet_dimensions(workbook.get(), &rows, &columns), "read the sheet's size");

        for (unsigned int row = 0; row < rows; ++row) {
            SheetRow texts;
            bool hasCell = false;
            for (unsigned short column = 0; column < columns; ++column) {
                if (column >= 2 && summary.hasValueRightOfA)
                    break;
                FreeXL_CellValue cell;
                FreeXlHandle::Check(freexl_get_cell_value(workbook.get(), row, column, &cell), "read a cell");
                const auto formula = scan.cells.find({row, column});
                const bool hasValue = cell.type != FREEXL_CELL_NULL || formula != scan.cells.end();
                if (!hasValue)
                    continue;
                hasCell = true;
                if (column >= 1)
                    summary.hasValueRightOfA = true;
                if (column >= 2)
                    continue;
                QString text = formula != scan.cells.end() ? formula->second : CellText(cell);
                celltext::CheckCellLength(text.size());
                (column == 0 ? texts.columnA : texts.columnB) = std::move(text);
            }
            if (hasCell)
                visit(texts);
        }
        return summary;
    }

private:
    QString m_path;
    QByteArray m_file;
};

} // namespace

std::unique_ptr<SheetReader> MakeXlsReader(const QString &path, QByteArray file)
{
    return std::make_unique<XlsReader>(path, std::move(file));
}

} // namespace sheets
