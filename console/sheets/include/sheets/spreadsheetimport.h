#pragma once

#include <QList>
#include <QString>

namespace sheets {

// One recipient for the bulk list: the name and the number as read.
struct BulkRow {
    QString name;
    QString number;
};

// How an import ends. A refused import leaves the bulk list as it was and
// shows `messageKey` as a warning; any other replaces the list with `rows`
// and shows `messageKey` as information, with "%1" the number of rows.
struct ImportResult {
    bool refused = true;
    QString messageKey;
    QString reason;  // why the file was refused, for the error log
    QList<BulkRow> rows;
};

// True when `text` is not empty and holds only digits, "+", "(", ")", "[",
// "]", "'", "-" and blanks.
bool CheckPhonenumberFormat(QStringView text);

// The reading half of the import: checks the chosen path, reads the whole
// first sheet, and keeps each row whose column B passes
// CheckPhonenumberFormat, with column A as the name. Never raises.
ImportResult ImportSpreadsheet(const QString &path);

} // namespace sheets
