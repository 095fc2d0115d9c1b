#include "platform/servicecontrol.h"

#include "platform/eventlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr auto WantsFolder = "multi-user.target.wants";
int signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signalPipe[1], &byte, 1);
}

bool unitFolderRedirected()
{
    return !qEnvironmentVariableIsEmpty("TALVINOR_UNIT_DIR");
}

// systemd expands "%" specifiers in every setting of a unit.
QString withoutSpecifiers(QString text)
{
    return text.replace(QLatin1Char('%'), QLatin1String("%%"));
}

// The program of a command line (never expanded as a variable): blanks,
// quotes and backslashes need it quoted.
QString commandWord(const QString &path)
{
    QString word = withoutSpecifiers(path);
    const bool quote = word.contains(QLatin1Char(' ')) || word.contains(QLatin1Char('\t'))
        || word.contains(QLatin1Char('"')) || word.contains(QLatin1Char('\\'));
    if (!quote)
        return word;
    word.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + word + QLatin1Char('"');
}

// The name of a user or group, or its number when it has none.
QString accountName(const QString &name, uint id)
{
    return name.isEmpty() ? QString::number(id) : withoutSpecifiers(name);
}

bool lies(const QString &path, const QStringList &under)
{
    return std::any_of(under.cbegin(), under.cend(), [&path](const QString &folder) {
        return path == folder || path.startsWith(folder + QLatin1Char('/'));
    });
}

// The service runs as the owner of its program folder, with that folder's
// group, so that the console, run by members of the group, shares its
// files; it may reach the serial devices, its own folder and the network,
// and nothing else that it does not need.
QString accountAndProtections(const QString &programFolder)
{
    const QFileInfo folder(programFolder);
    const QString path = folder.canonicalFilePath().isEmpty() ? folder.absoluteFilePath() : folder.canonicalFilePath();
    QString text = QStringLiteral(
        "User=%1\n"
        "Group=%2\n"
        "SupplementaryGroups=dialout\n"
        "UMask=0007\n"
        // Above the service's cap of 2000 connections, with room for its
        // databases, queue files, logs and the modem.
        "LimitNOFILE=4096\n"
        // The regular expressions run without compiling to machine code, so
        // that no memory has to be both writable and executable.
        "Environment=QT_ENABLE_REGEXP_JIT=0\n"
        "NoNewPrivileges=yes\n"
        "CapabilityBoundingSet=\n"
        "ProtectSystem=strict\n"
        "ReadWritePaths=%3\n")
        .arg(accountName(folder.owner(), folder.ownerId()), accountName(folder.group(), folder.groupId()), commandWord(path));
    // A program folder under a home or temporary folder must stay visible.
    text += lies(path, {QStringLiteral("/home"), QStringLiteral("/root"), QStringLiteral("/run/user")})
        ? QStringLiteral("ProtectHome=read-only\n")
        : QStringLiteral("ProtectHome=yes\n");
    if (!lies(path, {QStringLiteral("/tmp"), QStringLiteral("/var/tmp")}))
        text += QStringLiteral("PrivateTmp=yes\n");
    text += QStringLiteral(
        "DevicePolicy=closed\n"
        "DeviceAllow=char-ttyS rw\n"
        "DeviceAllow=char-ttyUSB rw\n"
        "DeviceAllow=char-ttyACM rw\n"
        "ProtectKernelTunables=yes\n"
        "ProtectKernelModules=yes\n"
        "ProtectKernelLogs=yes\n"
        "ProtectControlGroups=yes\n"
        "ProtectClock=yes\n"
        "ProtectHostname=yes\n"
        "ProtectProc=invisible\n"
        "ProcSubset=pid\n"
        "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
        "RestrictNamespaces=yes\n"
        "RestrictRealtime=yes\n"
        "RestrictSUIDSGID=yes\n"
        "LockPersonality=yes\n"
        "MemoryDenyWriteExecute=yes\n"
        "RemoveIPC=yes\n"
        "PrivateIPC=yes\n"
        "KeyringMode=private\n"
        "PrivateMounts=yes\n"
        "NotifyAccess=main\n"
        "SystemCallArchitectures=native\n"
        "SystemCallFilter=@system-service\n"
        "SystemCallFilter=~@privileged @resources\n"
        "SystemCallErrorNumber=EPERM\n");
    return text;
}

