#include "frmmain.h"

#include "queuefiles.h"

#include "platform/clock.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "platform/version.h"
#include "vorbex/clsvorbex.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTime>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr auto InteractiveInfo = "Service is running in interactive mode. Use this mode only for debug purpose.";

platform::Error serviceFatal(const QString &description)
{
    return platform::Error(platform::ErrServiceFatal, description);
}

// Winsock's numbers for the listen failures an administrator can act on.
platform::Error listenError(const QTcpServer &server, qint32 port)
{
    int number = 10022;
    switch (server.serverError()) {
    case QAbstractSocket::AddressInUseError:
        number = 10048;
        break;
    case QAbstractSocket::SocketAccessError:
        number = 10013;
        break;
    default:
        break;
    }
    return platform::Error(number, QStringLiteral("Cannot listen on port %1: %2").arg(port).arg(server.errorString()));
}

} // namespace

frmMain::frmMain(QString programFolder, QObject *parent)
    : QObject(parent),
      m_programFolder(std::move(programFolder)),
      m_log(m_logWriter),
      m_instanceLock(QDir(m_programFolder).filePath(QStringLiteral("TalvinorSMSSvc.lock"))),
      oSVC(QString::fromLatin1(ServiceName), QString::fromLatin1(DisplayName)),
      m_databases(m_log),
      m_connections(m_log),
      m_commands(m_connections, m_databases, m_log, m_cipher,
                 [this](const QString &line) { WriteUnsentFile(m_programFolder, m_random, m_log, line); })
{
    tmrAction.setInterval(platform::ScaledMs(1000));
    tmrReadUnsentSMS.setInterval(platform::ScaledMs(8000));
    connect(&tmrAction, &QTimer::timeout, this, &frmMain::Service_Process);
    connect(&tmrReadUnsentSMS, &QTimer::timeout, this, &frmMain::tmrReadUnsentSMS_Timer);
    m_connections.Listen(wsckTcpServer);
    m_connections.SetCommandHandler(
        [this](const QString &message, qint16 index) { m_commands.ExecuteCommand(message, index); });
    connect(&oSVC, &platform::ServiceControl::Start, this, [this](bool *success) {
        *success = Service_Start();
        if (!*success)
            Unload(1); // systemd then knows the start failed
    });
    connect(&oSVC, &platform::ServiceControl::Stop, this, &frmMain::Service_Stop);
}

frmMain::~frmMain() = default;

bool frmMain::Service_Load(const QString &commandLine)
{
    m_random.seed(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay() / 1000));
    try {
        m_logWriter.setLogFolder(m_programFolder);
        m_logWriter.setLogName(QString::fromLatin1(LogFileName));
        m_logWriter.setLogMaxSize(10240);
        m_ini.setIniPath(QDir(m_programFolder).filePath(QString::fromLatin1(IniFileName)));
        if (!m_instanceLock.tryLock())
            throw serviceFatal(QStringLiteral("Service already running."));

        const QString command = commandLine.trimmed().toLower();
        tmrReadUnsentSMS.start();
        if (command == QLatin1String("--interactive"))
            runInteractive();
        else if (command == QLatin1String("--debug"))
            runDebug();
        else if (command == QLatin1String("--install"))
            runInstall(false);
        else if (command == QLatin1String("--silentinstall"))
            runInstall(true);
        else if (command == QLatin1String("--remove"))
            runRemove(false);
        else if (command == QLatin1String("--silentremove"))
            runRemove(true);
        else if (!commandLine.isEmpty())
            throw serviceFatal(QStringLiteral("Invalid command-line argument"));
        else
            runAsService();
    } catch (const std::exception &e) {
        m_log.LogServiceError(platform::describe(e), QStringLiteral("Service_Load"));
        ReportOnTerminal(platform::describe(e), true);
        Unload(1);
    }
    return m_running;
}

void frmMain::runInteractive()
{
    ReportOnTerminal(QString::fromLatin1(InteractiveInfo), false);
    QCoreApplication::processEvents();
    const bool started = Service_Start();
    tmrAction.stop(); // only "&Run" polls the modem here
    if (!started) {
        Unload(1);
        return;
    }
    m_running = true;
    // Each line on standard input is a press of "&Run"; its end closes the window.
    m_stdinNotifier = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
    connect(m_stdinNotifier.get(), &QSocketNotifier::activated, this, &frmMain::onStdinReadable);
}

void frmMain::onStdinReadable()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        m_stdinNotifier->setEnabled(false);
        Unload(0);
        return;
    }
    for (ssize_t i = 0; i < n; ++i)
        if (buffer[i] == '\n')
            cmdAction_Click();
}

void frmMain::cmdAction_Click()
{
    m_stdinNotifier->setEnabled(false);
    Action();
    m_stdinNotifier->setEnabled(true);
    ReportOnTerminal(QStringLiteral("Process completed."), false);
}

void frmMain::runDebug()
{
    const bool started = Service_Start();
    tmrAction.stop();
    if (started)
        Action();
    Unload(started ? 0 : 1);
}

void frmMain::runInstall(bool silent)
{
    const bool ok = oSVC.Install(QCoreApplication::applicationFilePath());
    if (!silent)
        ReportOnTerminal(ok ? QStringLiteral("Service installed successfully") : QStringLiteral("Service failed to install"), !ok);
    Unload(ok ? 0 : 1);
}

