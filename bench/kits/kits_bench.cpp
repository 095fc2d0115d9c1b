// Cipher round trips and frame-sized hex coding. The bit-string composition
// runs in the same program so the two paths are compared on equal terms.
#include "sealkit/clscipherbase.h"

#include "bitstringcipher.h"
#include "platform/codepage.h"
#include "textkit/clsstring.h"

#include <benchmark/benchmark.h>
#include <random>

namespace {

using textkit::clsString;

QString RandomText(qsizetype length)
{
    std::mt19937 engine(7);
    std::uniform_int_distribution<int> byte(0, 255);
    QString text(length, Qt::Uninitialized);
    for (QChar &c : text)
        c = platform::codepage::ansiChar(static_cast<unsigned char>(byte(engine)));
    return text;
}

void BM_CipherRoundTrip(benchmark::State &state)
{
    const sealkit::clsCipherBase cipher;
    const QString plain = RandomText(state.range(0));
    for (auto _ : state) {
        QString back = cipher.Decrypt(cipher.Encrypt(plain, false), false);
        benchmark::DoNotOptimize(back);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CipherRoundTrip)->Arg(160)->Arg(4095)->Unit(benchmark::kMicrosecond);

void BM_CipherRoundTripHex(benchmark::State &state)
{
    const sealkit::clsCipherBase cipher;
    const QString plain = RandomText(state.range(0));
    for (auto _ : state) {
        QString back = cipher.Decrypt(clsString::CHex2Str(cipher.Encrypt(plain, true)), false);
        benchmark::DoNotOptimize(back);
    }
}
BENCHMARK(BM_CipherRoundTripHex)->Arg(160)->Arg(4095)->Unit(benchmark::kMicrosecond);

void BM_BitStringRoundTrip(benchmark::State &state)
{
    const QString plain = RandomText(state.range(0));
    for (auto _ : state) {
        QString back = sealkit::bitstrings::Decrypt(sealkit::bitstrings::Encrypt(plain, false), false);
        benchmark::DoNotOptimize(back);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BitStringRoundTrip)->Arg(160)->Arg(4095)->Unit(benchmark::kMicrosecond);

void BM_CStr2Hex(benchmark::State &state)
{
    const QString text = RandomText(16383);
    for (auto _ : state) {
        QString hex = clsString::CStr2Hex(text);
        benchmark::DoNotOptimize(hex);
    }
}
BENCHMARK(BM_CStr2Hex)->Unit(benchmark::kMicrosecond);

void BM_CHex2Str(benchmark::State &state)
{
    const QString hex = clsString::CStr2Hex(RandomText(16383));
    for (auto _ : state) {
        QString text = clsString::CHex2Str(hex);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_CHex2Str)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
