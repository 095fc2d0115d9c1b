// talvinor-adduser: adds one row to the Users table of db/application.db,
// with the password stored as its digest, as the console stores it.
#include "store/databasefiles.h"

#include "common/md5.h"
#include "platform/error.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>

#include <cstdio>

namespace {

struct NewUser {
    QString userName;
    QString password;
    bool moderator = false;
    bool manualNumbers = false;
};

// "" when the row was added, else why not.
QString AddUser(const QString &dbFolder, const NewUser &user)
{
    const QString connectionName = QStringLiteral("adduser");
    QString failure;
    try {
        QSqlDatabase connection = OpenDatabaseFile(connectionName, dbFolder + QStringLiteral("/application.db"));
        QSqlQuery insert(connection);
        insert.prepare(QStringLiteral("INSERT INTO Users (UserName, UserPassword, FirstName, LastName, "
                                      "ModeratorAccess, ManualNumberPermission) VALUES (?, ?, ?, ?, ?, ?)"));
        insert.addBindValue(user.userName);
        insert.addBindValue(common::PasswordDigest(user.password));
        // The console lists users by first name; the user name stands in for it.
        insert.addBindValue(user.userName);
        insert.addBindValue(QStringLiteral(""));
        insert.addBindValue(user.moderator ? 1 : 0);
        insert.addBindValue(user.manualNumbers ? 1 : 0);
        if (!insert.exec())
            failure = insert.lastError().text();
        insert.finish();
        connection.close();
    } catch (const platform::Error &e) {
        return e.description();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return failure;
}

int Fail(const QString &message)
{
    std::fprintf(stderr, "talvinor-adduser: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Adds a user to db/application.db."));
    parser.addHelpOption();
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User name."), QStringLiteral("name"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password."), QStringLiteral("text"));
    const QCommandLineOption moderator(QStringLiteral("moderator"),
                                       QStringLiteral("The user receives messages that name no known user."));
    const QCommandLineOption manualNumbers(QStringLiteral("manual-numbers"),
                                           QStringLiteral("The user may type phone numbers in the client."));
    const QCommandLineOption db(QStringLiteral("db"), QStringLiteral("The db folder that holds application.db."),
                                QStringLiteral("folder"));
    parser.addOptions({user, password, moderator, manualNumbers, db});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return Fail(QStringLiteral("unexpected argument: ") + parser.positionalArguments().constFirst());
    for (const QCommandLineOption &required : {user, password, db}) {
        if (parser.value(required).isEmpty())
            return Fail(QStringLiteral("--%1 is required").arg(required.names().constFirst()));
    }

    const QString failure = AddUser(parser.value(db), {parser.value(user), parser.value(password),
                                                       parser.isSet(moderator), parser.isSet(manualNumbers)});
    return failure.isEmpty() ? 0 : Fail(failure);
}
