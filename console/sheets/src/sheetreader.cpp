#include "readers.h"

#include <QFile>
#include <QFileInfo>

namespace sheets {

SheetError::SheetError(const QString &reason) : std::runtime_error(reason.toStdString()), m_reason(reason) {}

std::unique_ptr<SheetReader> OpenSheetReader(const QString &path)
{
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension != u"xls" && extension != u"xlsx")
        return nullptr;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SheetError(QStringLiteral("cannot open the file: ") + file.errorString());
    // Checked before anything is read, so a huge file costs nothing.
    if (file.size() > kMaxFileSize)
        throw SheetError(QStringLiteral("the file is larger than %1 bytes").arg(kMaxFileSize));
    QByteArray content = file.read(kMaxFileSize + 1);
    if (content.size() > kMaxFileSize)
        throw SheetError(QStringLiteral("the file is larger than %1 bytes").arg(kMaxFileSize));
    if (extension == u"xls")
        return MakeXlsReader(std::move(content));
    return MakeXlsxReader(std::move(content));
}

} // namespace sheets
