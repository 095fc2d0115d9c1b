#include "biffscan.h"

#include "celltext.h"
#include "sharedstrings.h"

#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <optional>
#include <vector>

namespace sheets::biff {

namespace {

[[noreturn]] void Damaged(const char *what)
{
    throw SheetError(QStringLiteral("the .xls file is damaged: ") + QString::fromLatin1(what));
}

quint16 U16(QByteArrayView data, qsizetype at)
{
    if (at < 0 || at + 2 > data.size())
        Damaged("a record is too short");
    return qFromLittleEndian<quint16>(data.data() + at);
}

quint32 U32(QByteArrayView data, qsizetype at)
{
    if (at < 0 || at + 4 > data.size())
        Damaged("a record is too short");
    return qFromLittleEndian<quint32>(data.data() + at);
}

constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFreeSector = 0xFFFFFFFF;

class CompoundFile {
public:
    explicit CompoundFile(const QByteArray &file) : m_file(file)
    {
        static const char signature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
        if (file.size() < 512 || !file.startsWith(QByteArrayView(signature, 8)))
            throw SheetError(QStringLiteral("the file is not an .xls workbook"));
        const int shift = U16(file, 0x1E);
        const int miniShift = U16(file, 0x20);
        if ((shift != 9 && shift != 12) || miniShift != 6)
            Damaged("bad sector size");
        m_sectorSize = qsizetype(1) << shift;
        m_miniCutoff = U32(file, 0x38);
        ReadFat();
        m_directory = ReadChain(U32(file, 0x30), -1);
        m_miniFat = ReadChain(U32(file, 0x3C), -1);
        if (m_directory.size() < 128 || m_directory.at(0x42) != 5)
            Damaged("no directory");
        CheckDirectory();
        // The root entry's stream holds the small streams.
        m_miniStream = ReadChain(U32(m_directory, 0x74), qint64(U32(m_directory, 0x78)));
    }

