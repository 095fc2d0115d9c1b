#include "platform/servicecontrol.h"

#include "platform/eventlog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QStandardPaths>
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
        "\n"
        "[Install]\n"
        "WantedBy=multi-user.target\n")
        .arg(withoutSpecifiers(m_displayName), commandWord(exe.absoluteFilePath()), withoutSpecifiers(exe.absolutePath()));
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
