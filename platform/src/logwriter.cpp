#include "platform/logwriter.h"

#include "platform/error.h"

#include <QDir>
#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/rotating_file_sink.h>

namespace platform {

QString LogSafeText(QStringView text)
{
    QString safe;
    safe.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            safe += QLatin1Char('\\');
        safe += c.isPrint() ? c : QLatin1Char('?');
    }
    return safe;
}

namespace {
constexpr std::size_t KeptRotations = 3;
}

struct LogWriter::Impl {
    int maxSize = 0;
    QString name;
    QString folder;
    QString header;
    std::shared_ptr<spdlog::logger> logger;
    // spdlog reports a failed write to its error handler, not to the caller.
    std::string writeError;

    QString path() const { return QDir(folder).filePath(name); }

    spdlog::logger &open()
    {
        if (logger)
            return *logger;
        if (name.isEmpty())
            throw Error(ErrInvalidCall, QStringLiteral("Log file name not set"));
        const std::string file = path().toStdString();
        try {
            spdlog::sink_ptr sink;
            if (maxSize > 0)
                sink = std::make_shared<spdlog::sinks::rotating_file_sink_mt>(file, static_cast<std::size_t>(maxSize), KeptRotations);
            else
                sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(file);
            logger = std::make_shared<spdlog::logger>(name.toStdString(), std::move(sink));
        } catch (const spdlog::spdlog_ex &e) {
            throw Error(ErrPathNotFound, QStringLiteral("Cannot open log file %1: %2").arg(path(), QString::fromLocal8Bit(e.what())));
        }
        logger->set_pattern("%Y-%m-%d %H:%M:%S %v");
        logger->flush_on(spdlog::level::trace);
        logger->set_error_handler([this](const std::string &message) { writeError = message; });
        return *logger;
    }
};

LogWriter::LogWriter() : d(std::make_unique<Impl>()) {}

LogWriter::~LogWriter() = default;

void LogWriter::setLogMaxSize(int bytes)
{
    d->maxSize = bytes;
    d->logger.reset();
}

void LogWriter::setLogName(const QString &name)
{
    d->name = name;
    d->logger.reset();
}

void LogWriter::setLogFolder(const QString &folder)
{
    d->folder = folder;
    d->logger.reset();
}

void LogWriter::setLogHeader(const QString &header)
{
    d->header = header;
}

void LogWriter::WriteLines(const QStringList &lines, int &number)
{
    spdlog::logger &log = d->open();
    QString block = d->header;
    block += QStringLiteral("(%1) ").arg(number);
    block += lines.join(QLatin1Char('\n'));
    d->writeError.clear();
    try {
        log.info(block.toStdString());
    } catch (const spdlog::spdlog_ex &e) {
        d->writeError = e.what();
    }
    if (!d->writeError.empty())
        throw Error(ErrPathNotFound, QStringLiteral("Cannot write log file %1: %2").arg(d->path(), QString::fromLocal8Bit(d->writeError.c_str())));
}

void LogWriter::CloseLog()
{
    d->logger.reset();
}

QString LogWriter::logPath() const
{
    return d->path();
}

} // namespace platform