    std::optional<QByteArray> Stream(QStringView name) const
    {
        for (qsizetype at = 0; at + 128 <= m_directory.size(); at += 128) {
            const QByteArrayView entry(m_directory.constData() + at, 128);
            if (entry[0x42] != 2)
                continue;
            const int nameBytes = U16(entry, 0x40);
            if (nameBytes < 2 || nameBytes > 64)
                continue;
            const QString entryName = QString::fromUtf16(reinterpret_cast<const char16_t *>(entry.data()), nameBytes / 2 - 1);
            if (entryName.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            const qint64 size = U32(entry, 0x78);
            const quint32 start = U32(entry, 0x74);
            return size < m_miniCutoff ? ReadMiniChain(start, size) : ReadChain(start, size);
        }
        return std::nullopt;
    }

private:
    // Every entry is one of the known kinds and its name fits in it.
    void CheckDirectory() const
    {
        for (qsizetype at = 0; at + 128 <= m_directory.size(); at += 128) {
            const int type = m_directory.at(at + 0x42);
            const int nameBytes = U16(m_directory, at + 0x40);
            if ((type != 0 && type != 1 && type != 2 && type != 5) || nameBytes > 64 || nameBytes % 2 != 0)
                Damaged("a directory entry is wrong");
        }
    }

    qsizetype SectorCount() const { return m_file.size() / m_sectorSize - 1; }

    QByteArrayView Sector(quint32 id) const
    {
        if (id >= quint64(SectorCount()))
            Damaged("a sector lies outside the file");
        return QByteArrayView(m_file.constData() + (qsizetype(id) + 1) * m_sectorSize, m_sectorSize);
    }

    void ReadFat()
    {
        std::vector<quint32> fatSectors;
        for (int i = 0; i < 109; ++i)
            fatSectors.push_back(U32(m_file, 0x4C + 4 * i));
        quint32 difat = U32(m_file, 0x44);
        const qsizetype perDifat = m_sectorSize / 4 - 1;
        for (qsizetype guard = 0; difat != kEndOfChain && difat != kFreeSector; ++guard) {
            if (guard > SectorCount())
                Damaged("the sector table loops");
            const QByteArrayView sector = Sector(difat);
            for (qsizetype i = 0; i < perDifat; ++i)
                fatSectors.push_back(U32(sector, 4 * i));
            difat = U32(sector, 4 * perDifat);
        }
        for (const quint32 id : fatSectors) {
            if (id == kFreeSector || id == kEndOfChain)
                continue;
            if (qsizetype(m_fat.size()) > SectorCount())
                Damaged("the sector table is larger than the file");
            const QByteArrayView sector = Sector(id);
            for (qsizetype i = 0; i < m_sectorSize / 4; ++i)
                m_fat.push_back(U32(sector, 4 * i));
        }
    }

    // The sectors of a chain; `size` < 0 takes the whole chain.
    QByteArray ReadChain(quint32 start, qint64 size) const
    {
        QByteArray data;
        for (quint32 id = start; id != kEndOfChain && (size < 0 || data.size() < size); id = m_fat[id]) {
            if (id >= m_fat.size() || data.size() > m_file.size())
                Damaged("a stream's sector chain is broken");
            data.append(Sector(id));
        }
        if (size >= 0) {
            if (data.size() < size)
                Damaged("a stream is truncated");
            data.truncate(size);
        }
        return data;
    }

    QByteArray ReadMiniChain(quint32 start, qint64 size) const
    {
        QByteArray data;
        const qsizetype entries = m_miniFat.size() / 4;
        for (quint32 id = start; id != kEndOfChain && data.size() < size; id = U32(m_miniFat, 4 * qsizetype(id))) {
            if (id >= entries || (qsizetype(id) + 1) * 64 > m_miniStream.size() || data.size() > m_miniStream.size())
                Damaged("a small stream's chain is broken");
            data.append(m_miniStream.constData() + qsizetype(id) * 64, 64);
        }
        if (data.size() < size)
            Damaged("a small stream is truncated");
        data.truncate(size);
        return data;
    }

    const QByteArray &m_file;
    qsizetype m_sectorSize = 512;
    qint64 m_miniCutoff = 4096;
    std::vector<quint32> m_fat;
    QByteArray m_directory;
    QByteArray m_miniFat;
    QByteArray m_miniStream;
};

constexpr quint16 kFormula = 0x0006;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kDateMode = 0x0022;
constexpr quint16 kFilePass = 0x002F;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kXf = 0x00E0;
constexpr quint16 kSst = 0x00FC;
constexpr quint16 kDimension = 0x0200;
constexpr quint16 kLabel = 0x0204;
constexpr quint16 kBlank = 0x0201;
constexpr quint16 kNumber = 0x0203;
constexpr quint16 kRk = 0x027E;
constexpr quint16 kMulRk = 0x00BD;
constexpr quint16 kMulBlank = 0x00BE;
constexpr quint16 kLabelSst = 0x00FD;
constexpr quint16 kRString = 0x00D6;
constexpr quint16 kRow = 0x0208;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kBoolErr = 0x0205;
constexpr quint16 kString = 0x0207;
constexpr quint16 kFormat = 0x041E;
constexpr quint16 kSharedFormula = 0x04BC;
constexpr quint16 kArray = 0x0221;
constexpr quint16 kTable = 0x0236;
constexpr quint16 kContinue = 0x003C;
constexpr quint16 kBof = 0x0809;

struct Record {
    quint16 id;
    QByteArrayView data;
    qsizetype next;
};

Record RecordAt(const QByteArray &stream, qsizetype at)
{
    const quint16 id = U16(stream, at);
    const quint16 length = U16(stream, at + 2);
    if (at + 4 + length > stream.size())
        Damaged("the workbook stream is truncated");
    return {id, QByteArrayView(stream.constData() + at + 4, length), at + 4 + length};
}

// How the 8-bit texts of a BIFF5 workbook become text: in the code page
// that its CODEPAGE record names (Latin-1 when none or an unknown one).
class CodePage {
public:
    void Set(quint16 number)
    {
        QByteArray name;
        if (number >= 1250 && number <= 1258)
            name = "windows-" + QByteArray::number(number);
        else if (number == 10000 || number == 32768)
            name = "macintosh";
        else if (number == 32769)
            name = "windows-1252";
        else if (number != 367 && number != 1200)
            name = "cp" + QByteArray::number(number);
        m_decoder = name.isEmpty() ? QStringDecoder() : QStringDecoder(name.constData());
    }

