#include "spool.h"

#include "modemsim.h"
#include "simpdu/simpdu.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

void report(const QString &text)
{
    std::fprintf(stderr, "gsmsim: %s\n", qPrintable(text));
}

// The text as written, less the line end an editor or echo adds.
QString withoutFinalLineEnd(QString text)
{
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    return text;
}

} // namespace

Spool::Spool(ModemSim &sim, QString folder, Control control, QObject *parent)
    : QObject(parent), m_sim(sim), m_folder(std::move(folder)), m_control(std::move(control))
{
    QDir().mkpath(m_folder);
    m_watcher.addPath(m_folder);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &Spool::Scan);
}

void Spool::Scan()
{
    const QStringList names = QDir(m_folder).entryList({QStringLiteral("*.sms"), QStringLiteral("*.pdu"), QStringLiteral("*.fault")},
                                                       QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QString path = QDir(m_folder).filePath(name);
        if (Take(path)) {
            QFile::remove(path);
        } else {
            QFile::remove(path + QStringLiteral(".rejected"));
            QFile::rename(path, path + QStringLiteral(".rejected"));
        }
    }
}

bool Spool::Take(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        report(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return false;
    }
    const QString content = QString::fromUtf8(file.readAll());
    if (path.endsWith(QLatin1String(".fault"))) {
        const QString line = content.section(QLatin1Char('\n'), 0, 0).trimmed();
        const bool known = m_control(line);
        report(known ? QStringLiteral("fault: %1").arg(line) : QStringLiteral("unknown fault \"%1\"").arg(line));
        return known;
    }
    QString pdu;
    if (path.endsWith(QLatin1String(".pdu"))) {
        pdu = content.trimmed();
    } else {
        const qsizetype lineEnd = content.indexOf(QLatin1Char('\n'));
        const QString sender = content.left(lineEnd).trimmed();
        const QString text = lineEnd < 0 ? QString() : withoutFinalLineEnd(content.mid(lineEnd + 1));
        pdu = simpdu::BuildDeliverPdu(sender, text, QDateTime::currentDateTime());
    }
    if (pdu.isEmpty()) {
        report(QStringLiteral("%1 holds no message that fits one SMS").arg(path));
        return false;
    }
    const int index = m_sim.Store(pdu);
    report(QStringLiteral("stored message %1 from %2").arg(index).arg(QFileInfo(path).fileName()));
    return true;
}
