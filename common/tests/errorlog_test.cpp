#include "common/errorlog.h"
#include "platform/error.h"
#include "ownerrorlog.h"

#include <QRegularExpression>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

namespace {

// Raises through `fail` and reports it as the procedures do.
void FailAndLog(const std::function<void()> &fail, const QString &moduleName, const QString &procedureName)
{
    try {
        fail();
    } catch (...) {
        common::LogError(moduleName, procedureName);
    }
}

void ThrowError(int number, const char *description)
{
    throw platform::Error(number, QString::fromLatin1(description));
}

// One entry as the log writer stamps it.
const QString Stamp = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d )");

class ErrorLog : public ::testing::Test {
protected:
    void SetUp() override { UseOwnErrorLog(); }
    void TearDown() override { QFile::remove(ErrorLogPath()); }
};

} // namespace

TEST_F(ErrorLog, EntryNamesModuleAndProcedureThenTheErrorText)
{
    CaptureStderr();
    FailAndLog([] { ThrowError(6, "Overflow"); }, QStringLiteral("frmMain"), QStringLiteral("ShowPage"));
    const std::string shown = GetCapturedStderr();

    const QString log = QString::fromUtf8(ReadErrorLog());
    const QRegularExpression entry(QStringLiteral("^") + Stamp +
                                   QStringLiteral(R"(\(6\) Error occured in: frmMain-->ShowPage\n6 Overflow\r\nfrmMain : ShowPage\n$)"));
    EXPECT_TRUE(entry.match(log).hasMatch()) << log.toStdString();
    // Without a QApplication the box's text goes to stderr.
    EXPECT_NE(shown.find("6 Overflow\r\nfrmMain : ShowPage"), std::string::npos) << shown;
}

TEST_F(ErrorLog, EmptyProcedureWritesTheErrorTextAlone)
{
    CaptureStderr();
    FailAndLog([] { ThrowError(53, "File not found"); }, QStringLiteral("mdlGlobals"), QString());
    GetCapturedStderr();
    const QString log = QString::fromUtf8(ReadErrorLog());
    const QRegularExpression entry(QStringLiteral("^") + Stamp + QStringLiteral(R"(\(53\) 53 File not found\r\nmdlGlobals : \n$)"));
    EXPECT_TRUE(entry.match(log).hasMatch()) << log.toStdString();
}

TEST_F(ErrorLog, TwoErrorsInARowAreTwoEntries)
{
    CaptureStderr();
    FailAndLog([] { ThrowError(5, "first"); }, QStringLiteral("frmMain"), QStringLiteral("Form_Load"));
    FailAndLog([] { ThrowError(9, "second"); }, QStringLiteral("frmMain"), QStringLiteral("SetLanguage"));
    GetCapturedStderr();
    const QString log = QString::fromUtf8(ReadErrorLog());
    const QRegularExpression entries(QStringLiteral("^") + Stamp + QStringLiteral(R"(\(5\) Error occured in: frmMain-->Form_Load\n5 first\r\nfrmMain : Form_Load\n)") +
                                     Stamp + QStringLiteral(R"(\(9\) Error occured in: frmMain-->SetLanguage\n9 second\r\nfrmMain : SetLanguage\n$)"));
    EXPECT_TRUE(entries.match(log).hasMatch()) << log.toStdString();
}

TEST_F(ErrorLog, NumberAndDescriptionOfEachKindOfFailure)
{
    struct Case {
        const char *name;
        std::function<void()> fail;
        const char *errorText;
    };
    const Case cases[] = {
        {"platform error", [] { ThrowError(13, "Type mismatch: \"x\""); }, "13 Type mismatch: \"x\"\r\nm : p"},
        {"out of memory", [] { throw std::bad_alloc(); }, "7 Out of memory\r\nm : p"},
        {"other exception", [] { throw std::runtime_error("boom"); }, "51 boom\r\nm : p"},
        {"not an exception", [] { throw 42; }, "51 Internal error\r\nm : p"},
    };
    for (const Case &c : cases) {
        UseOwnErrorLog();
        CaptureStderr();
        FailAndLog(c.fail, QStringLiteral("m"), QStringLiteral("p"));
        GetCapturedStderr();
        EXPECT_TRUE(ReadErrorLog().endsWith(QByteArray(c.errorText) + '\n')) << c.name << ": " << ReadErrorLog().constData();
    }
}

TEST_F(ErrorLog, OutsideACatchBlockTheErrorIsZero)
{
    CaptureStderr();
    common::LogError(QStringLiteral("m"), QStringLiteral("p"));
    GetCapturedStderr();
    EXPECT_TRUE(ReadErrorLog().endsWith("(0) Error occured in: m-->p\n0 \r\nm : p\n")) << ReadErrorLog().constData();
}

TEST_F(ErrorLog, UnwritableLogStillShowsTheError)
{
    common::errorLogName = QStringLiteral("/proc/no-such-folder/Test.log");
    CaptureStderr();
    FailAndLog([] { ThrowError(6, "Overflow"); }, QStringLiteral("frmMain"), QStringLiteral("ShowPage"));
    const std::string shown = GetCapturedStderr();
    EXPECT_NE(shown.find("Cannot write the error log"), std::string::npos) << shown;
    EXPECT_NE(shown.find("/proc/no-such-folder/Test.log"), std::string::npos) << shown;
    EXPECT_NE(shown.find("6 Overflow\r\nfrmMain : ShowPage"), std::string::npos) << shown;
}
