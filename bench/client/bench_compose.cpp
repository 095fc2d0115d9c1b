// The compose and phone-book pages of the client window, on the offscreen
// platform unless QT_QPA_PLATFORM names another:
//   KeyAt160         one key typed into a message box of 160 characters:
//                    the header guard, the edit and the counter
//                    (goal: under 0.2 ms a key)
//   LargestPhonebook the largest phone-book answer the client can decode
//                    (16,383 characters, some 400 rows) decoded, listed and
//                    painted (goal: under 50 ms)
#include "frmmain.h"
#include "headertextedit.h"
#include "pages.h"

#include "common/boxes.h"
#include "protocol/protocol.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

namespace {

QTemporaryDir *programFolder = nullptr;
int boxesShown = 0;

std::unique_ptr<frmMain> LoggedInWindow()
{
    QDir(programFolder->path()).mkdir(QStringLiteral("lang"));
    for (const QString &name : QDir(QStringLiteral(TALVINOR_LANG_DIR)).entryList({QStringLiteral("*.ini")}, QDir::Files))
        QFile::copy(QStringLiteral(TALVINOR_LANG_DIR "/") + name, programFolder->filePath(QStringLiteral("lang/") + name));
    auto window = std::make_unique<frmMain>(programFolder->path());
    window->Form_Load();
    window->LoggedIn = true;
    window->connection->UserName = QStringLiteral("bob");
    window->PrepareNewSMSMessage();
    return window;
}

void KeyAt160(benchmark::State &state)
{
    auto window = LoggedInWindow();
    window->ShowPage(1);
    HeaderTextEdit *message = window->pageNewSMS->txtMessage;
    message->insertPlainText(QString(155, QLatin1Char('a')));
    bool full = false;
    for (auto _ : state) {
        QTest::keyClick(message, full ? Qt::Key_Backspace : Qt::Key_B);
        full = !full;
    }
    if (message->PlainText().size() < 159 || !window->pageNewSMS->lblFreeCharacters->text().endsWith(QLatin1String("/160")))
        state.SkipWithError("the box did not hold 159 or 160 characters");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(KeyAt160)->Unit(benchmark::kMicrosecond);

// Records of about 40 characters up to the 16,383 characters a frame can bring.
QString LargestAnswer()
{
    QStringList records;
    qsizetype size = -1;
    for (int id = 1;; ++id) {
        const QString record = QStringLiteral("%1^%2^Name%1^Lastname^Acme^+9055512%3")
                                   .arg(id)
                                   .arg(id % 10 == 0 ? 1 : 0)
                                   .arg(id, 5, 10, QLatin1Char('0'));
        if (size + 1 + record.size() > protocol::MaxDataLength)
            break;
        size += 1 + record.size();
        records << record;
    }
    return records.join(QLatin1Char('|'));
}

void LargestPhonebook(benchmark::State &state)
{
    auto window = LoggedInWindow();
    window->ShowPage(7);
    QTreeWidget *list = window->pagePhonebook->lsvPhonebook;
    const QString answer = LargestAnswer();
    QString message = protocol::PrepareDataToSend(protocol::CMD_PHONEBOOK_RESULT, answer);
    message.chop(1);
    for (auto _ : state) {
        window->connection->ExecuteCommand(message);
        list->viewport()->repaint();
    }
    state.counters["rows"] = list->topLevelItemCount();
    state.counters["characters"] = double(answer.size());
}
BENCHMARK(LargestPhonebook)->Unit(benchmark::kMillisecond);

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
    programFolder = &folder;
    // The folder has no sound file, which the sound module tells in its own
    // box; an error box is a failure.
    common::SetBoxHandler([](const common::Box &box) {
        if (box.title != QLatin1String("Error"))
            return QMessageBox::Ok;
        std::fprintf(stderr, "bench_client_compose: box: %s\n", box.text.toLocal8Bit().constData());
        ++boxesShown;
        return QMessageBox::Ok;
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return boxesShown == 0 ? 0 : 1;
}
