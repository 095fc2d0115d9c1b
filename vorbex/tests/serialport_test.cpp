// The serial layer: which device a port number stands for, how the line is
// set up, and the error for a device that is not there.
#include "simmodem.h"

#include "platform/error.h"
#include "vorbex/clsvorbex.h"
#include "vorbex/serialport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using vorbex::SerialPort;

TEST(SerialPort, PortNumberStandsForItsLinkElseTheSerialDevice)
{
    LibraryFolder folder;
    SerialPort port(folder.path());
    port.setCommPort(7);
    EXPECT_EQ(port.DeviceName(), QStringLiteral("/dev/ttyS6"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), folder.filePath(QStringLiteral("COM7"))));
    EXPECT_EQ(port.DeviceName(), folder.filePath(QStringLiteral("COM7")));
    port.setCommPort(1);
    EXPECT_EQ(port.DeviceName(), QStringLiteral("/dev/ttyS0"));
}

struct Missing {
    const char *name;
    int port;
    bool danglingLink;
};

void PrintTo(const Missing &m, std::ostream *os)
{
    *os << m.name;
}

class MissingDeviceTest : public ::testing::TestWithParam<Missing> {};

TEST_P(MissingDeviceTest, OpeningRaisesAnErrorNamingTheDevice)
{
    LibraryFolder folder;
    const QString target = folder.filePath(QStringLiteral("unplugged"));
    if (GetParam().danglingLink) {
        ASSERT_TRUE(QFile::link(target, folder.filePath(QStringLiteral("COM%1").arg(GetParam().port))));
    }
    SerialPort port(folder.path());
    port.setCommPort(GetParam().port);
    try {
        port.setPortOpen(true);
        FAIL() << "opened " << port.DeviceName().toStdString();
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), vorbex::ErrDeviceUnavailable);
        EXPECT_TRUE(e.description().contains(port.DeviceName())) << e.description().toStdString();
        if (GetParam().danglingLink) {
            EXPECT_TRUE(e.description().contains(target)) << e.description().toStdString();
        }
    }
    EXPECT_FALSE(port.PortOpen());
}

INSTANTIATE_TEST_SUITE_P(Device, MissingDeviceTest,
                         ::testing::Values(Missing{"DanglingLink", 3, true}, Missing{"NoSuchSerialDevice", 4000, false}),
                         [](const ::testing::TestParamInfo<Missing> &info) { return std::string(info.param.name); });

// The link goes with the modem (a USB modem unplugged): every use fails
// naming the link, never falling back to a serial port with nothing on it,
// until the link is back.
TEST(SerialPort, VanishedLinkIsAMissingDeviceUntilItIsBack)
{
    LibraryFolder folder;
    folder.writeSettings({});
    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    vorbex::clsVorbex modem;
    modem.OpenDevice(true);
    modem.ATCommand(QStringLiteral("AT"));

    ASSERT_TRUE(sim.fault(QStringLiteral("unplug"))) << sim.diagnostics().toStdString();
    const QString link = folder.filePath(QStringLiteral("COM1"));
    ASSERT_FALSE(QFileInfo(link).isSymLink());
    for (int use = 0; use < 3; ++use) {
        try {
            modem.ATCommand(QStringLiteral("AT"));
            FAIL() << "written to " << modem.C()->DeviceName().toStdString();
        } catch (const platform::Error &e) {
            EXPECT_EQ(e.number(), vorbex::ErrDeviceUnavailable);
            EXPECT_TRUE(e.description().contains(link)) << e.description().toStdString();
        }
    }
    EXPECT_EQ(modem.C()->DeviceName(), link);

    ASSERT_TRUE(sim.fault(QStringLiteral("plug"))) << sim.diagnostics().toStdString();
    modem.ATCommand(QStringLiteral("AT"));
    modem.CommandSendMessage(QStringLiteral("+905321234567"), QStringLiteral("back again"), false);
    modem.CheckSMSQueue();
    ASSERT_TRUE(sim.waitForSent(1)) << sim.diagnostics().toStdString();
}

TEST(SerialPort, LineIs9600EightNoParityOneStopWithXonXoff)
{
    LibraryFolder folder;
    folder.writeSettings({{QStringLiteral("com_port"), QStringLiteral("5")}});
    SimModem sim(folder, 5);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    const QByteArray terminal = QFile::encodeName(QFileInfo(folder.filePath(QStringLiteral("COM5"))).symLinkTarget());
    const int fd = ::open(terminal.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios tio{};
    // What an earlier program may have left on the line: any character
    // resuming output after XOFF, upper case turned lower on input.
    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    tio.c_iflag |= IXANY | IUCLC;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &tio), 0);

    vorbex::clsVorbex modem;
    modem.OpenDevice(true);
    ASSERT_TRUE(modem.PortOpen());

    ASSERT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    EXPECT_EQ(::cfgetispeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B9600));
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS));
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | IXANY), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_FALSE(tio.c_iflag & IUCLC);
    // Raw: the modem's bytes arrive as they were sent.
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
    EXPECT_FALSE(tio.c_iflag & (ICRNL | INLCR | IGNCR));
    EXPECT_FALSE(tio.c_oflag & OPOST);
}

} // namespace
