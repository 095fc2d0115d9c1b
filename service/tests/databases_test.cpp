#include "databases.h"
#include "servicelog.h"
#include "testdatabases.h"
#include "files.h"

#include "platform/error.h"
#include "platform/logwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

namespace {

const QString BobDigest = QStringLiteral("0123456789ABCDEF0123456789ABCDEF");
const QString OtherDigest = QStringLiteral("FEDCBA9876543210FEDCBA9876543210");
const QVariant Null;

class DatabasesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("db")));
        const QString failure = CopyTemplateDatabases(folder.filePath(QStringLiteral("db")));
        ASSERT_TRUE(failure.isEmpty()) << qPrintable(failure);
        logFile.setLogFolder(folder.path());
        logFile.setLogName(QStringLiteral("TalvinorSMSSvc.log"));
        users.emplace(DbPath(QStringLiteral("application.db")));
        phonebook.emplace(DbPath(QStringLiteral("phonebook.db")));
    }

    QString DbPath(const QString &name) const { return folder.filePath(QStringLiteral("db/") + name); }

    void AddUser(const QString &name, const QString &digest, const QVariant &moderator, const QVariant &permission)
    {
        users->Run(QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, ModeratorAccess, "
                                  "ManualNumberPermission) VALUES (?, ?, ?, '', ?, ?)"),
                   {name, digest, name, moderator, permission});
    }

    void OpenService() { databases.OpenConnections(folder.path()); }

    QString LogText() const { return QString::fromUtf8(ReadAll(logFile.logPath())); }

    QTemporaryDir folder;
    platform::LogWriter logFile;
    ServiceLog log{logFile};
    Databases databases{log};
    std::optional<Writer> users;
    std::optional<Writer> phonebook;
};

