#pragma once

#include "store/queuefiles.h"

#include <QSet>

class QRandomGenerator;
class ServiceLog;

// Queues one outgoing message as a new Unsent file (CreateUnsentFile). An
// empty line queues nothing. Failures are logged under "WriteUnsentFile";
// the caller is not told.
void WriteUnsentFile(const QString &programFolder, QRandomGenerator &random, ServiceLog &log, const QString &line);

// A queue file that no pass may take again: set aside in its folder under
// `suffix` (SetAsideQueueFile), with `reason` logged under `procedure`. When
// even that fails, it joins `passedOver`, which the caller skips until the
// service restarts, and that is logged instead.
void SetAsideOrPassOver(const QString &folder, const QString &name, const QString &suffix, const QString &reason,
                        QSet<QString> &passedOver, ServiceLog &log, const QString &procedure);
