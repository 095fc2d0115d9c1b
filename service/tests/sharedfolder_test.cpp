// The installed program folder, shared by the service's account and the
// console's users through the folder's group.
#include "programfolder.h"

#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <grp.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t ServiceAccount = 40001;
constexpr uid_t ConsoleUser = 40002;
constexpr gid_t SharedGroup = 40000;

struct stat Stat(const QString &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.toLocal8Bit().constData(), &st), 0) << qPrintable(path);
    return st;
}

// Runs `program` as `uid` in the shared group with the umask most shells
// start with, so that only the program's own umask can share its files.
int RunAs(uid_t uid, const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProgram(program);
    p.setArguments(arguments);
    p.setChildProcessModifier([uid] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(SharedGroup) != 0 || ::setuid(uid) != 0)
            ::_exit(99);
        ::umask(022);
    });
    p.start();
    p.waitForFinished(60000);
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

} // namespace

TEST(SharedProgramFolder, TheInstallStepGivesTheFoldersTheGroupBit)
{
    ProgramFolder folder;
    ASSERT_TRUE(folder.isValid());
    struct Case { const char *path; bool private_; } cases[] = {
        {"", false}, {"lang", false}, {"Unsent", true}, {"Sent", true}, {"Incoming", true}, {"Backup", true}, {"db", true},
    };
    for (const Case &c : cases) {
        const struct stat st = Stat(folder.filePath(QString::fromLatin1(c.path)));
        EXPECT_TRUE(st.st_mode & S_ISGID) << c.path;
        EXPECT_EQ(st.st_mode & S_IRWXG, S_IRWXG) << c.path;
        if (c.private_) {
            EXPECT_EQ(st.st_mode & S_IRWXO, 0u) << c.path;
        }
    }
    for (const char *db : {"db/application.db", "db/phonebook.db"})
        EXPECT_EQ(Stat(folder.filePath(QString::fromLatin1(db))).st_mode & 0777, 0660u) << db;
}

// The service, run as the folder's owner, leaves files that a console user
// of the same group can write, and uses databases that user wrote.
TEST(SharedProgramFolder, TheServiceAndAConsoleUserShareTheirFilesThroughTheGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as two users";
    ProgramFolder folder;
    ASSERT_TRUE(folder.isValid());
    folder.writeServiceSettings({{QStringLiteral("port"), QString::number(freeTcpPort())}});
    const QString owner = QStringLiteral("%1:%2").arg(ServiceAccount).arg(SharedGroup);
    ASSERT_EQ(QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), owner, folder.path()}), 0);

    // A console user adds a contact; the service then opens that database.
    ASSERT_EQ(RunAs(ConsoleUser, QStringLiteral("sqlite3"),
                    {QStringLiteral("db/phonebook.db"), QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Staff')")},
                    folder.path()),
              0);
    // Without a modem the start fails after the databases opened; it
    // reports that in its log.
    RunAs(ServiceAccount, folder.filePath(QStringLiteral("TalvinorSMSSvc")), {QStringLiteral("--debug")}, folder.path());
    const QString log = folder.filePath(QStringLiteral("TalvinorSMSSvc.log"));
    ASSERT_TRUE(QFileInfo::exists(log));
    EXPECT_FALSE(folder.readFile(QStringLiteral("TalvinorSMSSvc.log")).contains("phonebook.db"));
    const struct stat st = Stat(log);
    EXPECT_EQ(st.st_uid, ServiceAccount);
    EXPECT_EQ(st.st_gid, SharedGroup);
    EXPECT_EQ(st.st_mode & 0777, 0660u);

    // And the console user may write what the service created.
    EXPECT_EQ(RunAs(ConsoleUser, QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo >> TalvinorSMSSvc.log")},
                    folder.path()),
              0);
}
