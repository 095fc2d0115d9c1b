#include "platform/servicecontrol.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::ServiceControl;

namespace {
class ServiceControlTest : public ::testing::Test {
protected:
    QTemporaryDir units;
    void SetUp() override { qputenv("TALVINOR_UNIT_DIR", units.path().toUtf8()); }
    void TearDown() override { qunsetenv("TALVINOR_UNIT_DIR"); }
};
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

    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (!analyze.isEmpty()) {
        QProcess p;
        p.start(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), unit});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    }
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

    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (!analyze.isEmpty()) {
        QProcess p;
        p.start(analyze, {QStringLiteral("verify"), QStringLiteral("--man=no"), unit});
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().constData();
    }
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
