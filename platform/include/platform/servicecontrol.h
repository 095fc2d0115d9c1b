#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QSocketNotifier;

namespace platform {

// systemd in place of the NT service control. The unit folder is
// /etc/systemd/system unless TALVINOR_UNIT_DIR names another one (tests).
class ServiceControl : public QObject {
    Q_OBJECT
public:
    ServiceControl(QString serviceName, QString displayName, QObject *parent = nullptr);
    ~ServiceControl() override;

    QString serviceName() const { return m_serviceName; }
    QString displayName() const { return m_displayName; }
    QString unitFolder() const;
    QString unitPath() const;

    // Writes and enables "<serviceName>.service" running `executable`.
    bool Install(const QString &executable);
    // Disables and deletes the unit.
    bool Uninstall();

    // Runs as the service: Start follows from the event loop; SIGTERM and
    // SIGINT raise Stop. Returns false when the signals cannot be watched.
    bool StartService();
    // Tells systemd the start succeeded (or failed, with a status text).
    void NotifyStarted(bool success, const QString &status = {});

    // Event-log entry of the given type and id.
    void LogEvent(int eventType, int eventId, const QString &text);

Q_SIGNALS:
    void Start(bool *success);
    void Stop();

private:
    void onSignal();

    QString m_serviceName;
    QString m_displayName;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
    int m_signalFd = -1;
};

} // namespace platform
