#pragma once

#include "queuefiles.h"

#include <QSet>
#include <QString>

class Connections;
class Databases;
class QRandomGenerator;
class ServiceLog;

namespace sealkit {
class clsCipherBase;
}

// Received messages: each is addressed by its first word (a user name) or
// to the moderators, kept as an Incoming file, pushed to the online
// addressees on a later tick and then moved to Backup.
class Delivery {
public:
    Delivery(const QString &programFolder, ServiceLog &log, Databases &databases, Connections &connections,
             const sealkit::clsCipherBase &cipher);

    // The modem's event for one received message. `stored` is left true only
    // when the message lies safely in Incoming; otherwise the modem keeps it
    // and reports it again at its next poll.
    void oVorbex_SMSReceived(const QString &id, const QString &status, const QString &length,
                             const QString &datetime, const QString &phonenumber, const QString &message,
                             bool &stored);

    // One pass over Incoming: the first file that can be delivered is pushed
    // and archived; at most one per call.
    void ReadIncomingFile();

    // Pushes one message to its addressee's connections, or to every online
    // moderator; true when it reached at least one connection.
    bool SendReceivedMsg(const clsSMS &record);

private:
    void Push(qint16 index, const QString &line);
    void Archive(const QString &ffname);
    void RetryArchive(const QString &ffname);
    QString NextIncomingName(const QString &stamp, int &attempt) const;

    QString m_incoming;
    QString m_backup;
    ServiceLog &m_log;
    Databases &m_databases;
    Connections &m_connections;
    const sealkit::clsCipherBase &m_cipher;
    QSet<QString> m_passedOver; // unreadable, and could not be set aside either
    QSet<QString> m_pushed;     // delivered, but still in Incoming: the move to Backup failed
};
