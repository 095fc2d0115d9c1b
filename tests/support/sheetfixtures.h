#pragma once

#include <QDir>
#include <QString>

// One of the real spreadsheet files kept with the sheet reader's tests.
inline QString SheetFixture(const char *name)
{
    return QDir(QStringLiteral(SHEETS_FIXTURES)).filePath(QString::fromLatin1(name));
}
