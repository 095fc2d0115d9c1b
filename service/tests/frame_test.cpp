// The service program run as its own process from an installed program
// folder: command line, start-up, start failures, interactive mode, stop.
#include "programfolder.h"

#include "platform/instancelock.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const QString Service = QStringLiteral("TalvinorSMSSvc");

class ServiceFrame : public ::testing::Test {
protected:
    ProgramFolder folder;
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QByteArray log() const { return folder.readFile(QStringLiteral("TalvinorSMSSvc.log")); }
    void useFreePort() const
    {
        folder.writeServiceSettings({{QStringLiteral("port"), QString::number(freeTcpPort())},
                                     {QStringLiteral("sms_check_interval"), QStringLiteral("60")}});
    }
    QString unitFile() const { return QDir(folder.unitFolder()).filePath(QStringLiteral("TalvinorSMSService.service")); }
    void startModem()
    {
        modem = std::make_unique<SimulatedModem>(folder);
        ASSERT_TRUE(modem->isReady());
    }
    std::unique_ptr<SimulatedModem> modem;
};

bool waitFor(QProcess &p, const QByteArray &text, QByteArray &seen, int timeoutMs = 20000)
{
    while (!seen.contains(text)) {
        if (!p.waitForReadyRead(timeoutMs))
            return false;
        seen += p.readAllStandardOutput();
    }
    return true;
}

} // namespace

TEST_F(ServiceFrame, ShippedSettingsHoldTheThreeDefaults)
{
    const QByteArray ini = folder.readFile(QStringLiteral("TalvinorSMSSvc.ini"));
    EXPECT_TRUE(ini.startsWith("[Service Settings]\n"));
    for (const char *line : {"port=16395\n", "sms_check_interval=60\n", "allowed_time_interval=00:00,23:59\n"})
        EXPECT_TRUE(ini.contains(line)) << line;
    EXPECT_EQ(folder.readFile(QStringLiteral("VorbexDll.ini")), QByteArray("[VorbexDll]\nDebug=0\ncom_port=1\nGSMServiceNumber=\n"));
    for (const char *sub : {"Unsent", "Sent", "Incoming", "Backup", "db", "lang"})
        EXPECT_TRUE(QDir(folder.filePath(QString::fromLatin1(sub))).exists()) << sub;
}

TEST_F(ServiceFrame, BlanksOnlyAreAnInvalidArgument)
{
    const auto r = folder.run(Service, {QStringLiteral("   ")});
    ASSERT_TRUE(r.finished);
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(log().contains("Invalid command-line argument\r\nProcedure: Service_Load")) << log().constData();
    EXPECT_TRUE(r.err.contains("Invalid command-line argument"));
}

TEST_F(ServiceFrame, UnknownSwitchIsAnInvalidArgument)
{
    const auto r = folder.run(Service, {QStringLiteral("--start")});
    ASSERT_TRUE(r.finished);
    EXPECT_TRUE(log().contains("Invalid command-line argument\r\nProcedure: Service_Load"));
}

TEST_F(ServiceFrame, InstallAndRemoveWithTheirMessages)
{
    struct Step { QString argument; bool unitAfter; const char *out; const char *err; } steps[] = {
        {QStringLiteral("  --INSTALL "), true, "Service installed successfully", ""},
        {QStringLiteral("--remove"), false, "Service removed successfully", ""},
        {QStringLiteral("--remove"), false, "", "Service failed to remove"},
        {QStringLiteral("--silentinstall"), true, "", ""},
        {QStringLiteral("--SilentRemove"), false, "", ""},
        {QStringLiteral("--silentremove"), false, "", ""},
    };
    for (const Step &s : steps) {
        const auto r = folder.run(Service, {s.argument});
        ASSERT_TRUE(r.finished) << qPrintable(s.argument);
        EXPECT_EQ(QFile::exists(unitFile()), s.unitAfter) << qPrintable(s.argument);
        EXPECT_EQ(r.out.trimmed(), QByteArray(s.out)) << qPrintable(s.argument);
        EXPECT_EQ(r.err.trimmed(), QByteArray(s.err)) << qPrintable(s.argument);
    }
}

TEST_F(ServiceFrame, InstalledUnitRunsTheProgramWithoutSwitches)
{
    ASSERT_TRUE(folder.run(Service, {QStringLiteral("--install")}).finished);
    QFile unit(unitFile());
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    const QByteArray text = unit.readAll();
    EXPECT_TRUE(text.contains("ExecStart=" + folder.filePath(Service).toUtf8() + "\n")) << text.constData();
    EXPECT_TRUE(text.contains("Type=notify\n"));
}

TEST_F(ServiceFrame, SecondCopyEndsWhateverItsSwitch)
{
    platform::InstanceLock running(folder.filePath(QStringLiteral("TalvinorSMSSvc.lock")));
    ASSERT_TRUE(running.tryLock());
    for (const QString &argument : {QStringLiteral("--debug"), QStringLiteral("--install"), QString()}) {
        const auto r = folder.run(Service, argument.isEmpty() ? QStringList() : QStringList{argument});
        ASSERT_TRUE(r.finished);
        EXPECT_NE(r.exitCode, 0);
        EXPECT_FALSE(QFile::exists(unitFile()));
    }
    EXPECT_EQ(log().count("Service already running.\r\nProcedure: Service_Load"), 3) << log().constData();
}

TEST_F(ServiceFrame, DebugStartWritesTheStartUpEntry)
{
    useFreePort();
    startModem();
    const auto r = folder.run(Service, {QStringLiteral("--debug")});
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    const QByteArray expected = "Service attempted to start with the following settings:\r\nVersion:1.0.0\r\nINI File: "
        + folder.filePath(QStringLiteral("TalvinorSMSSvc.ini")).toUtf8();
    EXPECT_TRUE(log().contains(expected)) << log().constData();
}

