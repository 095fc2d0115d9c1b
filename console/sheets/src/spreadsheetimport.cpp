#include "sheets/spreadsheetimport.h"

#include "sheets/sheetreader.h"

#include <QFileInfo>

#include <memory>

namespace sheets {

namespace {

ImportResult Refused(const QString &messageKey, const QString &reason = QString())
{
    ImportResult result;
    result.messageKey = messageKey;
    result.reason = reason;
    return result;
}

} // namespace

bool CheckPhonenumberFormat(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const bool allowed = (c >= u'0' && c <= u'9') || QStringView(u"+()[]'- ").contains(c);
        if (!allowed)
            return false;
    }
    return true;
}

ImportResult ImportSpreadsheet(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return Refused(QStringLiteral("file_doesnt_exist"));
    if (!path.contains(u'/'))
        return Refused(QStringLiteral("file_path_is_not_in_correct_syntax"));
    if (!path.mid(path.lastIndexOf(u'/') + 1).contains(u'.'))
        return Refused(QStringLiteral("file_extension_is_missing"));

    // The whole sheet is read before the list changes: a file that fails
    // half-way leaves the list as it was.
    ImportResult result;
    SheetSummary summary;
    try {
        const std::unique_ptr<SheetReader> reader = OpenSheetReader(path);
        if (!reader)
            return Refused(QStringLiteral("file_doesnt_have_a_supported_extension"));
        summary = reader->ReadFirstSheet([&result](const SheetRow &row) {
            if (CheckPhonenumberFormat(row.columnB))
                result.rows.append({row.columnA, row.columnB});
        });
    } catch (const SheetError &error) {
        return Refused(QStringLiteral("couldnt_open_excel_file"), error.reason());
    } catch (const std::bad_alloc &) {
        return Refused(QStringLiteral("couldnt_open_excel_file"), QStringLiteral("the file needs more memory than there is"));
    }
    if (!summary.hasSheet)
        return Refused(QStringLiteral("excel_file_doesnt_contain_any_sheets"));
    if (!summary.hasValueRightOfA)
        return Refused(QStringLiteral("excel_file_doesnt_have_enough_columns"));

    result.refused = false;
    result.messageKey = result.rows.isEmpty() ? QStringLiteral("no_suitable_records_found_in_excel_file")
                                              : QStringLiteral("x_suitable_records_found_in_excel_file");
    return result;
}

} // namespace sheets
