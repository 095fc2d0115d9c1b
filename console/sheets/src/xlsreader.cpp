#include "biffscan.h"
#include "readers.h"

namespace sheets {

namespace {

class XlsReader : public SheetReader {
public:
    explicit XlsReader(QByteArray file) : m_file(std::move(file)) {}

    SheetSummary ReadFirstSheet(const RowVisitor &visit) override { return biff::ReadWorkbook(m_file, visit); }

private:
    QByteArray m_file;
};

} // namespace

std::unique_ptr<SheetReader> MakeXlsReader(QByteArray file)
{
    return std::make_unique<XlsReader>(std::move(file));
}

} // namespace sheets
