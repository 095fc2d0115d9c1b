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

// Every look-up's values come from the network; they are bound to the
// statement, never written into its text, so none can change its meaning.
const QString UserAccessStatement =
    QStringLiteral("SELECT COUNT(*) FROM Users WHERE UserName = ? AND UserPassword = ?");
const QString ManualNumberPermissionStatement =
    QStringLiteral("SELECT ManualNumberPermission FROM Users WHERE UserName = ? AND UserPassword = ?");
const QString ModeratorStatement =
    QStringLiteral("SELECT COUNT(*) FROM Users WHERE UserName = ? AND ModeratorAccess = 1");
const QString UserExistStatement = QStringLiteral("SELECT COUNT(*) FROM Users WHERE UserName = ?");

QVariant firstFieldOfFirstRow(QSqlQuery &query)
{
    if (!NextRow(query))
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("No current record."));
    return query.value(0);
}

QString nextConnectionName(const char *database)
{
    static QAtomicInt counter;
    return QStringLiteral("TalvinorSMSSvc.%1.%2").arg(QLatin1String(database)).arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

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
    CloseDatabaseFile(m_application, m_applicationName);
    CloseDatabaseFile(m_phonebook, m_phonebookName);
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