    QString Text(QByteArrayView bytes) const
    {
        return m_decoder.isValid() ? m_decoder.decode(bytes) : QString::fromLatin1(bytes);
    }

private:
    mutable QStringDecoder m_decoder;
};

// A BIFF8 unicode string at `at`: 16-bit count, flags, then the characters
// (8-bit when compressed); a BIFF5 string is 8-bit characters of the
// workbook's code page.
QString StringAt(QByteArrayView data, qsizetype at, bool biff8, bool longCount, const CodePage &codePage)
{
    if (at >= data.size())
        Damaged("a string runs past its record");
    qsizetype count = longCount ? U16(data, at) : quint8(data.at(at));
    at += longCount ? 2 : 1;
    if (!biff8) {
        if (at + count > data.size())
            Damaged("a string runs past its record");
        return codePage.Text(data.sliced(at, count));
    }
    if (at >= data.size())
        Damaged("a string runs past its record");
    const quint8 flags = quint8(data.at(at++));
    if (flags & 0x08)
        at += 2;
    if (flags & 0x04)
        at += 4;
    const int width = (flags & 0x01) ? 2 : 1;
    if (at > data.size())
        Damaged("a string runs past its record");
    // A string cut by its record's end continues in the next record; what
    // the record holds is enough for a cell of columns A and B.
    count = qMin(count, (data.size() - at) / width);
    if (width == 1)
        return QString::fromLatin1(data.sliced(at, count));
    QString text(count, Qt::Uninitialized);
    for (qsizetype i = 0; i < count; ++i)
        text[i] = QChar(U16(data, at + 2 * i));
    return text;
}

// Refuses a string whose declared length runs past its record.
void CheckStringFits(QByteArrayView data, qsizetype at, bool biff8, bool longCount)
{
    if (at + (longCount ? 2 : 1) > data.size())
        Damaged("a string runs past its record");
    const qsizetype count = longCount ? U16(data, at) : quint8(data.at(at));
    at += longCount ? 2 : 1;
    qsizetype width = 1;
    if (biff8) {
        if (at >= data.size())
            Damaged("a string runs past its record");
        width = (data.at(at) & 0x01) ? 2 : 1;
        ++at;
    }
    if (at + count * width > data.size())
        Damaged("a string runs past its record");
}

struct Globals {
    bool biff8 = true;
    quint32 sstCount = 0;
    bool date1904 = false;
    std::map<int, QString> formats;
    std::vector<int> xfFormats;
    std::vector<std::pair<quint32, quint8>> sheets;  // substream offset and kind
    std::vector<QByteArrayView> sharedStrings;       // the SST record and its CONTINUE records
    CodePage codePage;                               // of the 8-bit texts of BIFF5

