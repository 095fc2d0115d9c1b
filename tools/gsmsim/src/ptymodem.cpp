#include "ptymodem.h"

#include "modemsim.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

// Bytes of chatter that may wait for the host before the modem holds back.
constexpr qsizetype ChatterBacklog = 16384;

[[noreturn]] void fail(const QString &what)
{
    throw std::runtime_error(QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno))).toStdString());
}

} // namespace

PtyModem::PtyModem(ModemSim &sim, QString linkPath, QObject *parent)
    : QObject(parent), m_sim(sim), m_linkPath(std::move(linkPath))
{
    const QFileInfo link(m_linkPath);
    if (link.exists() && !link.isSymLink())
        throw std::runtime_error(QStringLiteral("%1 exists and is not a link").arg(m_linkPath).toStdString());

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        fail(QStringLiteral("Cannot create a pseudo-terminal"));
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        fail(QStringLiteral("Cannot name the pseudo-terminal"));
    m_terminal = QString::fromLocal8Bit(name);

    // Raw from the start: the terminal must not echo the modem's own answers
    // back to it before the host has set the line up.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        fail(QStringLiteral("Cannot open %1").arg(m_terminal));
    ::cfmakeraw(&tio);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        fail(QStringLiteral("Cannot set up %1").arg(m_terminal));

    m_readable = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_readable.get(), &QSocketNotifier::activated, this, &PtyModem::ReadHost);
    m_writable = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Write);
    m_writable->setEnabled(false);
    connect(m_writable.get(), &QSocketNotifier::activated, this, &PtyModem::WritePending);

    connect(&m_sim, &ModemSim::Unsolicited, this, &PtyModem::Send);
    // A chattering modem keeps the line as full as the host lets it be.
    m_chatter.setInterval(1);
    connect(&m_chatter, &QTimer::timeout, this, [this] {
        if (m_pending.size() < ChatterBacklog)
            Send(ModemSim::Chatter());
    });
    FollowChatter();

    PointLinkAt(m_terminal);
}

void PtyModem::FollowChatter()
{
    if (m_sim.Chattering())
        m_chatter.start();
    else
        m_chatter.stop();
}

void PtyModem::RemoveLink()
{
    if (QFileInfo(m_linkPath).symLinkTarget() == m_terminal)
        ::unlink(QFile::encodeName(m_linkPath).constData());
}

void PtyModem::Send(const QByteArray &bytes)
{
    m_pending += bytes;
    WritePending();
}

PtyModem::~PtyModem()
{
    if (QFileInfo(m_linkPath).symLinkTarget() == m_terminal) {
        try {
            PointLinkAt(m_linkPath + QStringLiteral(".unplugged"));
        } catch (const std::exception &e) {
            std::fprintf(stderr, "gsmsim: %s\n", e.what());
        }
    }
    m_readable.reset();
    m_writable.reset();
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

// Made beside the link and renamed over it, so the host never finds the
// link missing and falls back to another port.
void PtyModem::PointLinkAt(const QString &target)
{
    const QByteArray link = QFile::encodeName(m_linkPath);
    const QByteArray fresh = link + ".new" + QByteArray::number(::getpid());
    ::unlink(fresh.constData());
    if (::symlink(QFile::encodeName(target).constData(), fresh.constData()) != 0
        || ::rename(fresh.constData(), link.constData()) != 0)
        fail(QStringLiteral("Cannot link %1 to %2").arg(m_linkPath, target));
}

void PtyModem::ReadHost()
{
    char chunk[512];
    for (;;) {
        const ssize_t got = ::read(m_master, chunk, sizeof chunk);
        if (got > 0) {
            m_pending += m_sim.Receive(QByteArrayView(chunk, got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        break;
    }
    WritePending();
}

// The host may not read for a while; what it has not taken waits here.
void PtyModem::WritePending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t put = ::write(m_master, m_pending.constData(), static_cast<size_t>(m_pending.size()));
        if (put > 0) {
            m_pending.remove(0, put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        break;
    }
    m_writable->setEnabled(!m_pending.isEmpty());
}
