#pragma once

#include <QString>

#include <functional>

namespace vorbex {

// Error number of a device that cannot be opened, read or written.
inline constexpr int ErrDeviceUnavailable = 68;

// The serial port to the modem, and the only code that touches the device.
// The line is fixed at 9600 baud, 8 data bits, no parity, 1 stop bit, XON/XOFF
// handshaking, RTS and DTR raised. Port number N is the device that the link
// "COMN" in the link folder points to when that link exists (a USB modem, or
// the pseudo-terminal of the simulated modem), else /dev/ttyS{N-1}.
//
// A device that goes away while the port is open (a USB modem unplugged or
// reset) fails the call that notices it; every later call tries to open the
// device again, so the port comes back by itself once the device does.
// A write that the line holds back for 5 s (a stray XOFF from the modem)
// restarts output once, tells the notice handler, and tries again; a
// second stall fails. Every failure raises platform::Error naming the device.
class SerialPort {
public:
    explicit SerialPort(QString linkFolder);
    ~SerialPort();
    SerialPort(const SerialPort &) = delete;
    SerialPort &operator=(const SerialPort &) = delete;

    int CommPort() const { return m_commPort; }
    // Port numbers start at 1; the number cannot change while the port is open.
    void setCommPort(int port);

    // True from opening until closing, also while the device is away.
    bool PortOpen() const { return m_open; }
    // Opening an open port, or closing a closed one, changes nothing.
    void setPortOpen(bool open);

    // Characters waiting to be read.
    int InBufferCount();
    // Reads and removes every waiting character (ANSI code page).
    QString Input();
    // Writes the text as it is (ANSI code page); no line end is added.
    void Output(const QString &text);

    // The device path that the port number stands for right now.
    QString DeviceName() const;

    // When the link now leads to another device than the one open, closes
    // that one and opens the new one; says so, or returns "" when the link
    // still leads to the open device (or the port is closed, or has no
    // link). Raises when the new device cannot be opened; the port then
    // tries it again at the next call.
    QString FollowLink();

    // Told of what the port did to keep going (an output restart).
    void setNoticeHandler(std::function<void(const QString &)> handler) { m_notice = std::move(handler); }

private:
    QString linkPath() const;
    void openDevice();
    void closeDevice();
    bool waitWritable(int fd);
    int ensureDevice();
    void checkHangUp(int fd);
    [[noreturn]] void raiseDeviceError(const QString &what, int error);
    [[noreturn]] void lose(const QString &what, int error);

    QString m_linkFolder;
    int m_commPort = 1;
    bool m_open = false;
    int m_fd = -1;
    QString m_device; // the device m_fd was opened on
    QString m_target; // where the link led when m_fd was opened
    bool m_linkSeen = false;
    std::function<void(const QString &)> m_notice;
};

} // namespace vorbex
