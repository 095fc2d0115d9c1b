#include "programfolder.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <QTcpSocket>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>
#include <memory>
#include <random>

ProgramFolder::ProgramFolder()
{
    QProcess install;
    install.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(TALVINOR_BUILD_DIR),
                                            QStringLiteral("--prefix"), m_dir.path()});
    m_valid = m_dir.isValid() && install.waitForFinished(120000) && install.exitStatus() == QProcess::NormalExit
        && install.exitCode() == 0;
    if (!m_valid)
        qWarning("install into %s failed: %s", qPrintable(m_dir.path()), install.readAllStandardError().constData());
}

void ProgramFolder::writeServiceSettings(const QMap<QString, QString> &values) const
{
    QFile f(filePath(QStringLiteral("TalvinorSMSSvc.ini")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(f.fileName()));
    QByteArray text = "[Service Settings]\n";
    for (auto it = values.begin(); it != values.end(); ++it)
        text += it.key().toLatin1() + '=' + it.value().toLatin1() + '\n';
    f.write(text);
}

QByteArray ProgramFolder::readFile(const QString &name) const
{
    QFile f(filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QProcess *ProgramFolder::newProcess(const QString &program, const QStringList &arguments) const
{
    auto *process = new QProcess;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TALVINOR_UNIT_DIR"), unitFolder());
    env.remove(QStringLiteral("NOTIFY_SOCKET"));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(path());
    process->setProgram(filePath(program));
    process->setArguments(arguments);
    return process;
}

ProgramFolder::Result ProgramFolder::run(const QString &program, const QStringList &arguments, int timeoutMs) const
{
    std::unique_ptr<QProcess> process(newProcess(program, arguments));
    process->start();
    process->closeWriteChannel();
    Result r;
    r.finished = process->waitForFinished(timeoutMs);
    if (!r.finished) {
        process->kill();
        process->waitForFinished();
    }
    r.exitCode = process->exitCode();
    r.out = process->readAllStandardOutput();
    r.err = process->readAllStandardError();
    return r;
}

namespace {

std::unique_ptr<QProcess> StartService(const ProgramFolder &folder, quint16 port)
{
    std::unique_ptr<QProcess> service(folder.newProcess(QStringLiteral("TalvinorSMSSvc"), {}));
    service->setStandardOutputFile(QProcess::nullDevice());
    service->setStandardErrorFile(folder.filePath(QStringLiteral("service-stderr.log")));
    service->start();
    if (waitUntilListening(port, 20000, service.get()))
        return service;
    qWarning("the service does not listen on port %u: %s", port, folder.readFile(QStringLiteral("TalvinorSMSSvc.log")).constData());
    return nullptr;
}

bool StopService(QProcess &service)
{
    service.terminate();
    return service.waitForFinished(30000) && service.exitStatus() == QProcess::NormalExit && service.exitCode() == 0;
}

} // namespace

// A port below the range the kernel hands out to outgoing connections
// (32768 and up on Linux): a port from that range, found free here, could be
// taken by another test's client before the service binds it.
quint16 freeTcpPort()
{
    static std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pick(20000, 32000);
    for (;;) {
        QTcpServer probe;
        const auto port = static_cast<quint16>(pick(random));
        if (probe.listen(QHostAddress::LocalHost, port))
            return port;
    }
}

bool waitUntilListening(quint16 port, int timeoutMs, const QProcess *process)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        if (probe.waitForConnected(200))
            return true;
        if (deadline.hasExpired() || (process && process->state() == QProcess::NotRunning))
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
}

bool ServiceOnModem::start(QMap<QString, QString> settings)
{
    m_port = freeTcpPort();
    settings.insert(QStringLiteral("port"), QString::number(m_port));
    m_folder.writeServiceSettings(settings);
    m_modem = std::make_unique<SimulatedModem>(m_folder);
    if (!m_modem->isReady())
        return false;
    m_service = StartService(m_folder, m_port);
    return m_service != nullptr;
}

bool ServiceOnModem::stop()
{
    const bool stopped = !m_service || StopService(*m_service);
    m_service.reset();
    m_modem.reset();
    return stopped;
}

SimulatedModem::SimulatedModem(const ProgramFolder &folder) : m_folder(folder)
{
    m_process.reset(folder.newProcess(QStringLiteral("gsmsim"),
                                      {QStringLiteral("--folder"), folder.path(), QStringLiteral("--sent-log"),
                                       folder.filePath(QStringLiteral("gsmsim-sent.log"))}));
    // Its trace goes to a file: a pipe nobody reads would stall it.
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setStandardErrorFile(folder.filePath(QStringLiteral("gsmsim.log")));
    m_process->start();
    QDeadlineTimer deadline(20000);
    while (!(m_ready = folder.readFile(QStringLiteral("gsmsim.log")).contains("ready:")) && !deadline.hasExpired()
           && m_process->state() != QProcess::NotRunning)
        QThread::msleep(20);
    if (!m_ready)
        qWarning("gsmsim did not start: %s", folder.readFile(QStringLiteral("gsmsim.log")).constData());
}

SimulatedModem::~SimulatedModem()
{
    m_process->terminate();
    if (!m_process->waitForFinished(10000))
        m_process->kill();
    m_process->waitForFinished();
}

namespace {

// Written under a hidden name and renamed, so the modem never reads it
// half-written; returns the name it has in the spool folder.
QString dropIntoSpool(const ProgramFolder &folder, const QString &suffix, const QByteArray &content)
{
    static int serial = 0;
    const QDir spool(folder.filePath(QStringLiteral("gsmsim-spool")));
    const QString name = QStringLiteral("msg%1.%2").arg(++serial).arg(suffix);
    QFile f(spool.filePath(QLatin1Char('.') + name));
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write into the modem's spool folder %s", qPrintable(spool.path()));
    f.write(content);
    f.close();
    QFile::rename(f.fileName(), spool.filePath(name));
    return spool.filePath(name);
}

} // namespace

void SimulatedModem::deliver(const QString &sender, const QString &text) const
{
    dropIntoSpool(m_folder, QStringLiteral("sms"), sender.toUtf8() + '\n' + text.toUtf8());
}

bool SimulatedModem::fault(const QString &line, int timeoutMs) const
{
    const QString path = dropIntoSpool(m_folder, QStringLiteral("fault"), line.toUtf8());
    QDeadlineTimer deadline(timeoutMs);
    while (QFile::exists(path) && !deadline.hasExpired())
        QThread::msleep(10);
    return !QFile::exists(path) && !QFile::exists(path + QStringLiteral(".rejected"));
}

QByteArray SimulatedModem::sentLog() const
{
    return m_folder.readFile(QStringLiteral("gsmsim-sent.log"));
}

QList<QJsonObject> SimulatedModem::sentMessages() const
{
    QList<QJsonObject> messages;
    for (const QByteArray &line : sentLog().split('\n')) {
        if (!line.isEmpty())
            messages << QJsonDocument::fromJson(line).object();
    }
    return messages;
}

QMap<QString, int> SimulatedModem::sentTexts() const
{
    QMap<QString, int> counts;
    for (const QJsonObject &message : sentMessages())
        ++counts[message[QStringLiteral("text")].toString()];
    return counts;
}

bool SimulatedModem::waitForSent(int count, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    while (sentLog().count('\n') < count) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    return true;
}
