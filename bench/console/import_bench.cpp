// Importing spreadsheets for the bulk list.
//
// 1. A 50,000-row .xlsx (a unique name and a number per row) is imported
//    five times; goal: under 3 s each.
// 2. A sheet of 1,048,576 rows (the format's last row) is imported in a
//    process of its own, whose peak memory the kernel reports; goal: imported
//    under 400 MB peak, or refused cleanly.
// 3. The same for a file of a few hundred kilobytes whose shared-string table
//    inflates to 250 MB of empty strings that no cell uses.
// 4. Files of at most 1 MB built to take long: shared-string tables of 52
//    million empty strings or 250 MiB of one-letter ones, whose first or
//    last string the cell names, and a sheet of 250 MB of empty cells; and
//    an .xls of 3,000 rows with names up to 32,767 characters. Each is read
//    in a process of its own; goal: imported or refused within 2 s.
#include "sheets/spreadsheetimport.h"

#include "xlsxwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

using xlsxwriter::Cell;

QString MakeSheet(const QString &folder, int rows)
{
    std::vector<xlsxwriter::Row> data;
    data.reserve(size_t(rows));
    data.push_back({Cell::Shared(QStringLiteral("Name")), Cell::Shared(QStringLiteral("Phone"))});
    for (int i = 1; i < rows; ++i)
        data.push_back({Cell::Shared(QStringLiteral("Kişi %1").arg(i)), Cell::Number(5320000000.0 + i)});
    const QString path = QDir(folder).filePath(QStringLiteral("rows%1.xlsx").arg(rows));
    if (!xlsxwriter::SaveWorkbook(path, {{QStringLiteral("Sheet1"), data}}))
        qFatal("cannot write the workbook");
    return path;
}

bool Import50k(const QString &folder)
{
    const QString path = MakeSheet(folder, 50000);
    std::vector<double> seconds;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer timer;
        timer.start();
        const sheets::ImportResult result = sheets::ImportSpreadsheet(path);
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
        if (result.refused || result.rows.size() != 49999)
            qFatal("the 50,000-row import failed: %s", qPrintable(result.reason));
    }
    std::sort(seconds.begin(), seconds.end());
    const bool met = seconds.back() < 3.0;
    std::printf("import 50,000 rows: best %.3f s, median %.3f s, worst %.3f s (goal < 3 s: %s)\n", seconds.front(),
                seconds[2], seconds.back(), met ? "met" : "MISSED");
    return met;
}

// Imports `path` in a process of its own; goal: imported under 400 MB peak,
// or refused cleanly.
bool ImportBounded(const QString &path)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--import"), path});
    if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit)
        qFatal("the import process failed");
    const QByteArray report = child.readAllStandardOutput();
    std::fputs(report.constData(), stdout);
    const qsizetype at = report.indexOf("peak ");
    const double peakMb = at < 0 ? 0 : report.mid(at + 5).split(' ').first().toDouble();
    const int code = child.exitCode();
    const bool met = code == 1 || (code == 0 && peakMb > 0 && peakMb < 400);
    std::printf("  %.1f s (goal: imported under 400 MB peak or refused cleanly: %s)\n", double(timer.nsecsElapsed()) / 1e9,
                met ? "met" : "MISSED");
    return met;
}

bool ImportMillion(const QString &folder)
{
    const QString path = MakeSheet(folder, 1048576);
    std::printf("sheet of 1,048,576 rows: %lld bytes on disk\n", static_cast<long long>(QFileInfo(path).size()));
    std::fflush(stdout);
    return ImportBounded(path);
}

bool ImportHugeStringTable(const QString &folder)
{
    std::map<QString, QByteArray> parts = xlsxwriter::WorkbookParts(
        {{QStringLiteral("Sheet1"), {{Cell::Shared(QStringLiteral("Ali")), Cell::Number(5321234567)}}}});
    QByteArray &strings = parts[QStringLiteral("xl/sharedStrings.xml")];
    const qsizetype end = strings.lastIndexOf("</");
    strings.insert(end, QByteArray("<si/>").repeated(250 * 1024 * 1024 / 5));
    const QString path = QDir(folder).filePath(QStringLiteral("strings.xlsx"));
    if (!xlsxwriter::SavePackage(path, parts))
        qFatal("cannot write the workbook");
    parts.clear();
    std::printf("%d unused shared strings: %lld bytes on disk\n", 250 * 1024 * 1024 / 5, static_cast<long long>(QFileInfo(path).size()));
    std::fflush(stdout);
    return ImportBounded(path);
}

struct BoundedCase {
    const char *what;
    QString path;
};

