#include "queuefiles.h"

#include "servicelog.h"

#include "platform/error.h"

void WriteUnsentFile(const QString &programFolder, QRandomGenerator &random, ServiceLog &log, const QString &line)
{
    if (line.isEmpty())
        return;
    try {
        CreateUnsentFile(programFolder, random, line);
    } catch (const std::exception &e) {
        log.LogServiceError(platform::describe(e), QStringLiteral("WriteUnsentFile"));
    }
}
