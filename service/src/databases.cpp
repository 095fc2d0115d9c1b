#include "databases.h"

#include "servicelog.h"

#include "platform/convert.h"
#include "platform/error.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

using platform::describe;

namespace {

constexpr int ErrInvalidUseOfNull = 94;

// Every look-up's values come from the network; they are bound to the
// statement, never written into its text, so none can change its meaning.
const QString UserAccessStatement =
    QStringLiteral("SELECT COUNT(*) FROM Users WHERE UserName = ? AND UserPassword = ?");
const QString ManualNumberPermissionStatement =
    QStringLiteral("SELECT ManualNumberPermission FROM Users WHERE UserName = ? AND UserPassword = ?");
const QString ModeratorStatement =
    QStringLiteral("SELECT COUNT(*) FROM Users WHERE UserName = ? AND ModeratorAccess = 1");
const QString UserExistStatement = QStringLiteral("SELECT COUNT(*) FROM Users WHERE UserName = ?");

QString describe(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("Unknown database error") : text;
}

[[noreturn]] void raiseDatabaseError(const QSqlError &error)
{
    throw platform::Error(error.nativeErrorCode().toInt(), describe(error));
}

QVariant firstFieldOfFirstRow(QSqlQuery &query)
{
    if (!NextRow(query))
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("No current record."));
    return query.value(0);
}

// Why the open file cannot serve as one of our databases, or "" when it can.
QString unusableReason(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    // Reading the schema proves the file is a database; an empty file would
    // otherwise pass as a database without tables.
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")) || !query.next())
        return describe(query.lastError());
    if (query.value(0).toLongLong() == 0)
        return QStringLiteral("the file holds no tables");
    // Readers in WAL mode never wait for a writer, so the console can write
    // while the service reads.
    if (!query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !query.next())
        return describe(query.lastError());
    const QString mode = query.value(0).toString();
    if (mode.compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("the WAL journal mode is not available (journal mode \"%1\")").arg(mode);
    return {};
}

QString nextConnectionName(const char *database)
{
    static QAtomicInt counter;
    return QStringLiteral("TalvinorSMSSvc.%1.%2").arg(QLatin1String(database)).arg(counter.fetchAndAddRelaxed(1));
}

void closeConnection(QSqlDatabase &connection, const QString &name)
{
    connection.close();
    connection = QSqlDatabase();
    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
}

} // namespace

QSqlQuery RunStatement(const QSqlDatabase &connection, const QString &statement, const QVariantList &values)
{
    if (!connection.isOpen())
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("The database connection is not open"));
    QSqlQuery query(connection);
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        raiseDatabaseError(query.lastError());
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        raiseDatabaseError(query.lastError());
    return query;
}

bool NextRow(QSqlQuery &query)
{
    if (query.next())
        return true;
    if (query.lastError().isValid())
        raiseDatabaseError(query.lastError());
    return false;
}

QSqlDatabase OpenDatabaseFile(const QString &connectionName, const QString &path)
{
    // SQLite would create a missing file; a missing database must fail instead.
    if (!QFileInfo::exists(path))
        throw platform::Error(platform::ErrFileNotFound, QStringLiteral("Database file not found: ") + path);

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw"));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=5000"));
    const QString reason = db.open() ? unusableReason(db) : describe(db.lastError());
    if (reason.isEmpty())
        return db;
    closeConnection(db, connectionName);
    throw platform::Error(platform::ErrServiceFatal, QStringLiteral("Cannot open database %1: %2").arg(path, reason));
}

QString FieldText(const QVariant &value)
{
    if (value.isNull())
        throw platform::Error(ErrInvalidUseOfNull, QStringLiteral("Invalid use of Null"));
    return value.toString();
}

Databases::Databases(ServiceLog &log)
    : m_log(log), m_applicationName(nextConnectionName("application")),
      m_phonebookName(nextConnectionName("phonebook"))
{
}

Databases::~Databases()
{
    CloseConnections();
}

void Databases::OpenConnections(const QString &programFolder)
{
    CloseConnections();
    const QString folder = programFolder + QStringLiteral("/db/");
    m_application = OpenDatabaseFile(m_applicationName, folder + QStringLiteral("application.db"));
    m_phonebook = OpenDatabaseFile(m_phonebookName, folder + QStringLiteral("phonebook.db"));
}

void Databases::CloseConnections() noexcept
{
    closeConnection(m_application, m_applicationName);
    closeConnection(m_phonebook, m_phonebookName);
}

bool Databases::CountIsNotZero(const QString &statement, const QVariantList &values)
{
    QSqlQuery query = RunStatement(m_application, statement, values);
    return firstFieldOfFirstRow(query).toLongLong() != 0;
}

bool Databases::CountIsNotZero(const QString &procedure, const QString &statement, const QVariantList &values)
{
    bool found = false;
    try {
        found = CountIsNotZero(statement, values);
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), procedure);
    }
    return found;
}

bool Databases::UserAccessControl(const QString &userName, const QString &passwordDigest)
{
    return CountIsNotZero(QStringLiteral("UserAccessControl"), UserAccessStatement, {userName, passwordDigest});
}

qint16 Databases::UserManualNumberPermissionCheck(const QString &userName, const QString &passwordDigest)
{
    qint16 permission = 0;
    try {
        QSqlQuery query = RunStatement(m_application, ManualNumberPermissionStatement, {userName, passwordDigest});
        permission = platform::ToInteger(FieldText(firstFieldOfFirstRow(query)));
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), QStringLiteral("UserManualNumberPermissionCheck"));
    }
    return permission;
}

bool Databases::ModeratorCheck(const QString &userName)
{
    return CountIsNotZero(QStringLiteral("ModeratorCheck"), ModeratorStatement, {userName});
}

bool Databases::UserExistControl(const QString &userName)
{
    return CountIsNotZero(QStringLiteral("UserExistControl"), UserExistStatement, {userName});
}

bool Databases::UserExists(const QString &userName)
{
    return CountIsNotZero(UserExistStatement, {userName});
}

QString Databases::ExecuteScalar(const QSqlDatabase &connection, const QString &statement, const QVariantList &values)
{
    QString result;
    try {
        QSqlQuery query = RunStatement(connection, statement, values);
        if (NextRow(query))
            result = FieldText(query.value(0));
    } catch (const std::exception &e) {
        m_log.LogServiceError(describe(e), QStringLiteral("ExecuteScalar"));
    }
    return result;
}