TEST_F(DatabasesTest, UserAccessControlMatchesNameAndDigestOnly)
{
    AddUser(QStringLiteral("bob"), BobDigest, 0, 1);
    AddUser(QStringLiteral("o'neil"), OtherDigest, 0, 1);
    OpenService();

    struct Case {
        QString userName;
        QString digest;
        bool access;
    } const cases[] = {
        {QStringLiteral("bob"), BobDigest, true},
        {QStringLiteral("Bob"), BobDigest, true}, // a received "Bob ..." names bob
        {QStringLiteral("BOB"), BobDigest.toLower(), true},
        {QStringLiteral("bob"), OtherDigest, false},
        {QStringLiteral("bob"), QString(), false},
        {QStringLiteral("bob "), BobDigest, false},
        {QStringLiteral("alice"), BobDigest, false},
        {QStringLiteral("o'neil"), OtherDigest, true},
        {QStringLiteral("o'neil"), BobDigest, false},
        {QStringLiteral("x' OR '1'='1"), QString(), false},
        {QStringLiteral("bob' --"), QString(), false},
        {QStringLiteral("bob"), QStringLiteral("' OR '1'='1"), false},
        {QString(), QString(), false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(databases.UserAccessControl(c.userName, c.digest), c.access)
            << qPrintable(c.userName) << " / " << qPrintable(c.digest);
    EXPECT_EQ(LogText(), QString());
}

TEST_F(DatabasesTest, UserManualNumberPermissionCheckReturnsTheStoredNumber)
{
    const int stored[] = {1, 0, 2, -1, 32767, -32768};
    for (int value : stored)
        AddUser(QStringLiteral("user%1").arg(value), BobDigest, 0, value);
    OpenService();

    for (int value : stored)
        EXPECT_EQ(databases.UserManualNumberPermissionCheck(QStringLiteral("USER%1").arg(value), BobDigest), value);
    EXPECT_EQ(LogText(), QString());
}

TEST_F(DatabasesTest, UserManualNumberPermissionCheckFailuresGiveZeroAndAreLogged)
{
    AddUser(QStringLiteral("nullperm"), BobDigest, 0, Null);
    AddUser(QStringLiteral("huge"), BobDigest, 0, 40000);
    AddUser(QStringLiteral("word"), BobDigest, 0, QStringLiteral("yes"));
    AddUser(QStringLiteral("bob"), BobDigest, 0, 1);
    OpenService();

    struct Case {
        QString userName;
        QString digest;
        QString description;
    } const cases[] = {
        {QStringLiteral("nullperm"), BobDigest, QStringLiteral("Invalid use of Null")},
        {QStringLiteral("bob"), OtherDigest, QStringLiteral("No current record.")},
        {QStringLiteral("x' OR '1'='1"), QString(), QStringLiteral("No current record.")},
        {QStringLiteral("huge"), BobDigest, QStringLiteral("Overflow")},
        {QStringLiteral("word"), BobDigest, QStringLiteral("Type mismatch")},
    };
    for (const Case &c : cases) {
        const qsizetype logged = LogText().size();
        EXPECT_EQ(databases.UserManualNumberPermissionCheck(c.userName, c.digest), 0) << qPrintable(c.userName);
        const QString entry = LogText().mid(logged);
        EXPECT_TRUE(entry.contains(c.description)) << qPrintable(entry);
        EXPECT_TRUE(entry.contains(QStringLiteral("\r\nProcedure: UserManualNumberPermissionCheck")))
            << qPrintable(entry);
    }
}

TEST_F(DatabasesTest, ModeratorCheckIsTrueOnlyForModeratorAccessOne)
{
    AddUser(QStringLiteral("mod"), BobDigest, 1, 0);
    AddUser(QStringLiteral("plain"), BobDigest, 0, 0);
    AddUser(QStringLiteral("two"), BobDigest, 2, 0);
    AddUser(QStringLiteral("unset"), BobDigest, Null, 0);
    OpenService();

    struct Case {
        QString userName;
        bool moderator;
    } const cases[] = {
        {QStringLiteral("mod"), true},     {QStringLiteral("MOD"), true},
        {QStringLiteral("plain"), false},  {QStringLiteral("two"), false},
        {QStringLiteral("unset"), false},  {QStringLiteral("nobody"), false},
        {QStringLiteral("x' OR ModeratorAccess = 1 OR '1'='1"), false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(databases.ModeratorCheck(c.userName), c.moderator) << qPrintable(c.userName);
    EXPECT_EQ(LogText(), QString());
}

TEST_F(DatabasesTest, UserExistControlFindsTheNameInAnyCase)
{
    AddUser(QStringLiteral("bob"), BobDigest, 0, 0);
    AddUser(QStringLiteral("bob"), OtherDigest, 0, 0); // the console does not refuse a second bob
    AddUser(QStringLiteral("o'neil"), BobDigest, 0, 0);
    OpenService();

    struct Case {
        QString userName;
        bool exists;
    } const cases[] = {
        {QStringLiteral("bob"), true},           {QStringLiteral("Bob"), true},
        {QStringLiteral("o'neil"), true},        {QStringLiteral("O'NEIL"), true},
        {QStringLiteral("alice"), false},        {QString(), false},
        {QStringLiteral("x' OR '1'='1"), false}, {QStringLiteral("%"), false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(databases.UserExistControl(c.userName), c.exists) << qPrintable(c.userName);
    EXPECT_EQ(LogText(), QString());
}

TEST_F(DatabasesTest, ExecuteScalarReadsTheContactNumber)
{
    phonebook->Run(QStringLiteral("INSERT INTO Contact (ID, FirstName, Phonenumber) VALUES (5, 'Ann', '+905321234567')"));
    phonebook->Run(QStringLiteral("INSERT INTO Contact (ID, FirstName, Phonenumber) VALUES (6, 'Nil', NULL)"));
    OpenService();
    const QSqlDatabase connection = databases.PhonebookConnection();

    EXPECT_EQ(databases.ExecuteScalar(connection, QStringLiteral("SELECT phonenumber FROM Contact WHERE ID = 5")),
              QStringLiteral("+905321234567"));
    EXPECT_EQ(databases.ExecuteScalar(connection, QStringLiteral("SELECT phonenumber FROM Contact WHERE ID = ?"), {5}),
              QStringLiteral("+905321234567"));
    EXPECT_EQ(databases.ExecuteScalar(connection, QStringLiteral("SELECT ID FROM Contact WHERE FirstName = 'ann'")),
              QStringLiteral("5"));
    EXPECT_EQ(databases.ExecuteScalar(connection, QStringLiteral("SELECT phonenumber FROM Contact WHERE ID = 7")),
              QString());
    EXPECT_EQ(LogText(), QString()) << "a missing contact is no error";

    EXPECT_EQ(databases.ExecuteScalar(connection, QStringLiteral("SELECT phonenumber FROM Contact WHERE ID = 6")),
              QString());
    const QString log = LogText();
    EXPECT_TRUE(log.contains(QStringLiteral("Invalid use of Null\r\nProcedure: ExecuteScalar"))) << qPrintable(log);
}

TEST_F(DatabasesTest, ExecuteScalarLogsAStatementTheDatabaseRefuses)
{
    OpenService();
    EXPECT_EQ(databases.ExecuteScalar(databases.PhonebookConnection(), QStringLiteral("SELECT Number FROM Nowhere")),
              QString());
    const QString log = LogText();
    EXPECT_TRUE(log.contains(QStringLiteral("no such table: Nowhere\r\nProcedure: ExecuteScalar"))) << qPrintable(log);
}

TEST_F(DatabasesTest, EachLookUpLogsUnderItsOwnNameWhenTheConnectionIsClosed)
{
    AddUser(QStringLiteral("bob"), BobDigest, 1, 1);
    OpenService();
    const QSqlDatabase phonebookConnection = databases.PhonebookConnection();
    databases.CloseConnections();

    struct Case {
        QString procedure;
        std::function<bool()> lookUpFailed;
    } const cases[] = {
        {QStringLiteral("UserAccessControl"), [&] { return !databases.UserAccessControl(QStringLiteral("bob"), BobDigest); }},
        {QStringLiteral("UserManualNumberPermissionCheck"),
         [&] { return databases.UserManualNumberPermissionCheck(QStringLiteral("bob"), BobDigest) == 0; }},
        {QStringLiteral("ModeratorCheck"), [&] { return !databases.ModeratorCheck(QStringLiteral("bob")); }},
        {QStringLiteral("UserExistControl"), [&] { return !databases.UserExistControl(QStringLiteral("bob")); }},
        {QStringLiteral("ExecuteScalar"),
         [&] { return databases.ExecuteScalar(phonebookConnection, QStringLiteral("SELECT 1")).isEmpty(); }},
    };
    for (const Case &c : cases) {
        const qsizetype logged = LogText().size();
        EXPECT_TRUE(c.lookUpFailed()) << qPrintable(c.procedure);
        const QString entry = LogText().mid(logged);
        EXPECT_TRUE(entry.contains(QStringLiteral("not open\r\nProcedure: ") + c.procedure + QLatin1Char('\n')))
            << qPrintable(entry);
    }
}

TEST_F(DatabasesTest, OpenConnectionsRefusesAMissingOrUnreadableFile)
{
    struct Case {
        QString file;
        QByteArray content; // empty with `remove` set: the file is deleted
        bool remove;
        QString description;
    } const cases[] = {
        {QStringLiteral("application.db"), {}, true, QStringLiteral("Database file not found: ")},
        {QStringLiteral("phonebook.db"), {}, true, QStringLiteral("Database file not found: ")},
        {QStringLiteral("application.db"), "not a database at all, just some text that is long enough", false,
         QStringLiteral("file is not a database")},
        {QStringLiteral("phonebook.db"), {}, false, QStringLiteral("the file holds no tables")},
    };
    for (const Case &c : cases) {
        QTemporaryDir program;
        QDir(program.path()).mkdir(QStringLiteral("db"));
        for (const QString &name : {QStringLiteral("application.db"), QStringLiteral("phonebook.db")})
            QFile::copy(DbPath(name), program.filePath(QStringLiteral("db/") + name));
        const QString path = program.filePath(QStringLiteral("db/") + c.file);
        QFile::remove(path);
        if (!c.remove) {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(c.content);
        }

        try {
            databases.OpenConnections(program.path());
            ADD_FAILURE() << "opened with " << qPrintable(c.description);
        } catch (const platform::Error &e) {
            EXPECT_TRUE(e.description().contains(path)) << qPrintable(e.description());
            EXPECT_TRUE(e.description().contains(c.description)) << qPrintable(e.description());
        }
        EXPECT_EQ(QFileInfo::exists(path), !c.remove) << "a missing database is never created";
        EXPECT_EQ(ReadAll(path), c.content) << "the file is left as it was";
        databases.CloseConnections();
    }
}

TEST_F(DatabasesTest, ConnectionsCanBeReopenedAfterTheyWereClosed)
{
    AddUser(QStringLiteral("bob"), BobDigest, 0, 1);
    OpenService();
    databases.CloseConnections();
    databases.CloseConnections();
    OpenService();
    EXPECT_TRUE(databases.UserAccessControl(QStringLiteral("bob"), BobDigest));
    EXPECT_EQ(LogText(), QString());
}

// The console writes while the service answers logins: the service's reads
// must never wait for, or fail on, the console's write transaction.
TEST_F(DatabasesTest, LookUpsReadWhileAnotherProcessWrites)
{
    AddUser(QStringLiteral("bob"), BobDigest, 1, 1);
    users.reset();
    OpenService();

    QProcess console;
    console.setProcessChannelMode(QProcess::MergedChannels);
    console.start(QStringLiteral("sqlite3"), {QStringLiteral("-bail"), DbPath(QStringLiteral("application.db"))});
    ASSERT_TRUE(console.waitForStarted());
    const auto waitFor = [&console](const QByteArray &marker) {
        QByteArray seen;
        while (!seen.contains(marker) && console.waitForReadyRead(30000))
            seen += console.readAll();
        return seen.contains(marker) ? QByteArray() : seen + console.readAll();
    };

    // A write transaction held open: its changes are not yet committed.
    console.write("BEGIN EXCLUSIVE;\n"
                  "UPDATE Users SET ModeratorAccess = 0 WHERE UserName = 'bob';\n"
                  "INSERT INTO Users (UserName, UserPassword, ModeratorAccess) VALUES ('carol', 'C', 1);\n"
                  ".print held\n");
    ASSERT_EQ(waitFor("held"), QByteArray());
    EXPECT_TRUE(databases.UserAccessControl(QStringLiteral("bob"), BobDigest));
    EXPECT_EQ(databases.UserManualNumberPermissionCheck(QStringLiteral("bob"), BobDigest), 1);
    EXPECT_TRUE(databases.ModeratorCheck(QStringLiteral("bob")));
    EXPECT_FALSE(databases.UserExistControl(QStringLiteral("carol")));

    console.write("COMMIT;\n.print committed\n");
    ASSERT_EQ(waitFor("committed"), QByteArray());
    EXPECT_FALSE(databases.ModeratorCheck(QStringLiteral("bob")));
    EXPECT_TRUE(databases.UserExistControl(QStringLiteral("carol")));

    // Many small commits, the console's usual pattern, read in between.
    QByteArray commits;
    for (int i = 0; i < 300; ++i)
        commits += QStringLiteral("BEGIN; INSERT INTO Users (UserName, UserPassword) VALUES ('u%1', 'D'); "
                                  "UPDATE Users SET ManualNumberPermission = %2 WHERE UserName = 'bob'; COMMIT;\n")
                       .arg(i)
                       .arg(i % 2)
                       .toLatin1();
    console.write(commits + ".print finished\n.quit\n");
    do {
        EXPECT_TRUE(databases.UserAccessControl(QStringLiteral("bob"), BobDigest));
        EXPECT_TRUE(databases.UserExistControl(QStringLiteral("carol")));
        console.waitForFinished(0);
    } while (console.state() != QProcess::NotRunning);
    EXPECT_TRUE(console.readAll().contains("finished"));
    EXPECT_TRUE(databases.UserExistControl(QStringLiteral("u299")));
    const QString log = LogText();
    EXPECT_FALSE(log.contains(QStringLiteral("locked"))) << qPrintable(log);
    EXPECT_EQ(log, QString());
}

TEST(CreateDatabases, CreatesMissingFilesInWalModeAndKeepsExistingOnes)
{
    QTemporaryDir program;
    const QString db = program.filePath(QStringLiteral("db"));
    ASSERT_EQ(CreateDatabases(db), QString());
    {
        Writer application(db + QStringLiteral("/application.db"));
        Writer phonebook(db + QStringLiteral("/phonebook.db"));
        EXPECT_EQ(application.JournalMode(), QStringLiteral("wal"));
        EXPECT_EQ(phonebook.JournalMode(), QStringLiteral("wal"));
        application.Run(QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, "
                                       "ModeratorAccess, ManualNumberPermission) VALUES ('bob', 'D', 'Bob', '', 0, 1)"));
        phonebook.Run(QStringLiteral("INSERT INTO Contact (FirstName, LastName, Company, Phonenumber) "
                                     "VALUES ('Ann', 'Lee', 'ACME', '123')"));
        phonebook.Run(QStringLiteral("INSERT INTO Groups (GroupName) VALUES ('Staff')"));
        phonebook.Run(QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1)"));
    }
    ASSERT_TRUE(QFile::remove(db + QStringLiteral("/phonebook.db")));
    const QByteArray application = ReadAll(db + QStringLiteral("/application.db"));

    ASSERT_EQ(CreateDatabases(db), QString());
    EXPECT_EQ(ReadAll(db + QStringLiteral("/application.db")), application);
    EXPECT_TRUE(QFileInfo::exists(db + QStringLiteral("/phonebook.db")));
    EXPECT_FALSE(QFileInfo::exists(db + QStringLiteral("/phonebook.db.partial")));
}

// IDs of deleted contacts are not handed out again: the link rows that
// outlive a contact must not make a newer contact a member of its groups.
TEST_F(DatabasesTest, DeletedContactIdsAreNotReused)
{
    phonebook->Run(QStringLiteral("INSERT INTO Contact (FirstName, Phonenumber) VALUES ('Ann', '1')"));
    phonebook->Run(QStringLiteral("INSERT INTO ContactGroupLink (GroupID, ContactID) VALUES (1, 1)"));
    phonebook->Run(QStringLiteral("DELETE FROM Contact WHERE ID = 1"));
    phonebook->Run(QStringLiteral("INSERT INTO Contact (FirstName, Phonenumber) VALUES ('Bea', '2')"));
    OpenService();
    EXPECT_EQ(databases.ExecuteScalar(databases.PhonebookConnection(),
                                      QStringLiteral("SELECT ID FROM Contact WHERE FirstName = 'Bea'")),
              QStringLiteral("2"));
}

} // namespace
