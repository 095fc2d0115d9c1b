#pragma once

#include "store/databasefiles.h"

class ServiceLog;

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
