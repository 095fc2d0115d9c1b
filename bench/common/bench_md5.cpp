#include "common/md5.h"

#include <benchmark/benchmark.h>

// Password digests as the client forms one at every login.
static void BM_PasswordDigest(benchmark::State &state)
{
    const QString password(static_cast<qsizetype>(state.range(0)), QLatin1Char('p'));
    for (auto _ : state)
        benchmark::DoNotOptimize(common::PasswordDigest(password));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PasswordDigest)->Arg(16)->Arg(64);

BENCHMARK_MAIN();
