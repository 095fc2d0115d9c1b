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

// Writes the same entry to the error log for an error that the caller shows
// on the screen in words of its own, without the "Error" box.
void LogErrorEntry(const QString &moduleName, const QString &procedureName, int number, const QString &description);

} // namespace common
