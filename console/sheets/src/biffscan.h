#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <utility>

// A first look at an .xls file before the FreeXL reader loads it. FreeXL
// builds a table for every cell that a sheet's dimensions declare, so a file
// of a few kilobytes could ask for gigabytes; and it leaves formula results
// and booleans out. This scan walks the compound file and the workbook's
// records itself, refuses what FreeXL should never see, and picks up those
// cells of the first worksheet.
namespace sheets::biff {

struct WorkbookScan {
    int sheetCount = 0;            // sheets of every kind, in workbook order
    int firstWorksheet = -1;       // position of the first worksheet, -1 when none
    // Text of the formula and boolean cells of columns A and B of the first
    // worksheet, by (row, column).
    std::map<std::pair<quint32, quint16>, QString> cells;
    bool valueRightOfA = false;    // such a cell right of column A
};

// Scans a whole .xls file. Raises SheetError for a damaged or encrypted
// workbook or one whose sheets declare more than kMaxXlsCells cells.
WorkbookScan ScanWorkbook(const QByteArray &file);

} // namespace sheets::biff
