#include "simmodem.h"

#include "runtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtTest/QTest>

namespace {

constexpr int StartTimeoutMs = 10000;
constexpr int WaitTimeoutMs = 20000;

QString spoolFolder(const LibraryFolder &folder)
{
    return folder.filePath(QStringLiteral("spool"));
}

} // namespace

LibraryFolder::LibraryFolder()
{
    vorbex::runtime::setLibraryFolderForTests(m_dir.path());
    vorbex::runtime::setClockScaleForTests(ClockScale);
}

void LibraryFolder::writeSettings(const QMap<QString, QString> &values) const
{
    QByteArray text = "[VorbexDll]\r\n";
    for (auto it = values.begin(); it != values.end(); ++it)
        text += it.key().toLatin1() + '=' + it.value().toLatin1() + "\r\n";
    QFile file(filePath(QStringLiteral("VorbexDll.ini")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        qFatal("cannot write the settings file");
}

QByteArray LibraryFolder::readFile(const QString &name) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList LibraryFolder::logRecords(const QString &logName) const
{
    static const QRegularExpression record(QStringLiteral("\\d{12}\\r\\n(.*?)\\r\\n-{82}\\r\\n"),
                                           QRegularExpression::DotMatchesEverythingOption);
    const QString text = QString::fromLatin1(readFile(logName + QStringLiteral(".log")));
    QStringList texts;
    qsizetype at = 0;
    for (;;) {
        const QRegularExpressionMatch m =
            record.match(text, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
        if (!m.hasMatch())
            break;
        texts.append(m.captured(1));
        at = m.capturedEnd();
    }
    return texts;
}

SimModem::SimModem(const LibraryFolder &folder, int port) : m_folder(folder), m_port(port)
{
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { m_out += m_process.readAllStandardOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] { m_err += m_process.readAllStandardError(); });
}

SimModem::~SimModem()
{
    stop();
}

bool SimModem::start()
{
    m_process.start(QStringLiteral(GSMSIM_PROGRAM),
                    {QStringLiteral("--folder"), m_folder.path(), QStringLiteral("--port"), QString::number(m_port),
                     QStringLiteral("--spool"), spoolFolder(m_folder)});
    const QString link = m_folder.filePath(QStringLiteral("COM%1").arg(m_port));
    return QTest::qWaitFor([&] { return m_err.contains("ready:") && QFileInfo(link).symLinkTarget().startsWith(QStringLiteral("/dev/pts/")); },
                           StartTimeoutMs);
}

void SimModem::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(StartTimeoutMs))
        m_process.kill();
    m_process.waitForFinished();
}

bool SimModem::dropIntoSpool(const QString &suffix, const QByteArray &content)
{
    const QDir spool(spoolFolder(m_folder));
    const QString name = QStringLiteral("%1.%2").arg(++m_spooled, 4, 10, QLatin1Char('0')).arg(suffix);
    // Written under a hidden name and renamed, so it is never read half-written.
    const QString hidden = spool.filePath(QLatin1Char('.') + name);
    QFile file(hidden);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    if (!QFile::rename(hidden, spool.filePath(name)))
        return false;
    return QTest::qWaitFor([&] { return !spool.exists(name); }, WaitTimeoutMs)
        && !spool.exists(name + QStringLiteral(".rejected"));
}

bool SimModem::deliver(const QString &sender, const QString &text)
{
    return dropIntoSpool(QStringLiteral("sms"), (sender + QLatin1Char('\n') + text).toUtf8());
}

bool SimModem::deliverPdu(const QString &pdu)
{
    return dropIntoSpool(QStringLiteral("pdu"), pdu.toLatin1());
}

bool SimModem::fault(const QString &line)
{
    return dropIntoSpool(QStringLiteral("fault"), line.toUtf8());
}

QList<QJsonObject> SimModem::sent()
{
    QCoreApplication::processEvents();
    QList<QJsonObject> records;
    for (const QByteArray &line : m_out.split('\n')) {
        if (!line.isEmpty())
            records.append(QJsonDocument::fromJson(line).object());
    }
    return records;
}

bool SimModem::waitForSent(qsizetype count)
{
    return QTest::qWaitFor([&] { return sent().size() >= count; }, WaitTimeoutMs);
}
