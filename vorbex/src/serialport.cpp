#include "vorbex/serialport.h"

#include "platform/codepage.h"
#include "platform/error.h"

#include "runtime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vorbex {

namespace {

// How long a write may wait for the line to take more output (a modem that
// holds the line with XOFF, or a stalled USB device) before output is
// restarted, and then before it fails.
constexpr double WriteStallSeconds = 5.0;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// 9600 8N1, raw bytes, XON/XOFF in both directions; reads never block.
bool configureLine(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    // Only XON resumes output, and input arrives as sent, whatever an
    // earlier program left on the line.
    tio.c_iflag &= ~static_cast<tcflag_t>(IXANY | IUCLC);
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// A pseudo-terminal has no modem lines; that is no reason to fail.
bool raiseModemLines(int fd)
{
    int lines = TIOCM_RTS | TIOCM_DTR;
    return ::ioctl(fd, TIOCMBIS, &lines) == 0 || errno == ENOTTY || errno == EINVAL;
}

} // namespace

SerialPort::SerialPort(QString linkFolder) : m_linkFolder(std::move(linkFolder)) {}

SerialPort::~SerialPort()
{
    closeDevice();
}

void SerialPort::setCommPort(int port)
{
    if (port < 1)
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("Invalid port number: %1").arg(port));
    if (m_open)
        throw platform::Error(platform::ErrInvalidCall,
                              QStringLiteral("Port %1 is open; close it before changing the port number").arg(m_commPort));
    if (port != m_commPort)
        m_linkSeen = false;
    m_commPort = port;
}

QString SerialPort::linkPath() const
{
    return QDir(m_linkFolder).filePath(QStringLiteral("COM%1").arg(m_commPort));
}

QString SerialPort::DeviceName() const
{
    const QString link = linkPath();
    if (m_linkSeen || QFileInfo(link).isSymLink())
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(m_commPort - 1);
}

void SerialPort::setPortOpen(bool open)
{
    if (open == m_open)
        return;
    if (open) {
        openDevice();
        m_open = true;
    } else {
        closeDevice();
        m_open = false;
    }
}

void SerialPort::openDevice()
{
    m_device = DeviceName();
    m_linkSeen = m_linkSeen || m_device == linkPath();
    const int fd = ::open(QFile::encodeName(m_device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        raiseDeviceError(QStringLiteral("Cannot open"), errno);
    if (!configureLine(fd) || !raiseModemLines(fd)) {
        const int error = errno;
        ::close(fd);
        raiseDeviceError(QStringLiteral("Cannot set up"), error);
    }
    m_fd = fd;
    m_target = QFileInfo(m_device).canonicalFilePath();
}

QString SerialPort::FollowLink()
{
    if (!m_open || m_fd < 0 || m_device != linkPath())
        return QString();
    struct stat led {};
    struct stat held {};
    // A link that is gone leaves the device's own errors to tell.
    if (::stat(QFile::encodeName(m_device).constData(), &led) != 0 || ::fstat(m_fd, &held) != 0)
        return QString();
    if (led.st_dev == held.st_dev && led.st_ino == held.st_ino)
        return QString();
    const QString before = m_target;
    closeDevice();
    openDevice();
    return QStringLiteral("%1 now leads to %2, no longer to %3: the port was closed there and opened on the new device")
        .arg(m_device, m_target, before);
}

void SerialPort::closeDevice()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int SerialPort::ensureDevice()
{
    if (!m_open)
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("Port %1 is not open").arg(m_commPort));
    if (m_fd < 0)
        openDevice();
    return m_fd;
}

void SerialPort::raiseDeviceError(const QString &what, int error)
{
    QString device = m_device;
    const QFileInfo info(m_device);
    if (info.isSymLink())
        device += QStringLiteral(" (%1)").arg(info.symLinkTarget());
    throw platform::Error(ErrDeviceUnavailable, QStringLiteral("%1 %2: %3").arg(what, device, errorText(error)));
}

// The device went away: drop it, so that the next call opens it afresh.
void SerialPort::lose(const QString &what, int error)
{
    closeDevice();
    raiseDeviceError(what, error);
}

// A device that is gone reports nothing waiting on some drivers; the hang-up
// tells it apart from a quiet line.
void SerialPort::checkHangUp(int fd)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        lose(QStringLiteral("Lost the connection to"), EIO);
}

int SerialPort::InBufferCount()
{
    const int fd = ensureDevice();
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0)
        lose(QStringLiteral("Cannot read from"), errno);
    if (waiting == 0)
        checkHangUp(fd);
    return waiting;
}

QString SerialPort::Input()
{
    const int fd = ensureDevice();
    // What waits now, and no more: a modem that never stops talking must
    // not keep this call reading.
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0)
        lose(QStringLiteral("Cannot read from"), errno);
    QByteArray bytes;
    char chunk[512];
    const qsizetype limit = std::max<qsizetype>(waiting, 1);
    while (bytes.size() < limit) {
        const ssize_t got = ::read(fd, chunk, static_cast<size_t>(std::min<qsizetype>(sizeof chunk, limit - bytes.size())));
        if (got > 0) {
            bytes.append(chunk, got);
            continue;
        }
        if (got == 0) {
            // With a raw line, 0 means nothing more is waiting, or a hang-up.
            if (bytes.isEmpty())
                checkHangUp(fd);
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN)
            break;
        lose(QStringLiteral("Cannot read from"), errno);
    }
    return platform::codepage::fromAnsi(bytes);
}

void SerialPort::Output(const QString &text)
{
    const int fd = ensureDevice();
    const QByteArray bytes = platform::codepage::toAnsi(text);
    bool restarted = false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (put > 0) {
            done += put;
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno == EAGAIN) {
            if (waitWritable(fd))
                continue;
            // A modem sends XOFF when its buffer runs full and may lose the
            // XON; output restarted once is worth a second try. TCOON alone
            // only undoes a TCOOFF; after one it restarts output whatever
            // stopped it.
            if (restarted || ::tcflow(fd, TCOOFF) != 0 || ::tcflow(fd, TCOON) != 0)
                lose(QStringLiteral("Timed out writing to"), ETIMEDOUT);
            restarted = true;
            if (m_notice)
                m_notice(QStringLiteral("Output to %1 stalled for %2 s; output restarted and the write tried again")
                             .arg(m_device)
                             .arg(WriteStallSeconds));
            continue;
        }
        lose(QStringLiteral("Cannot write to"), put < 0 ? errno : EIO);
    }
}

// True when the line takes output again within the stall time; a hang-up
// or error is lost at once.
bool SerialPort::waitWritable(int fd)
{
    pollfd p{fd, POLLOUT, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(runtime::waitMs(WriteStallSeconds)));
    if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        lose(QStringLiteral("Cannot write to"), EIO);
    if (ready < 0 && errno != EINTR)
        lose(QStringLiteral("Cannot write to"), errno);
    return ready != 0;
}

} // namespace vorbex
