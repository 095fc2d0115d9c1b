#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <functional>

class ModemSim;

// Messages arriving from the network: each file dropped into the spool
// folder becomes one stored message and is then deleted.
//   NAME.sms  first line the sender, the rest (UTF-8) the text
//   NAME.pdu  a ready SMS-DELIVER PDU as hex, stored as it is
//   NAME.fault a fault to switch (first line, see ModemSim::SetFault and
//              "unplug"/"plug" of gsmsim), handed to the control function
// Files whose name begins with "." are left alone, so a file written there
// and renamed into place is never read half-written. A file that cannot be
// made into a message is renamed NAME.rejected.
class Spool : public QObject {
    Q_OBJECT
public:
    using Control = std::function<bool(const QString &line)>;
    Spool(ModemSim &sim, QString folder, Control control, QObject *parent = nullptr);

    void Scan();

private:
    bool Take(const QString &path);

    ModemSim &m_sim;
    QString m_folder;
    Control m_control;
    QFileSystemWatcher m_watcher;
};
