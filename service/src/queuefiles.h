#pragma once

#include "store/queuefiles.h"

class QRandomGenerator;
class ServiceLog;

// Queues one outgoing message as a new Unsent file (CreateUnsentFile). An
// empty line queues nothing. Failures are logged under "WriteUnsentFile";
// the caller is not told.
void WriteUnsentFile(const QString &programFolder, QRandomGenerator &random, ServiceLog &log, const QString &line);