void reloadSystemd()
{
    if (unitFolderRedirected() || sd_booted() <= 0)
        return;
    QProcess::execute(QStringLiteral("systemctl"), {QStringLiteral("daemon-reload")});
}

} // namespace

ServiceControl::ServiceControl(QString serviceName, QString displayName, QObject *parent)
    : QObject(parent), m_serviceName(std::move(serviceName)), m_displayName(std::move(displayName))
{
}

ServiceControl::~ServiceControl() = default;

QString ServiceControl::unitFolder() const
{
    return unitFolderRedirected() ? qEnvironmentVariable("TALVINOR_UNIT_DIR") : QStringLiteral("/etc/systemd/system");
}

QString ServiceControl::unitPath() const
{
    return QDir(unitFolder()).filePath(m_serviceName + QStringLiteral(".service"));
}

bool ServiceControl::Install(const QString &executable)
{
    const QFileInfo exe(executable);
    const QString unit = QStringLiteral(
        "[Unit]\n"
        "Description=%1\n"
        "After=network.target\n"
        "\n"
        "[Service]\n"
        "Type=notify\n"
        "ExecStart=%2\n"
        "WorkingDirectory=%3\n"
        "Restart=on-failure\n"
        "%4"
        "\n"
        "[Install]\n"
        "WantedBy=multi-user.target\n")
        .arg(withoutSpecifiers(m_displayName), commandWord(exe.absoluteFilePath()), withoutSpecifiers(exe.absolutePath()),
             accountAndProtections(exe.absolutePath()));
    QSaveFile out(unitPath());
    if (!QDir().mkpath(unitFolder()) || !out.open(QIODevice::WriteOnly) || out.write(unit.toUtf8()) < 0 || !out.commit())
        return false;
    // Enabling is the link that `systemctl enable` would make for WantedBy=.
    const QDir unitDir(unitFolder());
    if (!unitDir.mkpath(QString::fromLatin1(WantsFolder)))
        return false;
    const QString link = unitDir.filePath(QString::fromLatin1(WantsFolder) + QLatin1Char('/') + QFileInfo(unitPath()).fileName());
    QFile::remove(link);
    if (!QFile::link(unitPath(), link))
        return false;
    reloadSystemd();
    return true;
}

bool ServiceControl::Uninstall()
{
    const QString link = QDir(unitFolder()).filePath(QString::fromLatin1(WantsFolder) + QLatin1Char('/') + QFileInfo(unitPath()).fileName());
    QFile::remove(link);
    if (!QFile::exists(unitPath()) || !QFile::remove(unitPath()))
        return false;
    reloadSystemd();
    return true;
}

bool ServiceControl::StartService()
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (::sigaction(SIGTERM, &action, nullptr) != 0 || ::sigaction(SIGINT, &action, nullptr) != 0)
        return false;
    m_signalFd = signalPipe[0];
    m_signalNotifier = std::make_unique<QSocketNotifier>(m_signalFd, QSocketNotifier::Read);
    connect(m_signalNotifier.get(), &QSocketNotifier::activated, this, &ServiceControl::onSignal);
    QMetaObject::invokeMethod(this, [this] {
        bool success = false;
        Q_EMIT Start(&success);
        NotifyStarted(success);
    }, Qt::QueuedConnection);
    return true;
}

void ServiceControl::NotifyStarted(bool success, const QString &status)
{
    if (success)
        sd_notify(0, "READY=1");
    else
        sd_notifyf(0, "STATUS=%s", status.isEmpty() ? "Service failed to start" : status.toUtf8().constData());
}

void ServiceControl::onSignal()
{
    char buffer[16];
    while (::read(m_signalFd, buffer, sizeof buffer) > 0) {
    }
    m_signalNotifier->setEnabled(false);
    sd_notify(0, "STOPPING=1");
    Q_EMIT Stop();
}

void ServiceControl::LogEvent(int eventType, int eventId, const QString &text)
{
    eventlog::write(eventType, eventId, text);
}

} // namespace platform
