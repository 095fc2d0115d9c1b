#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class ModemSim;
class QSocketNotifier;

// Puts a ModemSim on a pseudo-terminal and points the link (for example
// "COM1" in the modem library's folder) at the terminal, so that the
// library opens it as its serial port.
//
// When it ends, the link is turned to a path that does not exist, as if the
// modem had been unplugged: the library then fails clearly, and a terminal
// that the system hands out again under the old number is never opened
// by mistake.
class PtyModem : public QObject {
    Q_OBJECT
public:
    // Raises std::runtime_error when the terminal or the link cannot be made.
    PtyModem(ModemSim &sim, QString linkPath, QObject *parent = nullptr);
    ~PtyModem() override;

    QString TerminalName() const { return m_terminal; }

    // Starts or stops talking as the simulator's chatter fault says.
    void FollowChatter();
    // Removes the link, as the system does when a USB modem is pulled out;
    // the terminal hangs up when this object goes.
    void RemoveLink();

private:
    void ReadHost();
    void WritePending();
    void PointLinkAt(const QString &target);
    void Send(const QByteArray &bytes);

    ModemSim &m_sim;
    QString m_linkPath;
    QString m_terminal;
    int m_master = -1;
    int m_slave = -1; // held open so the master never sees a hang-up between the host's opens
    QByteArray m_pending;
    std::unique_ptr<QSocketNotifier> m_readable;
    std::unique_ptr<QSocketNotifier> m_writable;
    QTimer m_chatter;
};
