// The client window on a fresh program folder, on the offscreen platform
// unless QT_QPA_PLATFORM names another:
//   StartToLoginPage  from creating the window to its login page exposed
//                     (goal: under 300 ms)
//   PageSwitch        one ShowPage between two pages
//   StatusTick        one status tick while logged in with unread messages
#include "benchwindow.h"
#include "frmmain.h"


#include <QTest>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

std::unique_ptr<frmMain> StartWindow()
{
    auto window = std::make_unique<frmMain>(benchwindow::ProgramFolder());
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
    if (benchwindow::BoxesShown() != 0)
        state.SkipWithError("a box was shown");
}
BENCHMARK(StartToLoginPage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void PageSwitch(benchmark::State &state)
{
    auto window = StartWindow();
    window->connection->LoggedIn = true;
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
    window->connection->LoggedIn = true;
    window->store.UnreadCount = 3;
    for (auto _ : state)
        window->tmrStatus_Timer();
}
BENCHMARK(StatusTick)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return benchwindow::Run(argc, argv, "bench_client_window");
}
