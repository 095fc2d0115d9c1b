// Writes the client's incoming-message sound: a short two-note chime,
// 22,050 Hz, 16-bit mono, as a RIFF/WAVE file.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kSeconds = 0.45;
constexpr double kPi = 3.14159265358979323846;

// One bell-like note: a few partials over a soft attack and a decay.
double Note(double t, double frequency, double decay)
{
    if (t < 0)
        return 0;
    const double attack = std::min(1.0, t / 0.004);
    const double partials = std::sin(2 * kPi * frequency * t) + 0.35 * std::sin(2 * kPi * 2 * frequency * t)
        + 0.12 * std::sin(2 * kPi * 3.01 * frequency * t);
    return attack * std::exp(-t / decay) * partials;
}

std::vector<int16_t> Chime()
{
    const int frames = int(kRate * kSeconds);
    std::vector<double> sound(size_t(frames), 0.0);
    double peak = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        // A5, then E6 a fifth above: rising, so it reads as "something new".
        double v = 0.8 * Note(t, 880.0, 0.10) + Note(t - 0.11, 1318.51, 0.13);
        // Fade the last 40 ms to silence so the sound ends without a click.
        const double tail = (kSeconds - t) / 0.04;
        if (tail < 1)
            v *= std::max(0.0, tail);
        sound[size_t(i)] = v;
        peak = std::max(peak, std::abs(v));
    }
    std::vector<int16_t> samples;
    samples.reserve(sound.size());
    for (const double v : sound)
        samples.push_back(int16_t(std::lround(v / peak * 0.6 * 32767)));
    return samples;
}

void Put16(std::ofstream &out, uint16_t v)
{
    const char bytes[2] = {char(v & 0xFF), char(v >> 8)};
    out.write(bytes, 2);
}

void Put32(std::ofstream &out, uint32_t v)
{
    Put16(out, uint16_t(v & 0xFFFF));
    Put16(out, uint16_t(v >> 16));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav\n", argv[0]);
        return 2;
    }
    const std::vector<int16_t> samples = Chime();
    const auto dataBytes = uint32_t(samples.size() * 2);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write("RIFF", 4);
    Put32(out, 4 + 8 + 16 + 8 + dataBytes);
    out.write("WAVEfmt ", 8);
    Put32(out, 16);
    Put16(out, 1);         // PCM
    Put16(out, 1);         // mono
    Put32(out, kRate);
    Put32(out, kRate * 2); // bytes per second
    Put16(out, 2);         // block align
    Put16(out, 16);        // bits per sample
    out.write("data", 4);
    Put32(out, dataBytes);
    for (const int16_t s : samples)
        Put16(out, uint16_t(s));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
