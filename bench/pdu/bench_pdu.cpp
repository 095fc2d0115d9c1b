#include "vorbex/modpdu.h"

#include "simpdu/simpdu.h"

#include <benchmark/benchmark.h>

namespace {

const QString Number = QStringLiteral("+905321234567");

// 160 septets of ordinary GSM text, with characters whose codes differ from ASCII.
QString SevenBitText()
{
    const QString sentence = QString::fromUtf16(u"Meeting moved to 14:30, room_2 @ HQ; bring $50 & the notes! ");
    QString text;
    while (text.size() < 160)
        text += sentence;
    return text.left(160);
}

// 70 characters that need UCS2.
QString Ucs2Text()
{
    const QString sentence = QString::fromUtf16(u"Встреча перенесена на 14:30, комната 2. ");
    QString text;
    while (text.size() < 70)
        text += sentence;
    return text.left(70);
}

QString DeliverPdu(const QString& text)
{
    return simpdu::BuildDeliverPdu(Number, text, QDateTime(QDate(2025, 2, 11), QTime(13, 5), Qt::OffsetFromUTC, 10800));
}

void Encode(benchmark::State& state, const QString& text)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(modPDU::EncodeSubmitPdu(Number, text));
    state.SetItemsProcessed(state.iterations());
}

void Decode(benchmark::State& state, const QString& text)
{
    const QString pdu = DeliverPdu(text);
    QString phone, datetime;
    for (auto _ : state)
        benchmark::DoNotOptimize(modPDU::DecodeDeliverPdu(pdu, true, phone, datetime));
    if (modPDU::DecodeDeliverPdu(pdu, true, phone, datetime) != text)
        state.SkipWithError("decoded text differs");
    state.SetItemsProcessed(state.iterations());
}

// One outgoing and one incoming message: the goal is over 250,000 pairs a second.
void EncodeDecodePair(benchmark::State& state, const QString& text)
{
    const QString pdu = DeliverPdu(text);
    QString phone, datetime;
    for (auto _ : state) {
        benchmark::DoNotOptimize(modPDU::EncodeSubmitPdu(Number, text));
        benchmark::DoNotOptimize(modPDU::DecodeDeliverPdu(pdu, true, phone, datetime));
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(Encode, Septets160, SevenBitText());
BENCHMARK_CAPTURE(Encode, Ucs2Characters70, Ucs2Text());
BENCHMARK_CAPTURE(Decode, Septets160, SevenBitText());
BENCHMARK_CAPTURE(Decode, Ucs2Characters70, Ucs2Text());
BENCHMARK_CAPTURE(EncodeDecodePair, Septets160, SevenBitText());
BENCHMARK_CAPTURE(EncodeDecodePair, Ucs2Characters70, Ucs2Text());

} // namespace

BENCHMARK_MAIN();
