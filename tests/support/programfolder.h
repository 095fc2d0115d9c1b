#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// A program folder laid out by the project's own install step in a fresh
// temporary folder, as an administrator would have it. Tests that run the
// installed programs as processes start here.
class ProgramFolder {
public:
    ProgramFolder();

    bool isValid() const { return m_valid; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // Folder for systemd units, inside the temporary folder.
    QString unitFolder() const { return m_dir.filePath(QStringLiteral("units")); }

    // Replaces the service settings file with these keys of "Service Settings".
    void writeServiceSettings(const QMap<QString, QString> &values) const;
    QByteArray readFile(const QString &name) const;

    // A process for one of the installed programs, with the unit folder
    // redirected so that nothing touches the real system.
    QProcess *newProcess(const QString &program, const QStringList &arguments) const;

    // Runs the program to its end (at most `timeoutMs`); false when it hangs.
    struct Result {
        bool finished = false;
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    Result run(const QString &program, const QStringList &arguments, int timeoutMs = 30000) const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};

// The simulated modem running in a program folder on port COM1: messages
// "from phones" go in through its spool folder, messages it was asked to
// send come out of its sent log (one JSON line each).
class SimulatedModem {
public:
    explicit SimulatedModem(const ProgramFolder &folder);
    ~SimulatedModem();

    bool isReady() const { return m_ready; }
    // A message that a phone with this number sends to the gateway.
    void deliver(const QString &sender, const QString &text) const;
    // Switches a fault of the modem ("refuse 500", "slow 8", "silent", "xoff",
    // "chatter", "unplug", "plug", "normal"); true once the modem took it.
    bool fault(const QString &line, int timeoutMs = 20000) const;
    // Every message the modem accepted for sending, as JSON lines.
    QByteArray sentLog() const;
    // The same messages, one object each: coding, number, reference, text.
    QList<QJsonObject> sentMessages() const;
    // How often each text was accepted for sending.
    QMap<QString, int> sentTexts() const;
    // Waits until the sent log holds `count` lines.
    bool waitForSent(int count, int timeoutMs = 60000) const;

private:
    const ProgramFolder &m_folder;
    std::unique_ptr<QProcess> m_process;
    bool m_ready = false;
};

// A TCP port that nothing listens on right now.
quint16 freeTcpPort();

// Waits until something accepts connections on the local `port`, at most
// `timeoutMs`; false at once when `process`, if given, is no longer running.
bool waitUntilListening(quint16 port, int timeoutMs, const QProcess *process = nullptr);

// The simulated modem and the installed service of a folder, running
// together as an office has them: the whole system, for tests that talk to
// it from the outside.
class ServiceOnModem {
public:
    explicit ServiceOnModem(const ProgramFolder &folder) : m_folder(folder) {}

    // Writes `settings` and a free port into the service settings, then
    // starts the modem and the service in the foreground; returns once the
    // service listens, false when either does not come up in 20 s (the
    // reason goes to the test's output). The service's standard error goes
    // to service-stderr.log in the folder.
    bool start(QMap<QString, QString> settings);
    // Stops the service as systemd would (SIGTERM), then the modem; false
    // when the service does not end in 30 s or ends with an exit code other
    // than 0. True when nothing was started.
    bool stop();

    quint16 port() const { return m_port; }
    SimulatedModem &modem() const { return *m_modem; }

private:
    const ProgramFolder &m_folder;
    quint16 m_port = 0;
    std::unique_ptr<SimulatedModem> m_modem;
    std::unique_ptr<QProcess> m_service;
};
