#include "servicelog.h"

#include "platform/error.h"
#include "platform/eventlog.h"
#include "platform/logwriter.h"

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
