#include "common/errorlog.h"

#include "common/boxes.h"

#include "platform/error.h"
#include "platform/folders.h"
#include "platform/logwriter.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <exception>
#include <new>

namespace common {

QString errorLogName;

namespace {

// The classic numbers for failures that carry none of their own.
constexpr int ErrOutOfMemory = 7;
constexpr int ErrInternal = 51;

struct HandledError {
    int number = 0;
    QString description;
};

// The error of the catch block LogError is called from; number 0 and no
// description outside one.
HandledError CurrentError()
{
    const std::exception_ptr current = std::current_exception();
    if (!current)
        return {};
    try {
        std::rethrow_exception(current);
    } catch (const platform::Error &e) {
        return {e.number(), e.description()};
    } catch (const std::bad_alloc &) {
        return {ErrOutOfMemory, QStringLiteral("Out of memory")};
    } catch (const std::exception &e) {
        return {ErrInternal, QString::fromLocal8Bit(e.what())};
    } catch (...) {
        return {ErrInternal, QStringLiteral("Internal error")};
    }
}

QString ErrorText(const HandledError &error, const QString &moduleName, const QString &procedureName)
{
    return QStringLiteral("%1 %2\r\n%3 : %4").arg(QString::number(error.number), error.description, moduleName, procedureName);
}

void WriteToStderr(const QString &text)
{
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

// A fresh writer for every entry, closed at once, so that each entry stands
// complete in the file while the box is open.
void WriteErrorLog(const QStringList &lines, int number)
{
    try {
        platform::LogWriter log;
        log.setLogFolder(platform::programFolder());
        log.setLogName(errorLogName);
        log.setLogHeader(QString());
        log.WriteLines(lines, number);
        log.CloseLog();
    } catch (const platform::Error &e) {
        WriteToStderr(QStringLiteral("Cannot write the error log: ") + e.description());
    } catch (const std::exception &e) {
        WriteToStderr(QStringLiteral("Cannot write the error log: ") + QString::fromLocal8Bit(e.what()));
    }
}

} // namespace

QString WriteErrorEntry(const QString &moduleName, const QString &procedureName)
{
    const HandledError error = CurrentError();
    const QString errorText = ErrorText(error, moduleName, procedureName);
    QStringList lines;
    if (!procedureName.isEmpty())
        lines << QStringLiteral("Error occured in: ") + moduleName + QStringLiteral("-->") + procedureName;
    lines << errorText;
    WriteErrorLog(lines, error.number);
    return errorText;
}

void ShowErrorBox(const QString &errorText)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        WriteToStderr(QStringLiteral("Error: ") + errorText);
        return;
    }
    ShowBox({QMessageBox::Warning, QStringLiteral("Error"), errorText, QMessageBox::Ok});
}

void LogError(const QString &moduleName, const QString &procedureName)
{
    ShowErrorBox(WriteErrorEntry(moduleName, procedureName));
}

void LogNote(const QString &moduleName, const QString &procedureName, const QString &text)
{
    WriteErrorLog({QStringLiteral("Note from: ") + moduleName + QStringLiteral("-->") + procedureName, text}, 0);
}

} // namespace common
