// Queueing a bulk send of 10,000 rows from the console's window: from the
// click on the send button to the last file renamed into Unsent, with the
// checks of every row, each file written aside and flushed to disk, and
// the renames.
//
//   bench_console_queue [--rows 10000] [--runs 3]
//
// A second thread reads every Unsent file as soon as it is listed, and
// counts those that are not whole. Prints the median
// and slowest run and the cost per file; the goal is every run under 20 s
// with no file seen half written. Exits with 1 when the goal is missed.
#include "benchfolder.h"
#include "frmmain.h"
#include "tabbulk.h"

#include "common/boxes.h"
#include "common/language.h"
#include "gui/arbutton.h"
#include "store/queuefiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QTest>
#include <QTextEdit>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Lists `folder` every 10 ms, as a queue reader does (the service every
// 8 s), and reads each file the moment it is listed, until stopped.
class Reader {
public:
    explicit Reader(const QString &folder) : m_folder(folder), m_thread([this] {
        while (!m_stop) {
            Pass();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Pass();
    })
    {
    }
    // Stops and returns the files read that were not whole.
    int Stop()
    {
        m_stop = true;
        m_thread.join();
        return m_partial;
    }
    int reads() const { return static_cast<int>(m_seen.size()); }

private:
    void Pass()
    {
        QStringList names;
        try {
            names = ListQueueFiles(m_folder);
        } catch (...) {
            return;  // the send makes the folder
        }
        for (const QString &name : names) {
            if (m_seen.contains(name))
                continue;
            m_seen.insert(name);
            QFile file(QDir(m_folder).filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            if (!bytes.startsWith("[Bulk],") || !bytes.endsWith("\r\n"))
                ++m_partial;
        }
    }

    const QString m_folder;
    QSet<QString> m_seen;
    int m_partial = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace

int main(int argc, char **argv)
{
    BenchApplication app(argc, argv,
                         {{QStringLiteral("rows"), QStringLiteral("Rows in the bulk list."), QStringLiteral("n"), QStringLiteral("10000")},
                          {QStringLiteral("runs"), QStringLiteral("Sends to time."), QStringLiteral("n"), QStringLiteral("3")}});
    const int rows = app.count(QStringLiteral("rows"));
    const int runs = app.count(QStringLiteral("runs"));

    QTemporaryDir folder;
    LayOut(folder, "bench_console_queue");
    const QString done = common::LanguageText(QStringLiteral("sms_will_be_sent_to_all_contacts_in_the_list"));
    common::SetBoxHandler([](const common::Box &box) -> QMessageBox::StandardButton {
        if (box.icon != QMessageBox::Information)
            Fail("bench_console_queue", qPrintable(QStringLiteral("the send was refused: ") + box.text));
        return QMessageBox::Ok;
    });

    frmMain window(folder.path());
    if (!window.Form_Load())
        Fail("bench_console_queue", "the console did not start");
    window.optTab_Click(3);
    QList<sheets::BulkRow> items;
    for (int i = 0; i < rows; ++i)
        items.append({QStringLiteral("Kişi Çağlar %1").arg(i), QStringLiteral("532 %1").arg(i, 7, 10, QLatin1Char('0'))});
    window.bulk->BulkList()->SetRows(items);
    window.bulk->txtSMSMessage->setPlainText(QStringLiteral("Sayın [[N]],\nyarınki toplantı 10:00'da."));

    const QString unsent = QueueFolder(folder.path(), UnsentFolder);
    std::vector<double> seconds;
    int partial = 0;
    int reads = 0;
    for (int run = 0; run < runs; ++run) {
        Reader reader(unsent);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(window.bulk->btnSendSMS, Qt::LeftButton);
        seconds.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        partial += reader.Stop();
        reads += reader.reads();
        if (ListQueueFiles(unsent).size() != rows || reader.reads() != rows)
            Fail("bench_console_queue", "not every row was queued");
        QDir(unsent).removeRecursively();
    }
    std::sort(seconds.begin(), seconds.end());
    const double median = seconds[seconds.size() / 2];
    const bool met = seconds.back() < 20.0 && partial == 0;
    std::printf("queue %d bulk files over %d runs: median %.2f s (%.3f ms per file), slowest %.2f s; "
                "%d files read beside the send, %d of them not whole (goal: under 20 s, none half written: %s)\n",
                rows, runs, median, median * 1000.0 / rows, seconds.back(), reads, partial, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
