#pragma once

#include "text.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The test's own library folder (settings file, logs, COMn link), with the
// modem library pointed at it and its clock running five times faster.
class LibraryFolder {
public:
    static constexpr double ClockScale = 0.2;

    LibraryFolder();

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Replaces VorbexDll.ini with these keys of section "VorbexDll".
    void writeSettings(const QMap<QString, QString> &values) const;
    QByteArray readFile(const QString &name) const;
    // The texts of the records of a library log ("Commands", ...), in order.
    QStringList logRecords(const QString &logName) const;

private:
    QTemporaryDir m_dir;
};

// The simulated modem as a process on a real pseudo-terminal, linked as
// COMn in the library folder.
class SimModem {
public:
    explicit SimModem(const LibraryFolder &folder, int port = 1);
    ~SimModem();

    // Starts it and waits until the link points at its terminal.
    bool start();
    // Ends it the way an unplugged modem goes: the link then leads nowhere.
    void stop();

    // A message arrives from the network; true once the modem stored it.
    bool deliver(const QString &sender, const QString &text);
    bool deliverPdu(const QString &pdu);
    // Switches a fault of the modem ("refuse 500", "slow 8", "silent", "xoff",
    // "chatter", "unplug", "plug", "normal"); true once the modem took it.
    bool fault(const QString &line);

    // Every message the modem accepted for sending so far (number, coding,
    // text, reference), and waiting for the count to reach `count`.
    QList<QJsonObject> sent();
    bool waitForSent(qsizetype count);
    // What the simulator said on stderr, for failure messages.
    QString diagnostics() const { return QString::fromLocal8Bit(m_err); }

private:
    bool dropIntoSpool(const QString &suffix, const QByteArray &content);

    const LibraryFolder &m_folder;
    int m_port;
    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
    int m_spooled = 0;
};
