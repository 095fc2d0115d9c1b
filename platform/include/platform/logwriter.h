#pragma once

#include <QString>
#include <QStringView>
#include <QStringList>
#include <memory>

namespace platform {

// Text from outside (a modem's answer, a user name) as a log line may hold
// it: every character that does not print becomes "?", and "\" and `"`
// are escaped, so a line can neither hold binary nor forge another entry.
QString LogSafeText(QStringView text);

// Appends blocks of lines to a log file "LogFolder/LogName". Each block is
// headed by a time stamp and the number passed with it. When the file grows
// past LogMaxSize bytes it is rotated (name.1, name.2 keep the older text).
class LogWriter {
public:
    LogWriter();
    ~LogWriter();
    LogWriter(const LogWriter &) = delete;
    LogWriter &operator=(const LogWriter &) = delete;

    void setLogMaxSize(int bytes);
    void setLogName(const QString &name);
    void setLogFolder(const QString &folder);
    // Text written in front of each block; empty by default.
    void setLogHeader(const QString &header);

    // Raises platform::Error when the file cannot be opened or written.
    void WriteLines(const QStringList &lines, int &number);
    void CloseLog();

    QString logPath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
