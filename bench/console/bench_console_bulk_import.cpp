// Importing a sheet of 1,048,576 rows (the format's last row) into the bulk
// list through the console's window: from the click on the import button,
// through the file dialog, to the filled list and its count box.
//
//   bench_console_bulk_import
//
// The sheet is written by a process of its own, so that the peak memory
// the kernel reports for this one is that of the console alone: the
// window, the reader and the filled list. Goal: the whole process under
// 400 MB at its peak. Exits with 1 when the goal is missed.
#include "benchfolder.h"
#include "filedialog.h"
#include "frmmain.h"
#include "tabbulk.h"

#include "common/boxes.h"
#include "gui/arbutton.h"
#include "xlsxwriter.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int Rows = 1048576;

int WriteSheet(const QString &path)
{
    std::vector<xlsxwriter::Row> data;
    data.reserve(Rows);
    data.push_back({xlsxwriter::Cell::Shared(QStringLiteral("Ad")), xlsxwriter::Cell::Shared(QStringLiteral("Telefon"))});
    for (int i = 1; i < Rows; ++i)
        data.push_back({xlsxwriter::Cell::Shared(QStringLiteral("Kişi Çağlar %1").arg(i)), xlsxwriter::Cell::Number(5320000000.0 + i)});
    return xlsxwriter::SaveWorkbook(path, {{QStringLiteral("Sheet1"), data}}) ? 0 : 1;
}

// The process's peak and current resident memory in MB, from the kernel.
double StatusMb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--write") == 0) {
        QCoreApplication app(argc, argv);
        return WriteSheet(QFile::decodeName(argv[2]));
    }
    BenchApplication app(argc, argv, {});
    QTemporaryDir folder;
    LayOut(folder, "bench_console_bulk_import");
    const QString sheet = folder.filePath(QStringLiteral("million.xlsx"));
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedChannels);
    writer.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write"), sheet});
    if (!writer.waitForFinished(600000) || writer.exitCode() != 0)
        Fail("bench_console_bulk_import", "cannot write the sheet");

    common::SetBoxHandler([](const common::Box &box) -> QMessageBox::StandardButton {
        if (box.icon != QMessageBox::Information)
            Fail("bench_console_bulk_import", qPrintable(QStringLiteral("the import was refused: ") + box.text));
        return QMessageBox::Ok;
    });
    SetFileDialogHandler([&sheet](QFileDialog &dialog) {
        dialog.setResult(QDialog::Rejected);
        dialog.show();
        dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(sheet);
        QTest::mouseClick(dialog.findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Open),
                          Qt::LeftButton);
        return dialog.result() == QDialog::Accepted;
    });

    frmMain window(folder.path());
    if (!window.Form_Load())
        Fail("bench_console_bulk_import", "the console did not start");
    window.optTab_Click(3);
    QCoreApplication::processEvents();
    const double before = StatusMb("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(window.bulk->btnImportFromExcel, Qt::LeftButton);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    // The list drawn once with its rows.
    window.bulk->lsvBulkSMSList->viewport()->repaint();
    QCoreApplication::processEvents();
    const int listed = window.bulk->BulkList()->rowCount();
    if (listed != Rows - 1)
        Fail("bench_console_bulk_import", "not every row was listed");
    const double peak = StatusMb("VmHWM:");
    const bool met = peak < 400.0;
    std::printf("import %d rows through the window: %.2f s; whole process %.0f MB before, %.0f MB after, peak %.0f MB "
                "(goal: peak under 400 MB: %s)\n",
                listed, seconds, before, StatusMb("VmRSS:"), peak, met ? "met" : "MISSED");
    return met ? 0 : 1;
}
