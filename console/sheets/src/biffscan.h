#pragma once

#include "sheets/sheetreader.h"

#include <QByteArray>

// The .xls reader: walks the compound file and the workbook's BIFF records
// itself, refuses a damaged, encrypted or oversized workbook, and reads the
// cells of columns A and B of the first worksheet.
namespace sheets::biff {

// Hands each row of the first worksheet that holds a value in column A or
// B to `visit`, top to bottom. Raises SheetError for a damaged or encrypted
// workbook or one whose sheets declare more than kMaxXlsCells cells.
SheetSummary ReadWorkbook(const QByteArray &file, const RowVisitor &visit);

} // namespace sheets::biff
