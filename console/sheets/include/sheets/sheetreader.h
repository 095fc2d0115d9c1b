#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>

namespace sheets {

// Refusal of a spreadsheet file: corrupt, encrypted, truncated, not what its
// extension says, or over one of the caps below. The text says why, for the
// error log.
class SheetError : public std::runtime_error {
public:
    explicit SheetError(const QString &reason);
    const QString &reason() const noexcept { return m_reason; }

private:
    QString m_reason;
};

// Caps that keep a hostile file from taking the console's memory.
inline constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
// Inflated size of a part of an .xlsx package: the sheet and its shared
// strings are read piece by piece and may be larger than the other parts,
// which are read whole.
inline constexpr qint64 kMaxPartSize = 32 * 1024 * 1024;
inline constexpr qint64 kMaxStreamedPartSize = 256 * 1024 * 1024;
// Cells an .xls workbook may declare in all its sheets together: a file
// within kMaxFileSize holds fewer cell records, so a larger declaration
// means a damaged workbook.
inline constexpr qint64 kMaxXlsCells = 8 * 1024 * 1024;
inline constexpr int kMaxCellText = 32767;
inline constexpr int kMaxXlsxRows = 1048576;
inline constexpr int kMaxXlsxColumns = 16384;

// The text of columns A and B of one row. An empty cell gives the empty text.
struct SheetRow {
    QString columnA;
    QString columnB;
};

using RowVisitor = std::function<void(const SheetRow &)>;

// What reading the first sheet found.
struct SheetSummary {
    bool hasSheet = false;          // the workbook holds a worksheet at all
    bool hasValueRightOfA = false;  // some cell right of column A holds a value
};

// Reads the first worksheet of a workbook. Chart sheets and other kinds of
// sheet do not count. Cells become text as a user would read them: whole
// numbers as plain digits, dates as dd/mm/yyyy and times as hh:nn:ss,
// booleans as TRUE or FALSE, a formula as its cached value, an error as the
// empty text.
class SheetReader {
public:
    virtual ~SheetReader() = default;

    // Hands each row that holds a cell to `row`, top to bottom. Raises
    // SheetError when the file cannot be read; rows handed out before that
    // are to be thrown away.
    virtual SheetSummary ReadFirstSheet(const RowVisitor &row) = 0;
};

// The reader for `path` by its extension, compared without case: "xls" or
// "xlsx". Returns nullptr for any other extension. Raises SheetError when the
// file is over the size cap or cannot be opened.
std::unique_ptr<SheetReader> OpenSheetReader(const QString &path);

} // namespace sheets
