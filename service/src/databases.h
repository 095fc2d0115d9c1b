#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>

class ServiceLog;

// Opens one SQLite database file for reading and writing without ever
// creating it: WAL journal, busy time-out of 5 s. Raises platform::Error
// when the file is missing or is not a database that can be read.
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

// The service's two connections, db/application.db and db/phonebook.db under
// the program folder, and the look-ups that run on them. Each look-up traps
// its own errors, logs them under its own name and returns what it held at
// that moment, so a failed look-up never ends the caller's work.
class Databases {
public:
    explicit Databases(ServiceLog &log);
    ~Databases();
    Databases(const Databases &) = delete;
    Databases &operator=(const Databases &) = delete;

    // The application connection, then the phone-book connection. Raises
    // platform::Error with a description naming the file that failed.
    void OpenConnections(const QString &programFolder);
    // Closes both, ignoring every error.
    void CloseConnections() noexcept;

    QSqlDatabase ApplicationConnection() const { return m_application; }
    QSqlDatabase PhonebookConnection() const { return m_phonebook; }

    bool UserAccessControl(const QString &userName, const QString &passwordDigest);
    qint16 UserManualNumberPermissionCheck(const QString &userName, const QString &passwordDigest);
    bool ModeratorCheck(const QString &userName);
    bool UserExistControl(const QString &userName);
    // As UserExistControl, but a failed look-up raises platform::Error
    // instead of answering "no such user".
    bool UserExists(const QString &userName);

    // The first field of the first row as text, "" when there is no row.
    // `values` are bound to the statement's "?" placeholders in order.
    QString ExecuteScalar(const QSqlDatabase &connection, const QString &statement,
                          const QVariantList &values = {});

private:
    bool CountIsNotZero(const QString &procedure, const QString &statement, const QVariantList &values);
    bool CountIsNotZero(const QString &statement, const QVariantList &values);

    ServiceLog &m_log;
    QString m_applicationName;
    QString m_phonebookName;
    QSqlDatabase m_application;
    QSqlDatabase m_phonebook;
};
