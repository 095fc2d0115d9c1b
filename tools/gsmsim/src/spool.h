#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

class ModemSim;

// Messages arriving from the network: each file dropped into the spool
// folder becomes one stored message and is then deleted.
//   NAME.sms  first line the sender, the rest (UTF-8) the text
//   NAME.pdu  a ready SMS-DELIVER PDU as hex, stored as it is
// Files whose name begins with "." are left alone, so a file written there
// and renamed into place is never read half-written. A file that cannot be
// made into a message is renamed NAME.rejected.
class Spool : public QObject {
    Q_OBJECT
public:
    Spool(ModemSim &sim, QString folder, QObject *parent = nullptr);

    void Scan();

private:
    bool Take(const QString &path);

    ModemSim &m_sim;
    QString m_folder;
    QFileSystemWatcher m_watcher;
};
