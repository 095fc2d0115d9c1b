// The client window on a fresh program folder, on the offscreen platform
// unless QT_QPA_PLATFORM names another:
//   StartToLoginPage  from creating the window to its login page exposed
//                     (goal: under 300 ms)
//   PageSwitch        one ShowPage between two pages
//   StatusTick        one status tick while logged in with unread messages
#include "frmmain.h"

#include "common/boxes.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>
#include <utility>

namespace {

QTemporaryDir *programFolder = nullptr;
int boxesShown = 0;

// The language files and the sound, as installed; the client makes the rest.
void LayOut(const QTemporaryDir &folder)
{
    const std::pair<QString, QString> parts[] = {{QStringLiteral("lang"), QStringLiteral(TALVINOR_LANG_DIR)},
                                                 {QStringLiteral("sound"), QStringLiteral(TALVINOR_SOUND_DIR)}};
    for (const auto &[sub, from] : parts) {
        QDir(folder.path()).mkdir(sub);
        for (const QString &name : QDir(from).entryList(QDir::Files))
            QFile::copy(from + QLatin1Char('/') + name, folder.filePath(sub + QLatin1Char('/') + name));
    }
}

std::unique_ptr<frmMain> StartWindow()
{
    auto window = std::make_unique<frmMain>(programFolder->path());
    window->Form_Load();
    return window;
}

void StartToLoginPage(benchmark::State &state)
{
    for (auto _ : state) {
        auto window = StartWindow();
        if (!QTest::qWaitForWindowExposed(window.get())) {
            state.SkipWithError("the window was not shown");
            return;
        }
        state.PauseTiming();
        window.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    if (boxesShown != 0)
        state.SkipWithError("a box was shown");
}
BENCHMARK(StartToLoginPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void PageSwitch(benchmark::State &state)
{
    auto window = StartWindow();
    window->LoggedIn = true;
    int page = 0;
    for (auto _ : state) {
        page = page == 0 ? 7 : 0;
        window->ShowPage(page);
    }
}
BENCHMARK(PageSwitch)->Unit(benchmark::kMicrosecond);

void StatusTick(benchmark::State &state)
{
    auto window = StartWindow();
    window->LoggedIn = true;
    window->UnreadCount = 3;
    for (auto _ : state)
        window->tmrStatus_Timer();
}
BENCHMARK(StatusTick)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 2;
    LayOut(folder);
    programFolder = &folder;
    common::SetBoxHandler([](const common::Box &box) {
        std::fprintf(stderr, "bench_client_window: box: %s\n", box.text.toLocal8Bit().constData());
        ++boxesShown;
        return QMessageBox::Ok;
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
