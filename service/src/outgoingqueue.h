#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class ServiceLog;

namespace platform {
class IniFile;
}

#include "vorbex/clsvorbex.h"

// Whether a bulk message may go at `now` ("HH:mm") under the sending window
// `interval` ("HH:mm,HH:mm", compared as text). A value that is not two
// parts does not restrict sending; a start later than the end is a window
// across midnight.
bool InSendingWindow(const QString &interval, const QString &now);

// The number format flag that rides with a send command: true unless the
// number begins with "+".
bool PhoneNumberFormat(const QString &number);

// The outgoing queue: every Unsent file is handed to the modem once, in
// name order, at most one per tick, and only while no send of ours waits in
// the modem's queue.
//
// A handed-over file stays in Unsent until the modem has accepted the
// message, and moves to Sent then; until that moment the message is only in
// the modem's memory, and the file is what lets it go out after a crash or
// a stop. A send the modem refuses or leaves unanswered stays in Unsent and
// is tried again on a later tick, up to MaxTries tries in all, each at least
// the modem's SendHoldMs() after the one before; the count of tries is kept
// beside the file as "<name>.tries", so it survives a restart.
// A file that must not be taken again is set aside in Unsent under its name
// plus ".failed" (it cannot be sent), ".unreadable" or ".done" (sent, but it
// cannot go to Sent), which no pass takes, so the administrator still finds
// it.
class OutgoingQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxTries = 3;

    OutgoingQueue(QString programFolder, platform::IniFile &ini, ServiceLog &log, QObject *parent = nullptr);

    // One pass over Unsent: hands the first sendable file to `modem`, or
    // moves a file with nothing to send to Sent, then ends. Bulk files wait
    // outside the sending window. Nothing happens without a modem, while a
    // send waits in its queue, or after Stop. Errors are logged under
    // "ReadUnsentFile".
    void ReadUnsentFile(vorbex::clsVorbex *modem);

    // Where the sending window comes from: the settings file's
    // "allowed_time_interval" unless set otherwise.
    void SetSendingWindowReader(std::function<QString()> reader);

    // The service stops: no more files are handed over, and sends that the
    // modem has not started are taken back from it (their files are still in
    // Unsent, so they go out after the next start). A send dialogue that is
    // running finishes before control returns to the event loop, and its
    // file then moves to Sent; so the modem must neither be closed nor
    // deleted before the event loop has been left.
    void Stop();

private:
    void UseModem(vorbex::clsVorbex *modem);
    bool DealWith(const QString &name, const std::function<bool()> &bulkWindowOpen);
    bool HandOver(const QString &name, const QString &number, const QString &text);
    void SendCompleted(const QString &tag, vorbex::clsVorbex::SendResult result, const QString &answer);
    void SendFailed(const QString &name, const QString &reason);
    int Tries(const QString &name);
    void KeepTries(const QString &name, int tries);
    void ForgetTries(const QString &name);
    void MoveToSent(const QString &name);
    void SetAside(const QString &name, const QString &suffix, const QString &reason);
    void ForgetVanished(const QStringList &names);

    QString m_unsent;
    QString m_sent;
    ServiceLog &m_log;
    std::function<QString()> m_readSendingWindow;
    QPointer<vorbex::clsVorbex> m_modem;
    QSet<QString> m_handedOver;  // in the modem's queue, not yet sent
    QSet<QString> m_waitingBulk; // read once: bulk files waiting for the window
    QSet<QString> m_passedOver;  // not to be taken again, but could not be set aside
    QHash<QString, int> m_tries; // failed tries, also when the side file cannot be written
    QHash<QString, QDeadlineTimer> m_retryAfter; // refused: not tried again before
    bool m_stopped = false;
};
