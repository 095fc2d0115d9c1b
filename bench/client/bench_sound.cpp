// The incoming-message sound as the client plays it, on ALSA's "default"
// pointed by the benchmark's own configuration at an output that takes its
// frames at the real rate (tools/pacedpcm), with the shipped chime.
//
//   bench_sound [--seconds 5] [--pushes 50]
//
// Figures and goals:
//   - push to queued buffers: from PlayIncomingSound to the five first
//     buffers written to the device (an upper bound for the first), under 20 ms;
//   - event-loop latency during playback: how late a 2 ms timer fires while
//     the chime plays again and again, under 10 ms at the maximum (the same
//     timer in silence is shown beside it: on a loaded machine the
//     scheduler alone can miss the goal);
//   - CPU while playing: process CPU time over wall time while the chime
//     plays again and again, under 2 % of one core.
// Exits with 1 when a goal is missed.
#include "wavedevice.h"

#include "clientsound/mdlsound.h"
#include "common/boxes.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[size_t(p * double(values.size() - 1))];
}

// Runs the loop for `ms`, pushing the sound again whenever it has ended.
void PlayAgainAndAgain(int ms)
{
    QEventLoop loop;
    QTimer again;
    QObject::connect(&again, &QTimer::timeout, &loop, [] {
        if (!mdlSound::IsWaveDeviceOpen())
            mdlSound::PlayIncomingSound();
    });
    again.start(50);
    mdlSound::PlayIncomingSound();
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("alsa.conf"));
    {
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return 2;
        file.write("pcm_type.talvinorpace { lib \"" PACED_PCM_MODULE "\" }\npcm.default { type talvinorpace }\n");
    }
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(config));

    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Seconds per phase."),
                                           QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption pushesOption(QStringLiteral("pushes"), QStringLiteral("Pushes timed."),
                                          QStringLiteral("n"), QStringLiteral("50"));
    parser.addOption(secondsOption);
    parser.addOption(pushesOption);
    parser.process(app);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());
    const int pushes = std::max(1, parser.value(pushesOption).toInt());

    QWidget window;
    bool boxShown = false;
    common::SetBoxHandler([&boxShown](const common::Box &box) {
        std::fprintf(stderr, "bench_sound: box \"%s\"\n", qPrintable(box.text));
        boxShown = true;
        return QMessageBox::Ok;
    });
    mdlSound::InitSound(&window);
    mdlSound::OpenWaveFile(QStringLiteral(CHIME_WAV));
    if (!mdlSound::State().fileOpen)
        return 2;
    const double chimeSeconds = double(mdlSound::State().dataSize) / mdlSound::State().format.avgBytesPerSec;
    std::printf("chime: %.3f s, buffers of %u bytes\n", chimeSeconds, mdlSound::State().bufferSize);

    // Push to queued buffers, each push on a closed device as a message
    // arriving in silence would find it.
    std::vector<double> pushMs;
    for (int i = 0; i < pushes; ++i) {
        QElapsedTimer clock;
        clock.start();
        mdlSound::PlayIncomingSound();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
        pushMs.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (!mdlSound::IsWaveDeviceOpen()) {
            std::fprintf(stderr, "bench_sound: the push did not play\n");
            return 2;
        }
        mdlSound::StopWave();
    }
    std::printf("push to five queued buffers: median %.3f ms, max %.3f ms over %d pushes\n", Percentile(pushMs, 0.5),
                Percentile(pushMs, 1.0), pushes);

    // CPU while playing, with nothing else running in the process.
    const double cpuBefore = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    PlayAgainAndAgain(seconds * 1000);
    const double cpuPercent = (CpuSeconds() - cpuBefore) / (double(wall.nsecsElapsed()) / 1e9) * 100;
    WaitUntilWaveDeviceClosed();
    std::printf("CPU while playing: %.2f %% of one core over %d s\n", cpuPercent, seconds);

    // Event-loop latency: a 2 ms timer while the chime plays, and the same
    // timer in silence, which shows what the machine itself adds.
    const auto lateness = [seconds](bool playing) {
        std::vector<double> lateMs;
        QElapsedTimer since;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
            lateMs.push_back(std::max(0.0, double(since.nsecsElapsed()) / 1e6 - 2.0));
            since.restart();
        });
        since.start();
        tick.start(2);
        if (playing) {
            PlayAgainAndAgain(seconds * 1000);
        } else {
            QEventLoop loop;
            QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
            loop.exec();
        }
        tick.stop();
        WaitUntilWaveDeviceClosed();
        return lateMs;
    };
    const std::vector<double> silentMs = lateness(false);
    const std::vector<double> lateMs = lateness(true);
    for (const auto &[name, ms] : {std::pair{"in silence", &silentMs}, std::pair{"during playback", &lateMs}})
        std::printf("event-loop latency %s: median %.3f ms, p99 %.3f ms, max %.3f ms over %zu ticks\n", name,
                    Percentile(*ms, 0.5), Percentile(*ms, 0.99), Percentile(*ms, 1.0), ms->size());

    const bool met = !boxShown && Percentile(pushMs, 1.0) < 20 && Percentile(lateMs, 1.0) < 10 && cpuPercent < 2;
    std::printf("goals %s\n", met ? "met" : "MISSED");
    mdlSound::CloseWaveFile();
    return met ? 0 : 1;
}
