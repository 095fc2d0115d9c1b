// One tick of the outgoing queue with 1,000, 10,000 and 100,000 files in
// Unsent: bulk files outside the sending window first, one user file last.
// The tick must hand the user file to the modem. BM_Listing is the listing
// of the same folder alone; at the end the tick and the listing are printed
// side by side with the goal (the tick within 3x the listing).
//
// BM_Tick is the tick as it comes every 8 seconds, after the queue has met
// the bulk files once; BM_FirstTick is the first tick after a start, which
// reads every file.
#include "outgoingqueue.h"
#include "queuefiles.h"
#include "servicelog.h"
#include "text.h"

#include "platform/inifile.h"
#include "platform/logwriter.h"
#include "vorbex/clsvorbex.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QTime>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>
#include <memory>

namespace {

// A program folder with `bulkFiles` bulk files waiting in Unsent and a
// sending window that does not hold the present time.
class Folder {
public:
    explicit Folder(int bulkFiles)
    {
        const QDir root(m_dir.path());
        root.mkdir(S(u"Unsent"));
        root.mkdir(S(u"Sent"));
        const QTime now = QTime::currentTime();
        QFile ini(root.filePath(S(u"TalvinorSMSSvc.ini")));
        if (!ini.open(QIODevice::WriteOnly))
            qFatal("cannot write the settings file");
        ini.write("[Service Settings]\r\nallowed_time_interval=" + now.addSecs(3600).toString(S(u"HH:mm")).toLatin1() + ','
                  + now.addSecs(7200).toString(S(u"HH:mm")).toLatin1() + "\r\n");
        ini.close();
        const QByteArray content = UnsentFileContent(S(u"[Bulk],05321234567,24/01/01 00:00:00,Dear customer, our "
                                                       u"office is closed on Monday. Thank you."));
        for (int i = 0; i < bulkFiles; ++i) {
            QFile f(QDir(unsent()).filePath(UnsentFileName(S(u"240101000000"), QStringLiteral("%1").arg(i, 16, 16, QLatin1Char('0')).toUpper())));
            if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
                qFatal("cannot write a queue file");
        }
    }
    QString path() const { return m_dir.path(); }
    QString unsent() const { return QDir(m_dir.path()).filePath(S(u"Unsent")); }

    // A new user file, listed after every bulk file.
    void putUserFile()
    {
        m_userFile = QStringLiteral("250101000000%1.dat").arg(++m_users, 4, 16, QLatin1Char('0')).toUpper();
        QFile f(QDir(unsent()).filePath(m_userFile));
        if (!f.open(QIODevice::WriteOnly) || f.write("bob,05321234567,25/01/01 00:00:00,hello\r\n") < 0)
            qFatal("cannot write the user file");
    }
    void removeUserFile() const { QFile::remove(QDir(unsent()).filePath(m_userFile)); }
    QString userFile() const { return m_userFile; }

private:
    QTemporaryDir m_dir;
    int m_users = 0;
    QString m_userFile;
};

Folder &folderWith(int bulkFiles)
{
    static std::map<int, std::unique_ptr<Folder>> folders;
    auto &folder = folders[bulkFiles];
    if (!folder)
        folder = std::make_unique<Folder>(bulkFiles);
    return *folder;
}

struct Service {
    explicit Service(const QString &programFolder)
    {
        logWriter.setLogFolder(programFolder);
        logWriter.setLogName(S(u"TalvinorSMSSvc.log"));
        ini.setIniPath(QDir(programFolder).filePath(S(u"TalvinorSMSSvc.ini")));
    }
    platform::LogWriter logWriter;
    ServiceLog log{logWriter};
    platform::IniFile ini;
    vorbex::clsVorbex modem;
};

void checkHandedOver(benchmark::State &state, Service &service, const Folder &folder)
{
    if (service.modem.TakeQueuedSends() != QStringList{folder.userFile()})
        state.SkipWithError("the tick did not hand the user file over");
}

void BM_Tick(benchmark::State &state)
{
    Folder &folder = folderWith(static_cast<int>(state.range(0)));
    Service service(folder.path());
    OutgoingQueue queue(folder.path(), service.ini, service.log);
    queue.ReadUnsentFile(&service.modem); // meets the bulk files once
    service.modem.TakeQueuedSends();
    for (auto _ : state) {
        state.PauseTiming();
        folder.putUserFile();
        state.ResumeTiming();
        queue.ReadUnsentFile(&service.modem);
        state.PauseTiming();
        checkHandedOver(state, service, folder);
        folder.removeUserFile();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Tick)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_FirstTick(benchmark::State &state)
{
    Folder &folder = folderWith(static_cast<int>(state.range(0)));
    Service service(folder.path());
    std::unique_ptr<OutgoingQueue> queue;
    for (auto _ : state) {
        state.PauseTiming();
        folder.putUserFile();
        queue = std::make_unique<OutgoingQueue>(folder.path(), service.ini, service.log);
        state.ResumeTiming();
        queue->ReadUnsentFile(&service.modem);
        state.PauseTiming();
        checkHandedOver(state, service, folder);
        folder.removeUserFile();
        queue.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstTick)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// The listing alone, in process: what a tick cannot do without.
void BM_Listing(benchmark::State &state)
{
    Folder &folder = folderWith(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(ListQueueFiles(folder.unsent()));
}
BENCHMARK(BM_Listing)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

double MedianMs(const std::function<void()> &run, const std::function<void()> &prepare = {})
{
    std::vector<double> times;
    for (int i = 0; i < 7; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        run();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The tick beside the listing of the same folder, with the goal.
bool PrintGoals()
{
    bool met = true;
    std::printf("\nthe tick beside a listing of the same folder (goal: the tick within 3x the listing):\n");
    for (int files : {1000, 10000, 100000}) {
        Folder &folder = folderWith(files);
        Service service(folder.path());
        OutgoingQueue queue(folder.path(), service.ini, service.log);
        queue.ReadUnsentFile(&service.modem);
        service.modem.TakeQueuedSends();
        const double tick = MedianMs(
            [&] {
                queue.ReadUnsentFile(&service.modem);
                service.modem.TakeQueuedSends();
            },
            [&] {
                folder.removeUserFile();
                folder.putUserFile();
            });
        folder.removeUserFile();
        const double listing = MedianMs([&] { benchmark::DoNotOptimize(ListQueueFiles(folder.unsent())); });
        const double ratio = tick / listing;
        met = met && ratio <= 3;
        std::printf("  %6d files: tick %8.2f ms, listing %8.2f ms: %.2fx (goal at most 3x) %s\n", files, tick, listing,
                    ratio, ratio <= 3 ? "met" : "MISSED");
    }
    return met;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return PrintGoals() ? 0 : 1;
}
