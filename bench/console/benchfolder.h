#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void Fail(const char *program, const char *what)
{
    std::fprintf(stderr, "%s: %s\n", program, what);
    std::exit(2);
}

// A program folder with empty databases, the language files and the
// console's default settings.
inline void LayOut(const QTemporaryDir &folder, const char *program)
{
    QProcess createdb;
    createdb.start(QStringLiteral("cmake"), {QStringLiteral("-DDB_FOLDER=") + folder.filePath(QStringLiteral("db")),
                                            QStringLiteral("-DSQLITE3=sqlite3"), QStringLiteral("-P"),
                                            QStringLiteral(TALVINOR_SCHEMA_DIR "/createdb.cmake")});
    if (!createdb.waitForFinished(60000) || createdb.exitCode() != 0)
        Fail(program, "cannot create the databases");
    QDir(folder.path()).mkdir(QStringLiteral("lang"));
    for (const QString &name : QDir(QStringLiteral(TALVINOR_LANG_DIR)).entryList({QStringLiteral("*.ini")}, QDir::Files))
        QFile::copy(QStringLiteral(TALVINOR_LANG_DIR "/") + name, folder.filePath(QStringLiteral("lang/") + name));
}
