#include "readers.h"

#include "xlsxwriter.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

namespace {

// The parts a structured input replaces, in order.
const char *const kParts[] = {"xl/worksheets/sheet1.xml", "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml",
                              "xl/_rels/workbook.xml.rels"};

std::map<QString, QByteArray> BaseParts()
{
    using xlsxwriter::Cell;
    return xlsxwriter::WorkbookParts({{QStringLiteral("People"),
                                       {{Cell::Shared(QStringLiteral("Name")), Cell::Shared(QStringLiteral("Phone"))},
                                        {Cell::Shared(QStringLiteral("Ali")), Cell::Number(5321234567)},
                                        {Cell::Inline(QStringLiteral("Can")), Cell::Date(45352)}}}});
}

} // namespace

// The first byte chooses how the rest is used: as a whole .xlsx file (odd),
// or as the XML of the sheet, shared strings, styles, workbook and its
// relationships, separated by the byte 0x1E, packed into a valid zip so that
// the XML reaches the readers unchanged (even).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    QByteArray file;
    if (data[0] & 1) {
        file = body;
    } else {
        static const std::map<QString, QByteArray> base = BaseParts();
        std::map<QString, QByteArray> parts = base;
        const QList<QByteArray> pieces = body.split('\x1e');
        for (qsizetype i = 0; i < pieces.size() && i < qsizetype(std::size(kParts)); ++i)
            parts[QString::fromLatin1(kParts[i])] = pieces[i];
        static const QString path = QDir::temp().filePath(QStringLiteral("sheets-fuzz-%1.xlsx").arg(getpid()));
        if (!xlsxwriter::SavePackage(path, parts))
            return 0;
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return 0;
        file = in.readAll();
    }
    try {
        sheets::MakeXlsxReader(file)->ReadFirstSheet([](const sheets::SheetRow &) {});
    } catch (const sheets::SheetError &) {
    }
    return 0;
}
