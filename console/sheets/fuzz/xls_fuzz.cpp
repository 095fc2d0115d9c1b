#include "biffscan.h"
#include "readers.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

// The input is an .xls file. The scan of the workbook's records sees every
// input; what it lets through is read by FreeXL from a file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        sheets::biff::ScanWorkbook(file);
    } catch (const sheets::SheetError &) {
        return 0;
    }
    static const QString path = QDir::temp().filePath(QStringLiteral("sheets-fuzz-%1.xls").arg(getpid()));
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(file) != file.size())
        return 0;
    out.close();
    try {
        sheets::MakeXlsReader(path, file)->ReadFirstSheet([](const sheets::SheetRow &) {});
    } catch (const sheets::SheetError &) {
    }
    return 0;
}
