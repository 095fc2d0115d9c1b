#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

// Opens one SQLite database file for reading and writing without ever
// creating it: WAL journal, busy time-out of 5 s, and the matching and
// ordering of texts of store/alphabet.h. Raises platform::Error when the
// file is missing or is not a database that can be read.
QSqlDatabase OpenDatabaseFile(const QString &connectionName, const QString &path);

// The text of a field value; a Null cannot become text and raises
// platform::Error ("Invalid use of Null").
QString FieldText(const QVariant &value);

// The statement run with `values` bound to its "?" placeholders in order;
// rows are read forward only. Raises platform::Error with the database's
// own text.
QSqlQuery RunStatement(const QSqlDatabase &connection, const QString &statement, const QVariantList &values = {});
// Steps to the next row; false at the end. A failure while stepping raises.
bool NextRow(QSqlQuery &query);

// Closes the connection and removes it from Qt's list of connections; a
// connection that never opened is only removed.
void CloseDatabaseFile(QSqlDatabase &connection, const QString &name) noexcept;

// The statements run between its creation and Commit() take effect together
// or not at all. It begins with BEGIN IMMEDIATE, which takes the write lock
// at once (waiting up to the busy time-out), so what a statement reads
// inside it still holds when a later statement writes. Raises
// platform::Error when the lock cannot be had, or when the database file is
// no longer where it was opened: what would be written then reaches no one.
class Transaction {
public:
    explicit Transaction(const QSqlDatabase &connection);
    // Rolls back what was not committed.
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    // Raises platform::Error when the changes cannot be kept; they are then
    // rolled back.
    void Commit();
    void Rollback() noexcept;

private:
    QSqlDatabase m_connection;
    bool m_open = false;
};

// One statement that writes, run as a Transaction of its own. Returns the
// number of rows it changed.
int RunWrite(const QSqlDatabase &connection, const QString &statement, const QVariantList &values = {});
