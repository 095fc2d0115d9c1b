#pragma once

#include "sheets/sheetreader.h"

#include <QByteArray>

namespace sheets {

// `file` holds the whole file, already checked against the size cap.
std::unique_ptr<SheetReader> MakeXlsReader(QByteArray file);
std::unique_ptr<SheetReader> MakeXlsxReader(QByteArray file);

} // namespace sheets
