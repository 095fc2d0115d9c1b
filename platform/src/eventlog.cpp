#include "platform/eventlog.h"

#include <syslog.h>

namespace platform::eventlog {

void write(int eventType, int eventId, const QString &text)
{
    static const bool opened = [] {
        openlog("TalvinorSMSService", LOG_PID, LOG_DAEMON);
        return true;
    }();
    (void)opened;
    const int priority = eventType == 0 ? LOG_INFO : LOG_ERR;
    const QByteArray message = QByteArray::number(eventId) + ' ' + text.toUtf8();
    syslog(priority, "%s", message.constData());
}

} // namespace platform::eventlog
