#include "store/databasefiles.h"

#include "store/alphabet.h"

#include "platform/error.h"

#include <QFileInfo>
#include <QSqlError>
#include <QUrl>

namespace {

constexpr int ErrInvalidUseOfNull = 94;

QString describe(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.isEmpty() ? QStringLiteral("Unknown database error") : text;
}

[[noreturn]] void raiseDatabaseError(const QSqlError &error)
{
    throw platform::Error(error.nativeErrorCode().toInt(), describe(error));
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

} // namespace

void CloseDatabaseFile(QSqlDatabase &connection, const QString &name) noexcept
{
    connection.close();
    connection = QSqlDatabase();
    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
}

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
    QString reason = db.open() ? unusableReason(db) : describe(db.lastError());
    if (reason.isEmpty()) {
        try {
            InstallTextRules(db);
            return db;
        } catch (const platform::Error &e) {
            reason = e.description();
        }
    }
    CloseDatabaseFile(db, connectionName);
    throw platform::Error(platform::ErrServiceFatal, QStringLiteral("Cannot open database %1: %2").arg(path, reason));
}

QString FieldText(const QVariant &value)
{
    if (value.isNull())
        throw platform::Error(ErrInvalidUseOfNull, QStringLiteral("Invalid use of Null"));
    return value.toString();
}

Transaction::Transaction(const QSqlDatabase &connection) : m_connection(connection)
{
    // SQLite goes on writing into a file that was deleted or moved away
    // while it was open.
    const QString path = QUrl(connection.databaseName()).toLocalFile();
    if (!QFileInfo::exists(path))
        throw platform::Error(platform::ErrFileNotFound, QStringLiteral("Database file not found: ") + path);
    RunStatement(m_connection, QStringLiteral("BEGIN IMMEDIATE"));
    m_open = true;
}

Transaction::~Transaction()
{
    Rollback();
}

void Transaction::Commit()
{
    try {
        RunStatement(m_connection, QStringLiteral("COMMIT"));
    } catch (...) {
        Rollback();
        throw;
    }
    m_open = false;
}

void Transaction::Rollback() noexcept
{
    if (!m_open)
        return;
    m_open = false;
    QSqlQuery query(m_connection);
    query.exec(QStringLiteral("ROLLBACK"));
}

int RunWrite(const QSqlDatabase &connection, const QString &statement, const QVariantList &values)
{
    Transaction transaction(connection);
    const int changed = RunStatement(connection, statement, values).numRowsAffected();
    transaction.Commit();
    return changed;
}
