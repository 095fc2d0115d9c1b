#include "servicelog.h"

#include "platform/error.h"
#include "platform/eventlog.h"
#include "platform/logwriter.h"

#include <algorithm>
#include <cstdio>

ServiceLog::ServiceLog(platform::LogWriter &logFile) : m_logFile(logFile) {}

void ServiceLog::LogEvent(int eventType, int eventId, const QStringList &lines)
{
    const QString text = lines.join(QStringLiteral("\r\n"));
    platform::eventlog::write(eventType, eventId, text);
    int number = 0;
    m_logFile.WriteLines({text}, number);
}

void ServiceLog::LogServiceError(const QString &description, const QString &procedure)
{
    const QString second = procedure.isEmpty() ? QString() : QStringLiteral("Procedure: ") + procedure;
    try {
        LogEvent(1, 109, {description, second});
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n%s\n(log file: %s)\n", qPrintable(description), qPrintable(second),
                     qPrintable(platform::describe(e)));
    }
}

ReportLimiter::ReportLimiter(std::function<void()> report, int intervalMs)
    : m_report(std::move(report)), m_intervalMs(intervalMs)
{
    m_due.setSingleShot(true);
    QObject::connect(&m_due, &QTimer::timeout, [this] { Report(); });
}

void ReportLimiter::Counted()
{
    if (!m_last.isValid() || m_last.elapsed() >= m_intervalMs) {
        m_due.stop();
        Report();
    } else if (!m_due.isActive()) {
        m_due.start(static_cast<int>(std::max<qint64>(0, m_intervalMs - m_last.elapsed())));
    }
}

void ReportLimiter::Report()
{
    m_last.start();
    m_report();
}
