#pragma once

// What the client window benchmarks share: a program folder laid out as
// installed, the application, and a count of the boxes the window showed.
#include "common/boxes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <utility>

namespace benchwindow {

inline QTemporaryDir *&Folder()
{
    static QTemporaryDir *folder = nullptr;
    return folder;
}

inline int &BoxesShown()
{
    static int shown = 0;
    return shown;
}

// The folder the window works in: the language files and the sound, as
// installed; the client makes the rest.
inline QString ProgramFolder()
{
    return Folder()->path();
}

inline void LayOut(const QTemporaryDir &folder)
{
    const std::pair<QString, QString> parts[] = {{QStringLiteral("lang"), QStringLiteral(TALVINOR_LANG_DIR)},
                                                 {QStringLiteral("sound"), QStringLiteral(TALVINOR_SOUND_DIR)}};
    for (const auto &[sub, from] : parts) {
        QDir(folder.path()).mkdir(sub);
        for (const QString &name : QDir(from).entryList(QDir::Files))
            QFile::copy(from + QLatin1Char('/') + name, folder.filePath(sub + QLatin1Char('/') + name));
    }
}

// Runs the registered benchmarks on the offscreen platform unless
// QT_QPA_PLATFORM names another; every box is counted and told on stderr.
inline int Run(int argc, char **argv, const char *program)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 2;
    LayOut(folder);
    Folder() = &folder;
    common::SetBoxHandler([program](const common::Box &box) {
        std::fprintf(stderr, "%s: box: %s\n", program, box.text.toLocal8Bit().constData());
        ++BoxesShown();
        return QMessageBox::Ok;
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchwindow
