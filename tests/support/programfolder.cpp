#include "programfolder.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTcpServer>
#include <memory>

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

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
