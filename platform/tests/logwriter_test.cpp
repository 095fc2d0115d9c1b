#include "platform/error.h"
#include "platform/logwriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::LogWriter;

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST(LogWriter, AppendsEachBlockWithItsNumber)
{
    QTemporaryDir dir;
    LogWriter log;
    log.setLogFolder(dir.path());
    log.setLogName(QStringLiteral("Test.log"));
    int number = 0;
    log.WriteLines({QStringLiteral("first")}, number);
    number = 53;
    log.WriteLines({QStringLiteral("second"), QStringLiteral("third")}, number);
    log.CloseLog();
    const QByteArray text = readAll(dir.filePath(QStringLiteral("Test.log")));
    EXPECT_TRUE(text.contains("(0) first\n")) << text.constData();
    EXPECT_TRUE(text.contains("(53) second\nthird\n")) << text.constData();
    EXPECT_LT(text.indexOf("first"), text.indexOf("second"));
}

TEST(LogWriter, RotatesPastTheSizeLimitAndKeepsTheNewest)
{
    QTemporaryDir dir;
    LogWriter log;
    log.setLogFolder(dir.path());
    log.setLogName(QStringLiteral("Svc.log"));
    log.setLogMaxSize(10240);
    int number = 0;
    for (int i = 0; i < 400; ++i)
        log.WriteLines({QStringLiteral("entry %1 ").arg(i) + QString(40, QLatin1Char('x'))}, number);
    log.CloseLog();
    EXPECT_LE(QFileInfo(dir.filePath(QStringLiteral("Svc.log"))).size(), 10240);
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("Svc.log"))).contains("entry 399 "));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("Svc.1.log"))));
}

TEST(LogWriter, UnwritableFolderRaisesNamingTheFile)
{
    LogWriter log;
    log.setLogFolder(QStringLiteral("/proc/no-such-folder"));
    log.setLogName(QStringLiteral("x.log"));
    int number = 0;
    try {
        log.WriteLines({QStringLiteral("x")}, number);
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("/proc/no-such-folder/x.log")));
    }
}

TEST(LogWriter, FailedWriteRaisesNamingTheFile)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    LogWriter log;
    log.setLogFolder(QStringLiteral("/dev"));
    log.setLogName(QStringLiteral("full"));
    int number = 0;
    try {
        log.WriteLines({QStringLiteral("x")}, number);
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("/dev/full"))) << e.description().toStdString();
    }
}
