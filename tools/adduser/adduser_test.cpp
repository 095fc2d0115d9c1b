#include "databases.h"
#include "servicelog.h"

#include "common/md5.h"
#include "platform/logwriter.h"

#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray err;
};

ToolRun AddUser(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral(ADDUSER_PROGRAM), arguments);
    if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
        return {-1, tool.errorString().toLocal8Bit()};
    return {tool.exitCode(), tool.readAllStandardError()};
}

class AddUserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QProcess cmake;
        cmake.start(QStringLiteral(CMAKE_PROGRAM),
                    {QStringLiteral("-DDB_FOLDER=") + db, QStringLiteral("-P"), QStringLiteral(CREATEDB_SCRIPT)});
        ASSERT_TRUE(cmake.waitForFinished(60000));
        ASSERT_EQ(cmake.exitCode(), 0) << cmake.readAllStandardError().constData();
        logFile.setLogFolder(program.path());
        logFile.setLogName(QStringLiteral("TalvinorSMSSvc.log"));
    }

    QTemporaryDir program;
    QString db = program.filePath(QStringLiteral("db"));
    platform::LogWriter logFile;
    ServiceLog log{logFile};
    Databases databases{log};
};

TEST_F(AddUserTest, StoredUserLogsInWithTheDigestOfItsPassword)
{
    ASSERT_EQ(AddUser({QStringLiteral("--db"), db, QStringLiteral("--user"), QStringLiteral("bob"),
                       QStringLiteral("--password"), QStringLiteral("s3cret pass"), QStringLiteral("--manual-numbers")})
                  .exitCode,
              0);
    ASSERT_EQ(AddUser({QStringLiteral("--db"), db, QStringLiteral("--user"), QStringLiteral("mod"),
                       QStringLiteral("--password"), QStringLiteral("x"), QStringLiteral("--moderator")})
                  .exitCode,
              0);
    databases.OpenConnections(program.path());

    const QString digest = common::PasswordDigest(QStringLiteral("s3cret pass"));
    EXPECT_TRUE(databases.UserAccessControl(QStringLiteral("bob"), digest));
    EXPECT_FALSE(databases.UserAccessControl(QStringLiteral("bob"), common::PasswordDigest(QStringLiteral("s3cret"))));
    EXPECT_EQ(databases.UserManualNumberPermissionCheck(QStringLiteral("bob"), digest), 1);
    EXPECT_FALSE(databases.ModeratorCheck(QStringLiteral("bob")));

    const QString modDigest = common::PasswordDigest(QStringLiteral("x"));
    EXPECT_EQ(databases.UserManualNumberPermissionCheck(QStringLiteral("mod"), modDigest), 0);
    EXPECT_TRUE(databases.ModeratorCheck(QStringLiteral("mod")));

    QSqlQuery row(databases.ApplicationConnection());
    ASSERT_TRUE(row.exec(QStringLiteral("SELECT UserPassword, FirstName, LastName FROM Users WHERE UserName = 'bob'")));
    ASSERT_TRUE(row.next());
    EXPECT_EQ(row.value(0).toString(), digest);
    EXPECT_EQ(row.value(1).toString(), QStringLiteral("bob"));
    EXPECT_EQ(row.value(2).toString(), QString());
}

TEST_F(AddUserTest, RefusesMissingFlagsAndAMissingDatabase)
{
    const QString missing = program.filePath(QStringLiteral("nowhere"));
    struct Case {
        QStringList arguments;
        QByteArray message;
    } const cases[] = {
        {{QStringLiteral("--db"), db, QStringLiteral("--password"), QStringLiteral("x")}, "--user is required"},
        {{QStringLiteral("--db"), db, QStringLiteral("--user"), QStringLiteral("bob")}, "--password is required"},
        {{QStringLiteral("--user"), QStringLiteral("bob"), QStringLiteral("--password"), QStringLiteral("x")},
         "--db is required"},
        {{QStringLiteral("--db"), missing, QStringLiteral("--user"), QStringLiteral("bob"), QStringLiteral("--password"),
          QStringLiteral("x")},
         "Database file not found"},
    };
    for (const Case &c : cases) {
        const ToolRun run = AddUser(c.arguments);
        EXPECT_NE(run.exitCode, 0) << c.message.constData();
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
    }
    EXPECT_FALSE(QFileInfo::exists(missing));
    databases.OpenConnections(program.path());
    EXPECT_FALSE(databases.UserExistControl(QStringLiteral("bob")));
}

} // namespace
