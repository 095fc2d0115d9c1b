#pragma once

#include <QString>

// The system log in place of the Windows event log: ident
// "TalvinorSMSService", type 0 is LOG_INFO, type 1 LOG_ERR, and the event id
// stands first in the text.
namespace platform::eventlog {

void write(int eventType, int eventId, const QString &text);

} // namespace platform::eventlog
