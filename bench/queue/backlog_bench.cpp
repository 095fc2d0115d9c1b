// Receive polls during a backlog: 200 messages wait in Unsent while the
// outgoing tick and a poll every `sms_check_interval` seconds (24) share the
// modem, the modem library and the simulated modem on a real
// pseudo-terminal, with the library's clock 50 times faster. Prints the
// largest gap between two polls beside the goal (the interval plus two
// ticks) and the sends per tick.
//
//   bench_backlog [--messages 200] [--interval 24] [--scale 0.02]
#include "outgoingqueue.h"
#include "queuefiles.h"
#include "servicelog.h"
#include "text.h"

#include "platform/inifile.h"
#include "platform/logwriter.h"
#include "vorbex/clsvorbex.h"

// The modem library's clock and folder, as the tests set them.
#include "../../vorbex/src/runtime.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

[[noreturn]] void Fail(const QString &what)
{
    std::fprintf(stderr, "bench_backlog: %s\n", qPrintable(what));
    std::exit(2);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption messagesOption(S(u"messages"), S(u"Messages waiting."), S(u"n"), S(u"200"));
    const QCommandLineOption intervalOption(S(u"interval"), S(u"sms_check_interval in seconds."), S(u"s"), S(u"24"));
    const QCommandLineOption scaleOption(S(u"scale"), S(u"The clock's scale."), S(u"x"), S(u"0.02"));
    parser.addOptions({messagesOption, intervalOption, scaleOption});
    parser.process(app);
    const int messages = parser.value(messagesOption).toInt();
    const int interval = parser.value(intervalOption).toInt();
    const double scale = parser.value(scaleOption).toDouble();

    QTemporaryDir folder;
    const QDir root(folder.path());
    root.mkdir(S(u"Unsent"));
    root.mkdir(S(u"Sent"));
    {
        QFile ini(root.filePath(S(u"TalvinorSMSSvc.ini")));
        if (!ini.open(QIODevice::WriteOnly) || ini.write("[Service Settings]\r\nallowed_time_interval=00:00,23:59\r\n") < 0)
            Fail(S(u"cannot write the settings file"));
    }
    for (int n = 1; n <= messages; ++n)
        CreateQueueFile(root.filePath(S(u"Unsent")),
                        UnsentFileContent(QStringLiteral("[Bulk],0532%1,24/01/01 00:00:00,backlog %2").arg(n, 7, 10, QLatin1Char('0')).arg(n)),
                        [&] { return UnsentFileName(S(u"240101000000"), QStringLiteral("%1").arg(n, 6, 10, QLatin1Char('0'))); });

    QProcess gsmsim;
    gsmsim.setStandardOutputFile(QProcess::nullDevice());
    gsmsim.setStandardErrorFile(root.filePath(S(u"gsmsim.log")));
    gsmsim.start(QDir(QCoreApplication::applicationDirPath()).filePath(S(u"gsmsim")),
                 {S(u"--folder"), folder.path(), S(u"--sent-log"), root.filePath(S(u"sent.log"))});
    QElapsedTimer wait;
    wait.start();
    while (!QFileInfo(root.filePath(S(u"COM1"))).isSymLink()) {
        if (wait.elapsed() > 20000)
            Fail(S(u"gsmsim did not start"));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    vorbex::runtime::setLibraryFolderForTests(folder.path());
    vorbex::runtime::setClockScaleForTests(scale);
    platform::LogWriter logWriter;
    logWriter.setLogFolder(folder.path());
    logWriter.setLogName(S(u"TalvinorSMSSvc.log"));
    ServiceLog log(logWriter);
    platform::IniFile ini;
    ini.setIniPath(root.filePath(S(u"TalvinorSMSSvc.ini")));
    vorbex::clsVorbex modem;
    modem.OpenDevice(true);
    OutgoingQueue queue(folder.path(), ini, log);

    // The service's two timers, on the same clock.
    const int tickMs = static_cast<int>(vorbex::runtime::waitMs(8.0));
    QTimer unsentTick;
    QObject::connect(&unsentTick, &QTimer::timeout, [&] { queue.ReadUnsentFile(&modem); });
    unsentTick.start(tickMs);
    int secondsCounter = 0;
    bool pollQueued = false;
    QTimer secondTick;
    QObject::connect(&secondTick, &QTimer::timeout, [&] {
        if (++secondsCounter < interval)
            return;
        secondsCounter = 0;
        if (modem.ReceiveWaiting())
            return;
        modem.CommandReceiveMessage(1);
        pollQueued = true;
    });
    secondTick.start(static_cast<int>(vorbex::runtime::waitMs(1.0)));

    QElapsedTimer clock;
    clock.start();
    QList<qint64> polls;
    QObject::connect(&modem, &vorbex::clsVorbex::DialogueEnded, [&] {
        if (pollQueued && !modem.ReceiveWaiting()) {
            pollQueued = false;
            polls.append(clock.elapsed());
        }
    });
    const auto sent = [&] {
        QFile f(root.filePath(S(u"sent.log")));
        return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
    };
    while (sent() < messages) {
        if (clock.elapsed() > qint64(tickMs) * messages * 4)
            Fail(QStringLiteral("only %1 of %2 messages went out").arg(sent()).arg(messages));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const double ticks = double(clock.elapsed()) / tickMs;

    qint64 largest = 0;
    for (qsizetype i = 1; i < polls.size(); ++i)
        largest = std::max(largest, polls[i] - polls[i - 1]);
    const double largestSeconds = double(largest) / 1000 / scale;
    const double goalSeconds = interval + 2 * 8.0;
    std::printf("backlog of %d messages, sms_check_interval %d s, clock scale %.3f (a tick of %d ms):\n", messages,
                interval, scale, tickMs);
    std::printf("  %lld polls; largest gap between two: %.1f s (goal: at most %.0f s, the interval plus two ticks)\n",
                static_cast<long long>(polls.size()), largestSeconds, goalSeconds);
    std::printf("  %d sends in %.1f ticks: %.2f a tick\n", messages, ticks, messages / ticks);
    const bool met = largestSeconds <= goalSeconds + 0.5 && polls.size() > 1;
    std::printf("goals %s\n", met ? "met" : "MISSED");
    gsmsim.terminate();
    gsmsim.waitForFinished();
    return met ? 0 : 1;
}
