// WriteUnsentFile: one message queued as a new Unsent file, and its
// failures logged.
#include "queuefiles.h"
#include "servicelog.h"

#include "files.h"
#include "text.h"

#include "platform/logwriter.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class WriteUnsent : public ::testing::Test {
protected:
    QTemporaryDir dir;
    platform::LogWriter logWriter;
    ServiceLog log{logWriter};
    QString unsent() const { return dir.filePath(S(u"Unsent")); }
    QString sent() const { return dir.filePath(S(u"Sent")); }
    QByteArray logText() const { return ReadAll(dir.filePath(S(u"TalvinorSMSSvc.log"))); }
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath(S(u"Unsent")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(S(u"Sent")));
        logWriter.setLogFolder(dir.path());
        logWriter.setLogName(S(u"TalvinorSMSSvc.log"));
    }
};

TEST_F(WriteUnsent, WritesOneLineUnderStampAndFourHexDigits)
{
    QRandomGenerator random(1);
    const QString before = FileStamp(QDateTime::currentDateTime());
    WriteUnsentFile(dir.path(), random, log, S(u"bob,0532,24/01/02 10:11:12,çay, şeker|x"));
    const QString after = FileStamp(QDateTime::currentDateTime());
    const QStringList files = Entries(unsent());
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{12}[0-9A-F]{4}\\.dat$")).match(files.first()).hasMatch())
        << files.first().toStdString();
    EXPECT_GE(files.first().left(12), before);
    EXPECT_LE(files.first().left(12), after);
    EXPECT_EQ(ReadAll(QDir(unsent()).filePath(files.first())), QByteArray("bob,0532,24/01/02 10:11:12,\xE7" "ay, \xFE" "eker|x\r\n"));
    EXPECT_TRUE(logText().isEmpty());
}

TEST_F(WriteUnsent, EmptyLineQueuesNothing)
{
    QRandomGenerator random(1);
    WriteUnsentFile(dir.path(), random, log, QString());
    EXPECT_EQ(Entries(unsent()), QStringList());
    EXPECT_TRUE(logText().isEmpty());
}

TEST_F(WriteUnsent, MissingFolderIsLogged)
{
    ASSERT_TRUE(QDir(unsent()).removeRecursively());
    QRandomGenerator random(1);
    WriteUnsentFile(dir.path(), random, log, S(u"bob,1,d,hi"));
    EXPECT_TRUE(logText().contains("Procedure: WriteUnsentFile")) << logText().constData();
    EXPECT_TRUE(logText().contains(unsent().toUtf8()));
    EXPECT_EQ(Entries(dir.path()), QStringList({S(u"TalvinorSMSSvc.log")}));
}

// The first digits drawn name a file already in Unsent, the second one in
// Sent: the message goes under the third, and nothing is replaced.
TEST_F(WriteUnsent, TakenNamesDrawNewDigits)
{
    QRandomGenerator predict(99);
    const QString first = RandomHexBytes(predict, 2);
    const QString second = RandomHexBytes(predict, 2);
    const QString third = RandomHexBytes(predict, 2);
    ASSERT_NE(first, third);
    ASSERT_NE(second, third);
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 3; ++s) {
        const QString stamp = FileStamp(now.addSecs(s));
        WriteRaw(QDir(unsent()).filePath(UnsentFileName(stamp, first)), "old unsent\r\n");
        WriteRaw(QDir(sent()).filePath(UnsentFileName(stamp, second)), "old sent\r\n");
    }
    QRandomGenerator random(99);
    WriteUnsentFile(dir.path(), random, log, S(u"bob,1,d,new"));

    QStringList fresh;
    for (const QString &name : Entries(unsent())) {
        const QByteArray content = ReadAll(QDir(unsent()).filePath(name));
        if (name.mid(12, 4) == first)
            EXPECT_EQ(content, QByteArray("old unsent\r\n"));
        else
            fresh.append(name);
    }
    ASSERT_EQ(fresh.size(), 1);
    EXPECT_EQ(fresh.first().mid(12, 4), third);
    EXPECT_EQ(ReadAll(QDir(unsent()).filePath(fresh.first())), QByteArray("bob,1,d,new\r\n"));
    EXPECT_TRUE(logText().isEmpty());
}

} // namespace
