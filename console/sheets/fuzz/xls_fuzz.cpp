#include "readers.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

// The input is an .xls file, read as an import reads it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        sheets::MakeXlsReader(file)->ReadFirstSheet([](const sheets::SheetRow &) {});
    } catch (const sheets::SheetError &) {
    }
    return 0;
}
