// The settings file, construction and the library's logs.
#include "simmodem.h"

#include "platform/error.h"
#include "vorbex/clsvorbex.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

namespace {

using vorbex::clsVorbex;

struct BadSetting {
    const char *key;
    const char *value;
    int error;
};

void PrintTo(const BadSetting &s, std::ostream *os)
{
    *os << s.key << "=\"" << s.value << '"';
}

class BadSettingTest : public ::testing::TestWithParam<BadSetting> {};

TEST_P(BadSettingTest, FailsConstruction)
{
    LibraryFolder folder;
    folder.writeSettings({{QString::fromLatin1(GetParam().key), QString::fromLatin1(GetParam().value)}});
    try {
        clsVorbex modem;
        FAIL() << "constructed";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), GetParam().error) << e.description().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, BadSettingTest,
                         ::testing::Values(BadSetting{"Debug", "yes", platform::ErrTypeMismatch},
                                           BadSetting{"Debug", "", platform::ErrTypeMismatch},
                                           BadSetting{"com_port", "COM1", platform::ErrTypeMismatch},
                                           BadSetting{"com_port", "", platform::ErrTypeMismatch},
                                           BadSetting{"com_port", "70000", platform::ErrOverflow},
                                           BadSetting{"com_port", "0", platform::ErrInvalidCall}));

struct DebugValue {
    const char *value; // nullptr: key missing
    bool inputLogs;
};

void PrintTo(const DebugValue &d, std::ostream *os)
{
    *os << "Debug=" << (d.value ? d.value : "(missing)");
}

class DebugTest : public ::testing::TestWithParam<DebugValue> {};

// The receive dialogue reads the modem's answer whatever Debug says; Debug
// decides only whether the input is logged.
TEST_P(DebugTest, SwitchesTheInputLogs)
{
    LibraryFolder folder;
    QMap<QString, QString> settings;
    if (GetParam().value)
        settings.insert(QStringLiteral("Debug"), QString::fromLatin1(GetParam().value));
    folder.writeSettings(settings);
    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    ASSERT_TRUE(sim.deliver(QStringLiteral("+905321234567"), QStringLiteral("hello")));

    clsVorbex modem;
    int received = 0;
    QObject::connect(&modem, &clsVorbex::SMSReceived, [&] { ++received; });
    modem.OpenDevice(true);
    modem.CommandReceiveMessage(1);
    modem.CheckSMSQueue();
    EXPECT_EQ(received, 1);

    const QStringList commands = folder.logRecords(QStringLiteral("Commands"));
    const QStringList incoming = folder.logRecords(QStringLiteral("Incoming"));
    const QStringList sentData = folder.logRecords(QStringLiteral("SentData"));
    if (!GetParam().inputLogs) {
        EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("Incoming.log"))));
        EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("SentData.log"))));
        EXPECT_EQ(commands, QStringList({QStringLiteral("AT+CMGL=4\r\n"), QStringLiteral("AT+CMGD=1\r\n")}));
        return;
    }
    // The chunks as read, the whole answer, and the matched entry.
    ASSERT_EQ(commands.size(), 3);
    EXPECT_EQ(commands[1], incoming.join(QString()));
    EXPECT_TRUE(commands[1].startsWith(QStringLiteral("AT+CMGL=4\r")));
    ASSERT_EQ(sentData.size(), 1);
    EXPECT_TRUE(sentData[0].startsWith(QStringLiteral("+CMGL: 1,0,,")));
    EXPECT_TRUE(commands[1].contains(sentData[0]));
}

INSTANTIATE_TEST_SUITE_P(Settings, DebugTest,
                         ::testing::Values(DebugValue{"1", true}, DebugValue{"1.0", true}, DebugValue{"0", false},
                                           DebugValue{"2", false}, DebugValue{nullptr, false}));

TEST(ModemLog, AppendsStampTextAndDashLineInTheAnsiCodePage)
{
    LibraryFolder folder;
    {
        QFile earlier(folder.filePath(QStringLiteral("Commands.log")));
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier\r\n");
    }
    clsVorbex modem;
    modem.LogFile(QStringLiteral("one"), QStringLiteral("Commands"));
    modem.LogFile(QStringLiteral("two\r\nlines"), QStringLiteral("Commands"));
    modem.LogFile(QStringLiteral("\u011Fa"), QStringLiteral("Commands")); // ğ is 0xF0 in the Turkish page

    // Read byte for byte: the Turkish ğ must be the single byte 0xF0.
    const QString written = QString::fromLatin1(folder.readFile(QStringLiteral("Commands.log")));
    QString layout = QStringLiteral("^earlier\\r\\n");
    for (const char *text : {"one", "two\r\nlines", "\xF0" "a"})
        layout += QStringLiteral("\\d{12}\\r\\n") + QRegularExpression::escape(QString::fromLatin1(text))
            + QStringLiteral("\\r\\n-{82}\\r\\n");
    EXPECT_TRUE(QRegularExpression(layout + QLatin1Char('$')).match(written).hasMatch()) << written.toStdString();
}

TEST(ModemLog, EmptyTextWritesNothing)
{
    LibraryFolder folder;
    clsVorbex modem;
    modem.LogFile(QString(), QStringLiteral("Incoming"));
    EXPECT_FALSE(QFile::exists(folder.filePath(QStringLiteral("Incoming.log"))));
}

// The send dialogue names the service centre read by the last
// OpenDevice(true); before any, it names none.
TEST(ServiceCentre, IsReadAgainByEveryOpenDevice)
{
    LibraryFolder folder;
    folder.writeSettings({});
    SimModem sim(folder);
    ASSERT_TRUE(sim.start()) << sim.diagnostics().toStdString();
    clsVorbex modem;
    const auto centreSent = [&] {
        modem.CommandSendMessage(QStringLiteral("+905321234567"), QStringLiteral("hi"), false);
        modem.CheckSMSQueue();
        return folder.logRecords(QStringLiteral("Commands")).filter(QStringLiteral("AT+CSCA=")).last();
    };

    modem.setPortOpen(true);
    EXPECT_EQ(centreSent(), QStringLiteral("AT+CSCA="));
    folder.writeSettings({{QStringLiteral("GSMServiceNumber"), QStringLiteral("+4912345678901")}});
    modem.OpenDevice(true);
    EXPECT_EQ(centreSent(), QStringLiteral("AT+CSCA=+4912345678901"));
    folder.writeSettings({{QStringLiteral("GSMServiceNumber"), QStringLiteral("+905320000000")}});
    modem.OpenDevice(true);
    EXPECT_TRUE(modem.PortOpen());
    EXPECT_EQ(centreSent(), QStringLiteral("AT+CSCA=+905320000000"));
    ASSERT_TRUE(sim.waitForSent(3));
}

} // namespace