TEST_F(ServiceFrame, StartFailuresAreLoggedUnderServiceStart)
{
    struct Case { const char *name; std::function<void()> prepare; QByteArray expected; };
    QTcpServer occupied;
    ASSERT_TRUE(occupied.listen(QHostAddress::Any, 0));
    const QString ini = folder.filePath(QStringLiteral("TalvinorSMSSvc.ini"));
    const QString phonebook = folder.filePath(QStringLiteral("db/phonebook.db"));
    const auto writeFile = [&](const QString &name, const QByteArray &text) {
        QFile f(folder.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    };
    startModem();
    const Case cases[] = {
        {"missing settings", [&] { QFile::remove(ini); }, "INI file not found: " + ini.toUtf8() + "\r\nProcedure: Service_Start"},
        {"port in use", [&] { folder.writeServiceSettings({{QStringLiteral("port"), QString::number(occupied.serverPort())}}); },
         "Procedure: Service_Start"},
        {"port not a number", [&] { folder.writeServiceSettings({{QStringLiteral("port"), QStringLiteral("http")}}); },
         "Type mismatch: \"http\"\r\nProcedure: Service_Start"},
        {"modem device missing", [&] {
             useFreePort();
             writeFile(QStringLiteral("VorbexDll.ini"), "[VorbexDll]\ncom_port=99\n");
         }, "/dev/ttyS98"},
        {"phone book missing", [&] {
             QFile::remove(folder.filePath(QStringLiteral("VorbexDll.ini")));
             QFile::rename(phonebook, phonebook + QStringLiteral(".away"));
         }, phonebook.toUtf8()},
    };
    for (const Case &c : cases) {
        QFile::remove(folder.filePath(QStringLiteral("TalvinorSMSSvc.log")));
        c.prepare();
        const auto r = folder.run(Service, {QStringLiteral("--debug")});
        ASSERT_TRUE(r.finished) << c.name;
        EXPECT_NE(r.exitCode, 0) << c.name;
        EXPECT_TRUE(log().contains(c.expected)) << c.name << ": " << log().constData();
        EXPECT_TRUE(log().contains("\r\nProcedure: Service_Start")) << c.name;
        EXPECT_FALSE(log().contains("Service attempted to start")) << c.name;
    }
}

// A failure that is not one of the system's own errors (here the platform
// refusing an unknown code page) still ends the start as a logged failure,
// not as a crash.
TEST_F(ServiceFrame, AnyStartFailureIsLoggedAndEndsTheProgramNormally)
{
    useFreePort();
    for (const QString &argument : {QStringLiteral("--debug"), QString()}) {
        QFile::remove(folder.filePath(QStringLiteral("TalvinorSMSSvc.log")));
        std::unique_ptr<QProcess> p(folder.newProcess(Service, argument.isEmpty() ? QStringList() : QStringList{argument}));
        QProcessEnvironment env = p->processEnvironment();
        env.insert(QStringLiteral("TALVINOR_CODEPAGE"), QStringLiteral("NO-SUCH-PAGE"));
        p->setProcessEnvironment(env);
        p->start();
        ASSERT_TRUE(p->waitForFinished(20000)) << qPrintable(argument);
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit) << qPrintable(argument);
        EXPECT_EQ(p->exitCode(), 1) << qPrintable(argument);
        EXPECT_TRUE(log().contains("Unknown code page in TALVINOR_CODEPAGE: NO-SUCH-PAGE\r\nProcedure: Service_Start"))
            << qPrintable(argument) << ": " << log().constData();
    }
}

TEST_F(ServiceFrame, InteractiveModeRunsEachEnterAndEndsWithItsInput)
{
    useFreePort();
    startModem();
    std::unique_ptr<QProcess> p(folder.newProcess(Service, {QStringLiteral("--interactive")}));
    p->start();
    QByteArray seen;
    ASSERT_TRUE(waitFor(*p, "Service is running in interactive mode. Use this mode only for debug purpose.", seen));
    p->write("\n");
    ASSERT_TRUE(waitFor(*p, "Process completed.", seen));
    p->write("\n");
    seen.clear();
    ASSERT_TRUE(waitFor(*p, "Process completed.", seen));
    p->closeWriteChannel();
    ASSERT_TRUE(p->waitForFinished(20000));
    EXPECT_EQ(p->exitCode(), 0);
}

TEST_F(ServiceFrame, ServiceModeTellsSystemdAndStopsOnSigterm)
{
    const quint16 port = freeTcpPort();
    folder.writeServiceSettings({{QStringLiteral("port"), QString::number(port)}});
    startModem();
    // systemd's notification socket, played by the test.
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = folder.filePath(QStringLiteral("notify.sock")).toUtf8();
    ASSERT_LT(static_cast<size_t>(socketPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);

    std::unique_ptr<QProcess> p(folder.newProcess(Service, {}));
    QProcessEnvironment env = p->processEnvironment();
    env.insert(QStringLiteral("NOTIFY_SOCKET"), QString::fromUtf8(socketPath));
    p->setProcessEnvironment(env);
    p->start();
    ASSERT_TRUE(p->waitForStarted());

    timeval timeout{20, 0};
    ::setsockopt(notify, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char message[256] = {};
    const ssize_t n = ::recv(notify, message, sizeof message - 1, 0);
    ::close(notify);
    ASSERT_GT(n, 0);
    EXPECT_STREQ(message, "READY=1");

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_TRUE(client.waitForConnected(5000));

    p->terminate();
    ASSERT_TRUE(p->waitForFinished(20000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
}
