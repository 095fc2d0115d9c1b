#include "platform/servicecontrol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <unistd.h>

using platform::ServiceControl;

namespace {
class ServiceControlTest : public ::testing::Test {
protected:
    QTemporaryDir units;
    void SetUp() override { qputenv("TALVINOR_UNIT_DIR", units.path().toUtf8()); }
    void TearDown() override { qunsetenv("TALVINOR_UNIT_DIR"); }
};

// systemd-analyze, or "" where it is not installed.
QString SystemdAnalyze()
{
    return QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
}

// "systemd-analyze verify" finds nothing wrong with the unit file; nothing
// is checked where the tool is not installed.
void VerifyUnit(const QString &unit)
{
    const QString analyze = SystemdAnalyze();
    if (analyze.isEmpty())
        return;
    QProcess p;
    p.start(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), unit});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
}

} // namespace

TEST_F(ServiceControlTest, InstallWritesAnEnabledNotifyUnit)
{
    ServiceControl svc(QStringLiteral("TalvinorSMSService"), QStringLiteral("Talvinor SMS Service"));
    ASSERT_TRUE(svc.Install(QStringLiteral("/bin/true")));
    const QString unit = units.filePath(QStringLiteral("TalvinorSMSService.service"));
    QFile f(unit);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("Description=Talvinor SMS Service\n"));
    EXPECT_TRUE(text.contains("Type=notify\n"));
    EXPECT_TRUE(text.contains("ExecStart=/bin/true\n"));
    const QFileInfo link(units.filePath(QStringLiteral("multi-user.target.wants/TalvinorSMSService.service")));
    EXPECT_TRUE(link.isSymLink());
    EXPECT_EQ(link.symLinkTarget(), QFileInfo(unit).absoluteFilePath());
    VerifyUnit(unit);
}

// A program folder whose name holds blanks, "%" or "$" must still give a
// unit that starts the program from that folder.
TEST_F(ServiceControlTest, ProgramFolderWithBlanksAndSpecifierCharacters)
{
    const QString folder = units.filePath(QStringLiteral("Talvinor SMS %h $HOME"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/TalvinorSMSSvc");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/true"), program));
    ASSERT_TRUE(QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner));

    ServiceControl svc(QStringLiteral("TalvinorSMSService"), QStringLiteral("Talvinor SMS Service"));
    ASSERT_TRUE(svc.Install(program));
    const QString unit = units.filePath(QStringLiteral("TalvinorSMSService.service"));
    QFile f(unit);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    const QString escapedFolder = QString(folder).replace(QLatin1Char('%'), QLatin1String("%%"));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExecStart=\"") + escapedFolder + QStringLiteral("/TalvinorSMSSvc\"\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("\nWorkingDirectory=") + escapedFolder + QLatin1Char('\n'))) << text.toStdString();
    VerifyUnit(unit);
}

namespace {

QString ReadUnit(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// "systemd-analyze security" on the unit file: its overall exposure level,
// or -1 when the tool cannot judge a unit file offline.
double ExposureLevel(const QString &unit)
{
    const QString analyze = SystemdAnalyze();
    if (analyze.isEmpty())
        return -1;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(analyze, {QStringLiteral("security"), QStringLiteral("--offline=true"), QStringLiteral("--no-pager"), unit});
    if (!p.waitForFinished(60000))
        return -1;
    const QString out = QString::fromUtf8(p.readAll());
    const auto match = QRegularExpression(QStringLiteral("Overall exposure level for \\S+: (\\d+\\.\\d+)")).match(out);
    std::printf("%s\n", qPrintable(out.section(QLatin1Char('\n'), -3)));
    return match.hasMatch() ? match.captured(1).toDouble() : -1;
}

} // namespace

// The service runs as the owner of its program folder with the folder's
// group, may write only there, and is closed off from what it does not use.
TEST_F(ServiceControlTest, TheUnitRunsAsTheFolderOwnerWithProtections)
{
    const QString folder = units.filePath(QStringLiteral("program"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/TalvinorSMSSvc");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/true"), program));
    QString user = QFileInfo(folder).owner();
    QString group = QFileInfo(folder).group();
    if (::geteuid() == 0) {
        // As root the folder can be given away, as an administrator would.
        ASSERT_EQ(::chown(folder.toLocal8Bit().constData(), 65534, 65534), 0);
        user = QFileInfo(folder).owner();
        group = QFileInfo(folder).group();
        ASSERT_NE(user, QStringLiteral("root"));
    }

    ServiceControl svc(QStringLiteral("TalvinorSMSService"), QStringLiteral("Talvinor SMS Service"));
    ASSERT_TRUE(svc.Install(program));
    const QString unit = units.filePath(QStringLiteral("TalvinorSMSService.service"));
    const QString text = ReadUnit(unit);
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const QString &line : {QStringLiteral("User=") + user, QStringLiteral("Group=") + group,
                                QStringLiteral("SupplementaryGroups=dialout"), QStringLiteral("UMask=0007"),
                                QStringLiteral("LimitNOFILE=4096"), QStringLiteral("NoNewPrivileges=yes"),
                                QStringLiteral("ProtectSystem=strict"), QStringLiteral("ReadWritePaths=") + canonical,
                                QStringLiteral("RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6"),
                                QStringLiteral("DeviceAllow=char-ttyUSB rw")})
        EXPECT_TRUE(text.contains(QLatin1Char('\n') + line + QLatin1Char('\n'))) << qPrintable(line) << "\n" << qPrintable(text);
    // Under /tmp a private /tmp would hide the program folder itself.
    EXPECT_EQ(text.contains(QStringLiteral("\nPrivateTmp=yes\n")), !canonical.startsWith(QStringLiteral("/tmp/")));

    if (SystemdAnalyze().isEmpty())
        GTEST_SKIP() << "systemd-analyze is not installed";
    ASSERT_NO_FATAL_FAILURE(VerifyUnit(unit));
    const double level = ExposureLevel(unit);
    ASSERT_GE(level, 0) << "no exposure level";
    EXPECT_LE(level, 4.0);
}

TEST_F(ServiceControlTest, RemoveDeletesUnitAndLinkOnce)
{
    ServiceControl svc(QStringLiteral("TalvinorSMSService"), QStringLiteral("Talvinor SMS Service"));
    ASSERT_TRUE(svc.Install(QStringLiteral("/bin/true")));
    EXPECT_TRUE(svc.Uninstall());
    EXPECT_FALSE(QFile::exists(units.filePath(QStringLiteral("TalvinorSMSService.service"))));
    EXPECT_FALSE(QFileInfo(units.filePath(QStringLiteral("multi-user.target.wants/TalvinorSMSService.service"))).isSymLink());
    EXPECT_FALSE(svc.Uninstall());
}
