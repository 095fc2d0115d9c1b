// The compose and phone-book pages of the client window, on the offscreen
// platform unless QT_QPA_PLATFORM names another:
//   KeyAt160         one key typed into a message box of 160 characters:
//                    the header guard, the edit and the counter
//                    (goal: under 0.2 ms a key)
//   LargestPhonebook the largest phone-book answer the client can decode
//                    (16,383 characters, some 400 rows) decoded, listed and
//                    painted (goal: under 50 ms)
#include "benchwindow.h"
#include "frmmain.h"
#include "headertextedit.h"
#include "pages.h"

#include "protocol/protocol.h"

#include <QLabel>
#include <QTest>
#include <QTreeWidget>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

std::unique_ptr<frmMain> LoggedInWindow()
{
    auto window = std::make_unique<frmMain>(benchwindow::ProgramFolder());
    window->Form_Load();
    window->connection->LoggedIn = true;
    window->connection->UserName = QStringLiteral("bob");
    window->pageNewSMS->PrepareNewSMSMessage();
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
    const int result = benchwindow::Run(argc, argv, "bench_client_compose");
    return result != 0 ? result : benchwindow::BoxesShown() == 0 ? 0 : 1;
}
