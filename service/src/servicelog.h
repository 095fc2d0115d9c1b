#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

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

// When a kind of event that can come in floods is reported, so that nobody
// can write the log's history away: the first at once, then whatever came
// since at most once an interval, and the last ones when the interval ends.
// The owner counts the events and writes the report.
class ReportLimiter {
public:
    explicit ReportLimiter(std::function<void()> report, int intervalMs = 60000);

    void SetInterval(int ms) { m_intervalMs = ms; }
    // An event was counted: the report runs now or when the interval ends.
    void Counted();

private:
    void Report();

    std::function<void()> m_report;
    int m_intervalMs;
    QElapsedTimer m_last;
    QTimer m_due;
};