    celltext::NumberKind KindOfXf(quint16 xf) const
    {
        if (xf >= xfFormats.size())
            return celltext::NumberKind::Number;
        const int id = xfFormats[xf];
        const auto format = formats.find(id);
        return celltext::ClassifyNumberFormat(id, format == formats.end() ? QString() : format->second);
    }
};

// Each record must be as long as its fixed fields, and its strings and cell
// lists must fit.
void CheckLayout(const Record &record, const Globals &globals)
{
    static const std::map<quint16, qsizetype> minimum = {
        {kBof, 4},      {kCodePage, 2}, {kDateMode, 2}, {kXf, 16},     {kSst, 8},      {kBoundSheet, 8},
        {kFormat, 4},   {kDimension, 10}, {kRow, 16},   {kBlank, 6},   {kNumber, 14},  {kRk, 10},
        {kLabelSst, 10}, {kBoolErr, 8}, {kFormula, 20}, {kLabel, 8},   {kRString, 8},  {kMulRk, 12},
        {kMulBlank, 8},
    };
    const auto fixed = minimum.find(record.id);
    if (fixed != minimum.end() && record.data.size() < fixed->second)
        Damaged("a record is too short");
    switch (record.id) {
    case kBoundSheet:
        CheckStringFits(record.data, 6, globals.biff8, false);
        break;
    case kFormat:
        CheckStringFits(record.data, 2, globals.biff8, globals.biff8);
        break;
    case kLabel:
    case kRString:
        CheckStringFits(record.data, 6, globals.biff8, true);
        break;
    case kString:
        CheckStringFits(record.data, 0, globals.biff8, true);
        break;
    case kLabelSst:
        if (U32(record.data, 6) >= globals.sstCount)
            Damaged("a cell names a shared string that does not exist");
        break;
    case kMulRk:
    case kMulBlank: {
        // Row, first column, one entry per column, last column.
        const qsizetype entry = record.id == kMulRk ? 6 : 2;
        const qsizetype columns = U16(record.data, record.data.size() - 2) - U16(record.data, 2) + 1;
        if (columns < 1 || 6 + columns * entry != record.data.size())
            Damaged("a row of cells does not match its columns");
        break;
    }
    default:
        break;
    }
}

// The records from the workbook's first BOF to its EOF.
qsizetype ReadGlobals(const QByteArray &stream, Globals &globals)
{
    Record bof = RecordAt(stream, 0);
    if (bof.id != kBof)
        Damaged("the workbook does not begin with a BOF record");
    globals.biff8 = U16(bof.data, 0) == 0x0600;
    for (qsizetype at = bof.next; at + 4 <= stream.size();) {
        const Record record = RecordAt(stream, at);
        CheckLayout(record, globals);
        switch (record.id) {
        case kEof:
            return record.next;
        case kFilePass:
            throw SheetError(QStringLiteral("the .xls workbook is encrypted"));
        case kDateMode:
            globals.date1904 = U16(record.data, 0) == 1;
            break;
        case kCodePage:
            globals.codePage.Set(U16(record.data, 0));
            break;
        case kFormat:
            globals.formats[U16(record.data, 0)] = StringAt(record.data, 2, globals.biff8, globals.biff8, globals.codePage);
            break;
        case kXf:
            globals.xfFormats.push_back(U16(record.data, 2));
            break;
        case kBoundSheet:
            globals.sheets.emplace_back(U32(record.data, 0), quint8(U16(record.data, 4) >> 8));
            break;
        case kSst:
            // Every string takes at least three bytes.
            if (!globals.sharedStrings.empty())
                Damaged("the workbook has two shared-string tables");
            globals.sstCount = U32(record.data, 4);
            if (globals.sstCount > quint64(stream.size()) / 3)
                Damaged("the shared-string table claims more strings than the file holds");
            globals.sharedStrings.push_back(record.data);
            for (qsizetype next = record.next; next + 4 <= stream.size();) {
                const Record piece = RecordAt(stream, next);
                if (piece.id != kContinue)
                    break;
                globals.sharedStrings.push_back(piece.data);
                next = piece.next;
            }
            break;
        default:
            break;
        }
        at = record.next;
    }
    Damaged("the workbook has no end");
}

QString FormulaResult(const Record &record, const QByteArray &stream, const Globals &globals)
{
    if (record.data.size() < 14)
        Damaged("a formula record is too short");
    const QByteArrayView result = record.data.sliced(6, 8);
    if (U16(result, 6) != 0xFFFF) {
        double value;
        memcpy(&value, result.data(), sizeof value);
        return celltext::SerialText(qFromLittleEndian(value), globals.KindOfXf(U16(record.data, 4)), globals.date1904);
    }
    switch (quint8(result[0])) {
    case 0: {  // the text follows in a STRING record, after any shared-formula records
        for (qsizetype at = record.next; at + 4 <= stream.size();) {
            const Record next = RecordAt(stream, at);
            if (next.id == kString)
                return StringAt(next.data, 0, globals.biff8, true, globals.codePage);
            if (next.id != kSharedFormula && next.id != kArray && next.id != kTable)
                break;
            at = next.next;
        }
        return {};
    }
    case 1:
        return celltext::BooleanText(result[2] != 0);
    default:  // an error or the empty text
        return {};
    }
}

// What a record of the first worksheet says about one cell.
struct CellValue {
    QString text;
    qint64 sharedString = -1;  // index into the shared-string table, or -1
};

struct RowCells {
    std::optional<CellValue> columnA;
    std::optional<CellValue> columnB;
};

// A number stored in the 30 bits of an RK value: a whole number or the
// upper half of a double, either of them possibly a hundredth of it.
double RkNumber(quint32 rk)
{
    double value;
    if (rk & 0x02) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

class FirstWorksheet {
public:
    FirstWorksheet(const QByteArray &stream, const Globals &globals) : m_stream(stream), m_globals(globals) {}

    void Read(quint32 offset, SheetSummary &summary)
    {
        if (offset >= quint64(m_stream.size()) || RecordAt(m_stream, offset).id != kBof)
            Damaged("a sheet's position is wrong");
        int nested = 0;  // inside a chart embedded in the sheet
        for (qsizetype at = RecordAt(m_stream, offset).next; at + 4 <= m_stream.size();) {
            const Record record = RecordAt(m_stream, at);
            at = record.next;
            if (record.id == kBof) {
                ++nested;
            } else if (record.id == kEof) {
                if (nested-- == 0)
                    break;
            } else if (nested == 0) {
                Cell(record, summary);
            }
        }
    }

    // The rows, top to bottom, with the shared strings they name.
    void Visit(const RowVisitor &visit) const
    {
        std::vector<quint32> named;
        for (const auto &[row, cells] : m_rows)
            for (const std::optional<CellValue> *cell : {&cells.columnA, &cells.columnB})
                if (*cell && (*cell)->sharedString >= 0)
                    named.push_back(quint32((*cell)->sharedString));
        std::sort(named.begin(), named.end());
        named.erase(std::unique(named.begin(), named.end()), named.end());
        const std::vector<QString> texts = named.empty() ? std::vector<QString>()
                                                         : ReadSharedStrings(m_globals.sharedStrings, named);
        const auto text = [&](const std::optional<CellValue> &cell) {
            if (!cell)
                return QString();
            if (cell->sharedString < 0)
                return cell->text;
            return texts[size_t(std::lower_bound(named.begin(), named.end(), quint32(cell->sharedString)) - named.begin())];
        };
        for (const auto &[row, cells] : m_rows)
            visit({text(cells.columnA), text(cells.columnB)});
    }

private:
    void Cell(const Record &record, SheetSummary &summary)
    {
        static const quint16 cells[] = {kLabelSst, kLabel, kRString, kNumber, kRk, kMulRk, kFormula, kBoolErr};
        if (std::find(std::begin(cells), std::end(cells), record.id) == std::end(cells))
            return;
        const quint16 row = U16(record.data, 0);
        const quint16 column = U16(record.data, 2);
        switch (record.id) {
        case kLabelSst:
            Put(row, column, summary, [&] { return CellValue{QString(), U32(record.data, 6)}; });
            break;
        case kLabel:
        case kRString:
            Put(row, column, summary, [&] { return CellValue{StringAt(record.data, 6, m_globals.biff8, true, m_globals.codePage)}; });
            break;
        case kNumber:
            Put(row, column, summary, [&] {
                double value;
                memcpy(&value, record.data.data() + 6, sizeof value);
                return CellValue{Number(qFromLittleEndian(value), U16(record.data, 4))};
            });
            break;
        case kRk:
            Put(row, column, summary, [&] { return CellValue{Number(RkNumber(U32(record.data, 6)), U16(record.data, 4))}; });
            break;
        case kMulRk:
            // Row, first column, an XF and an RK value per column, last column.
            for (qsizetype i = 0; i < (record.data.size() - 6) / 6; ++i)
                Put(row, quint16(column + i), summary,
                    [&] { return CellValue{Number(RkNumber(U32(record.data, 6 + 6 * i)), U16(record.data, 4 + 6 * i))}; });
            break;
        case kFormula:
            Put(row, column, summary, [&] { return CellValue{FormulaResult(record, m_stream, m_globals)}; });
            break;
        case kBoolErr:
            // An error shows as the empty text.
            Put(row, column, summary, [&] {
                return CellValue{record.data[7] == 0 ? celltext::BooleanText(record.data[6] != 0) : QString()};
            });
            break;
        default:
            break;
        }
    }

    QString Number(double value, quint16 xf) const
    {
        return celltext::SerialText(value, m_globals.KindOfXf(xf), m_globals.date1904);
    }

    // A cell with a value; only those of columns A and B are read.
    template <class Read>
    void Put(quint16 row, quint16 column, SheetSummary &summary, const Read &read)
    {
        if (column >= 1)
            summary.hasValueRightOfA = true;
        if (column > 1)
            return;
        CellValue value = read();
        celltext::CheckCellLength(value.text.size());
        RowCells &cells = m_rows[row];
        (column == 0 ? cells.columnA : cells.columnB) = std::move(value);
    }

    const QByteArray &m_stream;
    const Globals &m_globals;
    std::map<quint16, RowCells> m_rows;
};

// Walks the sheets' substreams after the workbook's own: each opens with a
// BOF and closes with an EOF (charts inside a sheet nest their own), every
// sheet the workbook lists begins at one of them, and nothing but padding
// follows the last; each declares its size at most once, and the sheets'
// dimensions together declare no more cells than the cap.
void CheckSheets(const QByteArray &stream, qsizetype from, const Globals &globals)
{
    qint64 cells = 0;
    int depth = 0;
    // Whether each open substream has had its DIMENSION record: a second
    // one in the same sheet is damage.
    std::vector<bool> dimensioned;
    std::vector<qsizetype> starts;
    qsizetype at = from;
    for (; at + 4 <= stream.size();) {
        const Record record = RecordAt(stream, at);
        CheckLayout(record, globals);
        if (record.id == kBof) {
            if (depth == 0)
                starts.push_back(at);
            ++depth;
            dimensioned.push_back(false);
        } else if (depth == 0) {
            break;  // the padding after the last sheet
        } else if (record.id == kEof) {
            --depth;
            dimensioned.pop_back();
        } else if (record.id == kDimension) {
            if (dimensioned.back())
                Damaged("a sheet declares its size twice");
            dimensioned.back() = true;
            const qint64 rows = globals.biff8 ? U32(record.data, 4) : U16(record.data, 2);
            const qint64 columns = globals.biff8 ? U16(record.data, 10) : U16(record.data, 6);
            cells += rows * columns;
            if (cells > kMaxXlsCells)
                throw SheetError(QStringLiteral("the .xls workbook declares more than %1 cells").arg(kMaxXlsCells));
        }
        at = record.next;
    }
    if (depth != 0)
        Damaged("a sheet is truncated");
    for (; at < stream.size(); ++at)
        if (stream.at(at) != 0)
            Damaged("data follows the last sheet");
    for (const auto &[offset, kind] : globals.sheets)
        if (std::find(starts.begin(), starts.end(), qsizetype(offset)) == starts.end())
            Damaged("a sheet's position is wrong");
}

} // namespace

SheetSummary ReadWorkbook(const QByteArray &file, const RowVisitor &visit)
{
    const CompoundFile compound(file);
    std::optional<QByteArray> stream = compound.Stream(u"Workbook");
    if (!stream)
        stream = compound.Stream(u"Book");
    if (!stream)
        throw SheetError(QStringLiteral("the file holds no .xls workbook"));

    Globals globals;
    const qsizetype sheetsFrom = ReadGlobals(*stream, globals);
    CheckSheets(*stream, sheetsFrom, globals);
    SheetSummary summary;
    for (const auto &[offset, kind] : globals.sheets) {
        if (kind != 0)
            continue;
        summary.hasSheet = true;
        FirstWorksheet sheet(*stream, globals);
        sheet.Read(offset, summary);
        sheet.Visit(visit);
        break;
    }
    return summary;
}

} // namespace sheets::biff
