#pragma once

#include "common/boxes.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void Fail(const char *program, const char *what)
{
    std::fprintf(stderr, "%s: %s\n", program, what);
    std::exit(2);
}

// The windows of a bench are drawn off screen unless QT_QPA_PLATFORM names
// another platform; this is settled before the application exists.
struct OffscreenUnlessNamed {
    OffscreenUnlessNamed()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
    }
};

// The application of a console window bench, with its command line parsed
// for `options`.
class BenchApplication : private OffscreenUnlessNamed, public QApplication {
public:
    BenchApplication(int &argc, char **argv, const QList<QCommandLineOption> &options) : QApplication(argc, argv)
    {
        m_parser.addOptions(options);
        m_parser.process(*this);
    }

    bool isSet(const QString &option) const { return m_parser.isSet(option); }
    // The count given for `option`, or its default; at least 1.
    int count(const QString &option) const { return std::max(1, m_parser.value(option).toInt()); }

private:
    QCommandLineParser m_parser;
};

// A box would wait for a user: any box ends the bench as a failure.
inline void FailOnAnyBox(const char *program)
{
    common::SetBoxHandler([program](const common::Box &box) -> QMessageBox::StandardButton {
        Fail(program, qPrintable(QStringLiteral("unexpected box: ") + box.text));
    });
}

// A program folder with empty databases, the language files and the
// console's default settings.
inline void LayOut(const QTemporaryDir &folder, const char *program)
{
    if (!folder.isValid())
        Fail(program, "no temporary folder");
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
