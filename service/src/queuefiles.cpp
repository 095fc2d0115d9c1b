#include "queuefiles.h"

#include "servicelog.h"

#include "platform/error.h"

#include <QFileInfo>

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

void SetAsideOrPassOver(const QString &folder, const QString &name, const QString &suffix, const QString &reason,
                        QSet<QString> &passedOver, ServiceLog &log, const QString &procedure)
{
    try {
        const QString aside = SetAsideQueueFile(folder, name, suffix);
        log.LogServiceError(
            QStringLiteral("%1. It was set aside in %2 as %3.").arg(reason, QFileInfo(folder).fileName(), aside), procedure);
    } catch (const platform::Error &e) {
        passedOver.insert(name);
        log.LogServiceError(QStringLiteral("%1. It cannot be set aside (%2) and is passed over until the service restarts.")
                                .arg(reason, e.description()),
                            procedure);
    }
}
