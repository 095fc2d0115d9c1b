#pragma once

#include <QString>
#include <QStringList>

namespace platform {
class LogWriter;
}

// Where the service reports: every entry goes to the system log and to
// TalvinorSMSSvc.log in the program folder.
class ServiceLog {
public:
    explicit ServiceLog(platform::LogWriter &logFile);

    // Lines joined with CR LF into one entry. Raises when the log file
    // cannot be written.
    void LogEvent(int eventType, int eventId, const QStringList &lines);

    // Event type 1, id 109: the description, then "Procedure: " and the
    // procedure's name. Never raises: a report that cannot be written has
    // nowhere else to go than stderr.
    void LogServiceError(const QString &description, const QString &procedure);

private:
    platform::LogWriter &m_logFile;
};
