#include "programfolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

bool InstallClient(const QString &prefix)
{
    QProcess install;
    install.start(QStringLiteral("cmake"), {QStringLiteral("--install"), QStringLiteral(CLIENT_BUILD_DIR), QStringLiteral("--component"),
                                            QStringLiteral("client"), QStringLiteral("--prefix"), prefix});
    return install.waitForFinished(120000) && install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0;
}

// Starts the installed client under a virtual X server, lets it show its
// window and closes it with its close button; what the script saw.
QString StartAndClose(const QString &folder)
{
    QProcess run;
    run.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 800x600x24"),
                                           QStringLiteral(CLIENT_START_AND_CLOSE), folder});
    if (!run.waitForFinished(90000)) {
        run.kill();
        run.waitForFinished();
        return QStringLiteral("timed out");
    }
    return QString::fromUtf8(run.readAllStandardOutput());
}

void ExpectAStartAndAClose(const QString &folder)
{
    // The client makes its store folder itself.
    ASSERT_TRUE(QDir(folder + QStringLiteral("/users")).removeRecursively());
    const QString seen = StartAndClose(folder);
    EXPECT_TRUE(seen.contains(QStringLiteral("name=Talvinor SMS İstemcisi"))) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("size=302x464"))) << seen.toStdString();
    EXPECT_TRUE(seen.contains(QStringLiteral("exit=0"))) << seen.toStdString();
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/users")).isDir());
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/TalvinorSMSClient.log")))
        << QFile(folder + QStringLiteral("/TalvinorSMSClient.log")).fileName().toStdString();
}

} // namespace

TEST(Install, TheFullProgramFolderRunsTheClient)
{
    ProgramFolder folder;
    ASSERT_TRUE(folder.isValid());
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("TalvinorSMSClient"))).isExecutable());
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("TalvinorSMSSvc"))).isExecutable());
    EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("sound/incoming_message.wav"))).isFile());
    ExpectAStartAndAClose(folder.path());
}

TEST(Install, TheClientComponentIsAFolderForAUsersPC)
{
    QTemporaryDir dir;
    ASSERT_TRUE(InstallClient(dir.path()));
    for (const char *name : {"TalvinorSMSClient", "TalvinorSMSClient.ini", "libtextkit.so", "libsealkit.so", "lang/tr.ini", "lang/en.ini",
                             "sound/incoming_message.wav"})
        EXPECT_TRUE(QFileInfo(dir.filePath(QLatin1String(name))).isFile()) << name;
    for (const char *name : {"users", "sound"})
        EXPECT_TRUE(QFileInfo(dir.filePath(QLatin1String(name))).isDir()) << name;
    for (const char *name : {"TalvinorSMSSvc", "TalvinorSMSSvc.ini", "db", "Unsent", "gsmsim"})
        EXPECT_FALSE(QFileInfo::exists(dir.filePath(QLatin1String(name)))) << name;
    QFile settings(dir.filePath(QStringLiteral("TalvinorSMSClient.ini")));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray shipped = settings.readAll();
    EXPECT_TRUE(shipped.contains("ServerIP=127.0.0.1")) << shipped.toStdString();
    EXPECT_TRUE(shipped.contains("ServerPort=16395")) << shipped.toStdString();
    ExpectAStartAndAClose(dir.path());
}

TEST(Install, InstallingAgainKeepsAnEditedSettingsFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(InstallClient(dir.path()));
    const QByteArray edited = "[SMSClient]\nServerIP=gateway.office\nServerPort=17000\nLanguage=en\n";
    {
        QFile settings(dir.filePath(QStringLiteral("TalvinorSMSClient.ini")));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
        settings.write(edited);
    }
    ASSERT_TRUE(InstallClient(dir.path()));
    QFile settings(dir.filePath(QStringLiteral("TalvinorSMSClient.ini")));
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), edited);
}
