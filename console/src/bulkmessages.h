#pragma once

#include "sheets/spreadsheetimport.h"
#include "store/queuefiles.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>

class QRandomGenerator;

// What the bulk tab writes for its rows, without the window: the number and
// text of each row, the checks that keep a row from going out other than as
// written, and the Unsent files.

// Stands for the row's name in the message; matched exactly.
inline constexpr QStringView NamePlaceholder = u"[[N]]";

// The digits and plus signs of `text`, in their order.
QString CleanPhonenumber(QStringView text);

// The number written for an imported one: CleanPhonenumber, and a "0" in
// front of ten digits that do not begin with "0" (a leading "0" a
// spreadsheet dropped).
QString BulkNumber(QStringView imported);

// The message as the send checks it: without carriage returns and without
// blanks at both ends.
QString TrimmedMessage(const QString &typed);

// The message text written for the row named `name`: the typed text
// without carriage returns, every placeholder replaced by the name, then
// without carriage returns and "^" (the modem's queue cannot carry it), and
// each line feed written as "|".
QString BulkText(const QString &typed, const QString &name);

// Whether a written message text goes out in one SMS as the modem sends it
// (modPDU::TextAsSent).
bool FitsOneSms(const QString &writtenText);

// The counter under the typed message: its length without carriage returns
// (a line break counts once), the limit of the coding the text goes out in
// as the modem sends it (160 or 70), and whether it goes out in one SMS;
// the send refuses it as too long exactly when it does not.
struct MessageCount {
    qsizetype length;
    qsizetype limit;
    bool fits;
};
MessageCount CountMessage(const QString &typed);

// Whether every character of `text` exists in the code page of the queue
// files; any other would arrive as "?".
bool HasOnlyCodePageCharacters(QStringView text);

// The language key that refuses the typed message ("message_is_empty",
// "message_is_too_long", "message_has_unsupported_characters"), or the
// empty text when it may be sent.
QString MessageRefusal(const QString &typed);

// The message line of every row, or the first row that cannot go out as
// written and the language key that says why.
struct PreparedBulk {
    QStringList lines;
    qsizetype refusedRow = -1;
    QString refusalKey;
};
PreparedBulk PrepareBulkLines(const QString &typed, const QList<sheets::BulkRow> &rows);

// The first step of the console's queue-file writer: the Unsent file of
// `line`, written aside. Raises platform::Error when it cannot be written.
AsideQueueFile WriteUnsentFile(const QString &programFolder, const QString &line);

// How queueing a bulk send ended: `queued` files were renamed into Unsent;
// when `failedLine` is not -1, that line and every later one got no file,
// for the reason in `error` (error number `errorNumber`).
struct BulkQueueOutcome {
    qsizetype queued = 0;
    qsizetype failedLine = -1;
    int errorNumber = 0;
    QString error;
};

// Queues one Unsent file per line: every file is written aside first, and
// only when all are written are they renamed in, in order, named by the
// stamp, sixteen random hex digits and ".dat". A failure while writing
// aside removes the files written so far and queues nothing. `progress`
// runs after every few files.
BulkQueueOutcome QueueBulkLines(const QString &programFolder, const QStringList &lines, QRandomGenerator &random,
                                const std::function<void()> &progress = {});