// A workbook whose one cell of column A names the shared string `named`
// of a table of `count` copies of `item`.
QString StringTableFile(const QString &folder, const char *name, const QByteArray &item, qsizetype count, qsizetype named)
{
    std::map<QString, QByteArray> parts = xlsxwriter::WorkbookParts(
        {{QStringLiteral("Sheet1"), {{Cell::Shared(QStringLiteral("Ali")), Cell::Number(5321234567)}}}});
    QByteArray &strings = parts[QStringLiteral("xl/sharedStrings.xml")];
    strings.insert(strings.lastIndexOf("</"), item.repeated(count - 1));
    QByteArray &sheet = parts[QStringLiteral("xl/worksheets/sheet1.xml")];
    sheet.replace("<v>0</v>", "<v>" + QByteArray::number(named) + "</v>");
    const QString path = QDir(folder).filePath(QLatin1String(name));
    if (!xlsxwriter::SavePackage(path, parts))
        qFatal("cannot write the workbook");
    return path;
}

// A sheet whose rows hold nothing but 250 MB of empty cells after one
// row with a name and a number.
QString EmptyCellsFile(const QString &folder)
{
    std::map<QString, QByteArray> parts = xlsxwriter::WorkbookParts(
        {{QStringLiteral("Sheet1"), {{Cell::Shared(QStringLiteral("Ali")), Cell::Number(5321234567)}}}});
    QByteArray &sheet = parts[QStringLiteral("xl/worksheets/sheet1.xml")];
    const QByteArray row = "<row>" + QByteArray("<c/>").repeated(16384) + "</row>";
    sheet.insert(sheet.lastIndexOf("</sheetData>"), row.repeated(250 * 1000 * 1000 / row.size()));
    const QString path = QDir(folder).filePath(QStringLiteral("empty-cells.xlsx"));
    if (!xlsxwriter::SavePackage(path, parts))
        qFatal("cannot write the workbook");
    return path;
}

bool ImportsInBoundedTime(const QString &folder)
{
    constexpr qsizetype empty = 52 * 1000 * 1000;
    const QByteArray tiny = "<si><t>a</t></si>";
    const qsizetype tinyCount = 250 * 1024 * 1024 / tiny.size();
    const BoundedCase cases[] = {
        {"52,000,000 empty shared strings, the cell names the first",
         StringTableFile(folder, "empty-first.xlsx", "<si/>", empty, 0)},
        {"52,000,000 empty shared strings, the cell names the last",
         StringTableFile(folder, "empty-last.xlsx", "<si/>", empty, empty - 1)},
        {"250 MiB of one-letter shared strings, the cell names the first",
         StringTableFile(folder, "tiny-first.xlsx", tiny, tinyCount, 0)},
        {"250 MiB of one-letter shared strings, the cell names the last",
         StringTableFile(folder, "tiny-last.xlsx", tiny, tinyCount, tinyCount - 1)},
        {"a sheet of 250 MB of empty cells", EmptyCellsFile(folder)},
        {".xls of 3,000 rows, names up to 32,767 characters", QStringLiteral(SHEETS_FIXTURES "/sst-3000-rows.xls")},
    };
    bool met = true;
    for (const BoundedCase &c : cases) {
        const qint64 size = QFileInfo(c.path).size();
        if (size > 1024 * 1024)
            qFatal("a bounded-time file is larger than 1 MB: %s", c.what);
        std::printf("%s (%lld KB):\n", c.what, static_cast<long long>(size / 1024));
        std::fflush(stdout);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer timer;
        timer.start();
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--import"), c.path});
        if (!child.waitForFinished(600000) || child.exitStatus() != QProcess::NormalExit)
            qFatal("the import process failed");
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::fputs(child.readAllStandardOutput().constData(), stdout);
        const bool ok = seconds < 2.0 && child.exitCode() <= 1;
        std::printf("  %.2f s (goal: imported or refused within 2 s: %s)\n", seconds, ok ? "met" : "MISSED");
        met = met && ok;
    }
    return met;
}

// The process's peak resident memory in MB, from the kernel's high-water mark.
double PeakMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// Imports one file; exit code 0 when imported, 1 when refused as unreadable.
int ImportOne(const QString &path)
{
    const sheets::ImportResult result = sheets::ImportSpreadsheet(path);
    std::printf("  %s: %s, %lld rows%s%s\n", result.refused ? "refused" : "imported", qPrintable(result.messageKey),
                static_cast<long long>(result.rows.size()), result.reason.isEmpty() ? "" : ", ", qPrintable(result.reason));
    std::printf("  peak %.0f MB\n", PeakMb());
    if (!result.refused)
        return 0;
    return result.messageKey == QStringLiteral("couldnt_open_excel_file") ? 1 : 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && strcmp(argv[1], "--import") == 0)
        return ImportOne(QFile::decodeName(argv[2]));
    QTemporaryDir folder;
    const bool fast = Import50k(folder.path());
    const bool timely = ImportsInBoundedTime(folder.path());
    const bool bounded = ImportMillion(folder.path());
    const bool strings = ImportHugeStringTable(folder.path());
    return fast && timely && bounded && strings ? 0 : 1;
}
