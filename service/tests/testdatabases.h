#pragma once

// The two databases for tests: made by the install step's own script, and
// written through a connection of the test's own, as the console would.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>
#include <gtest/gtest.h>

// Creates db/application.db and db/phonebook.db in `dbFolder` as the install
// step does; "" on success, else what went wrong.
inline QString CreateDatabases(const QString &dbFolder)
{
    const QString schema = QFileInfo(QStringLiteral(__FILE__)).dir().absoluteFilePath(QStringLiteral("../schema"));
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral("cmake"), {QStringLiteral("-DDB_FOLDER=") + dbFolder, QStringLiteral("-P"),
                                          schema + QStringLiteral("/createdb.cmake")});
    if (!cmake.waitForFinished(60000) || cmake.exitStatus() != QProcess::NormalExit || cmake.exitCode() != 0)
        return QStringLiteral("createdb failed: ") + QString::fromLocal8Bit(cmake.readAll()) + cmake.errorString();
    return {};
}

// Fresh databases in `dbFolder` (which must exist), copied from one pair
// the install script made once for this test program; "" on success.
inline QString CopyTemplateDatabases(const QString &dbFolder)
{
    static QTemporaryDir templateFolder;
    static const QString failure = CreateDatabases(templateFolder.filePath(QStringLiteral("db")));
    if (!failure.isEmpty())
        return failure;
    for (const QString &name : {QStringLiteral("application.db"), QStringLiteral("phonebook.db")})
        if (!QFile::copy(templateFolder.filePath(QStringLiteral("db/") + name), dbFolder + QLatin1Char('/') + name))
            return QStringLiteral("cannot copy ") + name + QStringLiteral(" into ") + dbFolder;
    return {};
}

// A connection of its own to one database file, to put rows in place.
class Writer {
public:
    explicit Writer(const QString &path) : m_name(QStringLiteral("writer:") + path)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        db.open();
    }
    ~Writer()
    {
        QSqlDatabase::database(m_name).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void Run(const QString &statement, const QVariantList &values = {})
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        ASSERT_TRUE(query.prepare(statement)) << qPrintable(query.lastError().text());
        for (const QVariant &v : values)
            query.addBindValue(v);
        ASSERT_TRUE(query.exec()) << qPrintable(query.lastError().text());
    }

    QString JournalMode()
    {
        QSqlQuery query(QSqlDatabase::database(m_name));
        query.exec(QStringLiteral("PRAGMA journal_mode"));
        return query.next() ? query.value(0).toString() : query.lastError().text();
    }

private:
    QString m_name;
};