void frmMain::runRemove(bool silent)
{
    const bool ok = oSVC.Uninstall();
    if (!silent)
        ReportOnTerminal(ok ? QStringLiteral("Service removed successfully") : QStringLiteral("Service failed to remove"), !ok);
    Unload(ok ? 0 : 1);
}

void frmMain::runAsService()
{
    if (!oSVC.StartService()) {
        Unload(1);
        return;
    }
    tmrAction.start();
    m_running = true;
}

bool frmMain::Service_Start()
{
    try {
        ReadServiceSettings();
        m_databases.OpenConnections(m_programFolder);
        CreateModem();
        m_connections.ResetConnectionCounter();
        ListenOnPort();
        m_log.LogEvent(0, 110, {QStringLiteral("Service attempted to start with the following settings:"),
                                QStringLiteral("Version:") + QString::fromLatin1(TALVINOR_VERSION_TEXT),
                                QStringLiteral("INI File: ") + m_ini.IniPath()});
        return true;
    } catch (const std::exception &e) {
        m_log.LogServiceError(platform::describe(e), QStringLiteral("Service_Start"));
        ReportOnTerminal(platform::describe(e), true);
        return false;
    }
}

void frmMain::CreateModem()
{
    oVorbex = std::make_unique<vorbex::clsVorbex>();
    connect(oVorbex.get(), &vorbex::clsVorbex::TickFailed, this,
            [this](const QString &procedure, const QString &description) { m_log.LogServiceError(description, procedure); });
    connect(oVorbex.get(), &vorbex::clsVorbex::Warning, this,
            [this](const QString &procedure, const QString &description) { m_log.LogServiceError(description, procedure); });
    connect(oVorbex.get(), &vorbex::clsVorbex::SMSReceived, this,
            [this](const QString &id, const QString &status, const QString &length, const QString &datetime,
                   const QString &phonenumber, const QString &message, bool &stored) {
                m_delivery.oVorbex_SMSReceived(id, status, length, datetime, phonenumber, message, stored);
            });
    oVorbex->OpenDevice(true);
}

void frmMain::ReadServiceSettings()
{
    if (m_ini.IniExists() < 1)
        throw serviceFatal(QStringLiteral("INI file not found: ") + m_ini.IniPath());
    const QString section = QString::fromLatin1(SettingsSection);
    m_port = m_ini.ReadValue(section, QStringLiteral("port"), QStringLiteral("16395"));
    m_smsCheckInterval = m_ini.ReadValue(section, QStringLiteral("sms_check_interval"), QStringLiteral("60"));
}

void frmMain::ListenOnPort()
{
    const qint32 port = platform::ToLong(m_port);
    if (port < 0 || port > 65535)
        throw platform::Error(10022, QStringLiteral("Invalid port: %1").arg(m_port));
    // Room for a burst of connections while a flood is taken in, so that a
    // user's connection is not dropped by the system to come again a
    // second later.
    wsckTcpServer.setListenBacklogSize(1024);
    if (!wsckTcpServer.listen(QHostAddress::Any, static_cast<quint16>(port)))
        throw listenError(wsckTcpServer, port);
}

void frmMain::Service_Stop()
{
    if (m_stopping)
        return;
    m_stopping = true;
    // First, so that nothing handed to the modem is lost. The modem object
    // stays until the event loop is left: a send it is running goes on.
    m_outgoing.Stop();
    tmrAction.stop();
    wsckTcpServer.close();
    // The stop can arrive inside a modem dialogue's wait; a poll under way
    // still addresses what it lists, so the databases stay open until the
    // dialogue has ended.
    if (oVorbex && oVorbex->IsBusy()) {
        connect(oVorbex.get(), &vorbex::clsVorbex::DialogueEnded, this, &frmMain::FinishStop, Qt::SingleShotConnection);
        return;
    }
    FinishStop();
}

void frmMain::FinishStop()
{
    m_databases.CloseConnections();
    Unload(0);
}

void frmMain::Service_Process()
{
    try {
        ++SecondsCounter;
        if (SecondsCounter >= platform::ToDouble(m_smsCheckInterval)) {
            SecondsCounter = 0;
            Action();
        }
    } catch (const std::exception &e) {
        SecondsCounter = 0;
        m_log.LogServiceError(platform::describe(e), QStringLiteral("Service_Process"));
    }
}

void frmMain::Action()
{
    try {
        if (!oVorbex)
            throw platform::Error(platform::ErrInvalidCall, QStringLiteral("The modem is not open"));
        // A poll that has not run yet will list whatever arrives meanwhile;
        // more of them would only hold up the sends queued behind.
        if (oVorbex->ReceiveWaiting())
            return;
        oVorbex->CommandReceiveMessage(1, 0, QString(), QString());
    } catch (const std::exception &e) {
        m_log.LogServiceError(platform::describe(e), QStringLiteral("Action"));
    }
}

void frmMain::tmrReadUnsentSMS_Timer()
{
    m_outgoing.ReadUnsentFile(oVorbex.get());
    m_delivery.ReadIncomingFile();
}

void frmMain::Unload(int exitCode)
{
    tmrAction.stop();
    tmrReadUnsentSMS.stop();
    m_running = false;
    m_exitCode = exitCode;
    Q_EMIT unloaded(exitCode);
}

void frmMain::ReportOnTerminal(const QString &text, bool exclamation)
{
    // In place of message boxes: information on stdout, exclamations on
    // stderr (under systemd both reach the journal).
    FILE *stream = exclamation ? stderr : stdout;
    std::fprintf(stream, "%s\n", qPrintable(text));
    std::fflush(stream);
}
