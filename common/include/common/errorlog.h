#pragma once

#include <QString>

namespace common {

// File name of the program's error log in the program folder. Each program
// sets its own at start-up: "TalvinorSMSClient.log", "TalvinorSMSServer.log".
extern QString errorLogName;

// Reports the error being handled: call it from a catch block with the
// module's and the procedure's name. Writes the entry to the error log, then
// shows the modal "Error" box and returns once the user closes it. A
// program without a QApplication cannot show the box; the error text goes
// to stderr instead. Never raises: when the log cannot be written, that goes
// to stderr and the box is still shown.
void LogError(const QString &moduleName, const QString &procedureName);

// The two halves of LogError, for a procedure that meets many errors in one
// run and shows one box for all of them: WriteErrorEntry writes the entry of
// the error being handled and returns the text its box would show;
// ShowErrorBox shows such a text in the "Error" box.
QString WriteErrorEntry(const QString &moduleName, const QString &procedureName);
void ShowErrorBox(const QString &errorText);

// Writes a note that needs no answer to the same log, without a box:
// "Note from: " with module and procedure, then the text.
void LogNote(const QString &moduleName, const QString &procedureName, const QString &text);

} // namespace common
