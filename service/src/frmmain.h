#pragma once

#include "commandinterpreter.h"
#include "connections.h"
#include "databases.h"
#include "delivery.h"
#include "outgoingqueue.h"
#include "servicelog.h"

#include "platform/inifile.h"
#include "platform/instancelock.h"
#include "platform/logwriter.h"
#include "platform/servicecontrol.h"
#include "sealkit/clscipherbase.h"
#include "store/servicesettings.h"

#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <memory>

class QSocketNotifier;

namespace vorbex {
class clsVorbex;
}

// The service itself: it owns the settings and log, the timers, the
// listening socket, the databases and the modem, for the life of the
// program. Without a window here, "unloading" is leaving the event loop.
class frmMain : public QObject {
    Q_OBJECT
public:
    static constexpr auto ServiceName = "TalvinorSMSService";
    static constexpr auto DisplayName = "Talvinor SMS Service";
    static constexpr auto IniFileName = ServiceSettingsFileName;
    static constexpr auto LogFileName = "TalvinorSMSSvc.log";
    static constexpr auto SettingsSection = ServiceSettingsSection;

    // `programFolder` holds the settings file, the log and the data folders.
    explicit frmMain(QString programFolder, QObject *parent = nullptr);
    ~frmMain() override;

    // Start-up with the raw command line. True when the program must keep
    // running its event loop; false when it is done (see exitCode()).
    bool Service_Load(const QString &commandLine);
    int exitCode() const { return m_exitCode; }

    // Starts the service; false (with the reason logged) when it cannot.
    bool Service_Start();
    // The stop event: closes what Service_Start opened and leaves the loop,
    // once a modem dialogue under way has ended.
    void Service_Stop();

    // The one-second tick: polls the modem every sms_check_interval seconds.
    void Service_Process();
    // One poll of the modem.
    void Action();
    // The "&Run" button of the interactive mode.
    void cmdAction_Click();

    ServiceLog &log() { return m_log; }
    platform::IniFile &ini() { return m_ini; }
    QString programFolder() const { return m_programFolder; }
    QRandomGenerator &random() { return m_random; }
    QTcpServer &tcpServer() { return wsckTcpServer; }
    QTimer &actionTimer() { return tmrAction; }
    QTimer &unsentTimer() { return tmrReadUnsentSMS; }
    QString port() const { return m_port; }
    QString smsCheckInterval() const { return m_smsCheckInterval; }
    Databases &databases() { return m_databases; }
    // The client connections: each slot's Tag and state, SendData, OnlineUsers.
    Connections &connections() { return m_connections; }
    // The one cipher object for login replies and pushed messages.
    const sealkit::clsCipherBase &cipher() const { return m_cipher; }
    // The modem object; null until Service_Start created it.
    vorbex::clsVorbex *modem() const { return oVorbex.get(); }

Q_SIGNALS:
    // The program is done: leave the event loop with this exit code.
    void unloaded(int exitCode);

private:
    void runInteractive();
    void runDebug();
    void runInstall(bool silent);
    void runRemove(bool silent);
    void runAsService();
    void ReadServiceSettings();
    void ListenOnPort();
    void CreateModem();
    // The 8-second tick: the outgoing queue, then received messages.
    void tmrReadUnsentSMS_Timer();
    void onStdinReadable();
    void FinishStop();
    void Unload(int exitCode);
    void ReportOnTerminal(const QString &text, bool exclamation);

    QString m_programFolder;
    platform::LogWriter m_logWriter;
    ServiceLog m_log;
    platform::IniFile m_ini;
    platform::InstanceLock m_instanceLock;
    platform::ServiceControl oSVC;
    QTimer tmrAction;
    QTimer tmrReadUnsentSMS;
    QTcpServer wsckTcpServer;
    QRandomGenerator m_random;
    Databases m_databases;
    sealkit::clsCipherBase m_cipher;
    Connections m_connections;
    CommandInterpreter m_commands;
    std::unique_ptr<vorbex::clsVorbex> oVorbex;
    OutgoingQueue m_outgoing{m_programFolder, m_ini, m_log};
    Delivery m_delivery{m_programFolder, m_log, m_databases, m_connections, m_cipher};
    std::unique_ptr<QSocketNotifier> m_stdinNotifier;

    QString m_port;
    QString m_smsCheckInterval;
    qint32 SecondsCounter = 0;
    bool m_running = false;
    bool m_stopping = false;
    int m_exitCode = 0;
};
