// The message line, the two records, queue file names and contents, and
// the files themselves: listing, reading, safe creation, moves and
// WriteUnsentFile.
#include "queuefiles.h"
#include "servicelog.h"

#include "platform/error.h"
#include "platform/logwriter.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

// Found by argument-dependent lookup, so beside SmsRecord.
static void PrintTo(const SmsRecord &r, std::ostream *os)
{
    *os << '[' << r.Whose.toStdString() << "][" << r.Number.toStdString() << "][" << r.MessageDate.toStdString()
        << "][" << r.Message.toStdString() << ']';
}

static bool operator==(const SmsRecord &a, const SmsRecord &b)
{
    return a.Whose == b.Whose && a.Number == b.Number && a.MessageDate == b.MessageDate && a.Message == b.Message;
}

namespace {

QString S(const char *text)
{
    return QString::fromUtf8(text);
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteRaw(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(SmsRecordLine, ReadsFourFields)
{
    const struct {
        const char *line;
        SmsRecord fields;
    } cases[] = {
        {"bob,+905551112233,24/01/02 10:11:12,hello", {S("bob"), S("+905551112233"), S("24/01/02 10:11:12"), S("hello")}},
        // the split stops after the third comma; "|" is an ordinary character
        {"bob,123,d,one, two,, three|four", {S("bob"), S("123"), S("d"), S("one, two,, three|four")}},
        // only blanks at the ends of each field go
        {"  bob  ,  123 , d ,  two  blanks  ", {S("bob"), S("123"), S("d"), S("two  blanks")}},
        {"\tbob,123,d,text\t", {S("\tbob"), S("123"), S("d"), S("text\t")}},
        {"[Bulk],123,d,", {S("[Bulk]"), S("123"), S("d"), QString()}},
        {",,,", {}},
        // fewer than four fields: all four are empty
        {"bob,123,hello", {}},
        {"bob", {}},
        {"", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ReadSmsRecord(S(c.line)), c.fields) << c.line;
}

TEST(SmsRecordLine, WritesLineBreaksAsBars)
{
    const SmsRecord record{S("bob"), S("123"), S("24/01/02 10:11:12"), S("one\r\ntwo\nthree\rfour, five")};
    const QString line = SmsRecordLine(record);
    EXPECT_EQ(line, S("bob,123,24/01/02 10:11:12,one|two|three|four, five"));
    const SmsRecord back = ReadSmsRecord(line);
    EXPECT_EQ(back.Whose, record.Whose);
    EXPECT_EQ(back.Message, S("one|two|three|four, five"));
}

// A sender's name (an alphanumeric sender such as "Bank,Inc") may hold a
// comma; in the line it would shift the fields and mix the number into the
// date and the text.
TEST(SmsRecordLine, CommaOutsideTheTextDoesNotShiftTheFields)
{
    const SmsRecord record{S("bob"), S("Bank,Inc"), S("24/01/02 10:11:12"), S("a, b")};
    const SmsRecord back = ReadSmsRecord(SmsRecordLine(record));
    EXPECT_EQ(back.Whose, S("bob"));
    EXPECT_EQ(back.Number, S("Bank Inc"));
    EXPECT_EQ(back.MessageDate, S("24/01/02 10:11:12"));
    EXPECT_EQ(back.Message, S("a, b"));
}

TEST(Records, PropertiesKeepTheirLeadingCharacters)
{
    clsSMSsvc out;
    clsSMS in;
    const struct {
        const char *name;
        std::function<void(const QString &)> set;
        std::function<QString()> get;
        qsizetype max;
    } properties[] = {
        {"clsSMSsvc.Number", [&](const QString &v) { out.setNumber(v); }, [&] { return out.Number(); }, 20},
        {"clsSMSsvc.Message", [&](const QString &v) { out.setMessage(v); }, [&] { return out.Message(); }, 160},
        {"clsSMSsvc.MessageDate", [&](const QString &v) { out.setMessageDate(v); }, [&] { return out.MessageDate(); }, 20},
        {"clsSMSsvc.Whose", [&](const QString &v) { out.setWhose(v); }, [&] { return out.Whose(); }, 25},
        {"clsSMS.UserListModAc", [&](const QString &v) { in.setUserListModAc(v); }, [&] { return in.UserListModAc(); }, 20},
        {"clsSMS.UserListPass", [&](const QString &v) { in.setUserListPass(v); }, [&] { return in.UserListPass(); }, 32},
        {"clsSMS.UserListName", [&](const QString &v) { in.setUserListName(v); }, [&] { return in.UserListName(); }, 20},
        {"clsSMS.UserListUsername", [&](const QString &v) { in.setUserListUsername(v); },
         [&] { return in.UserListUsername(); }, 20},
        {"clsSMS.Number", [&](const QString &v) { in.setNumber(v); }, [&] { return in.Number(); }, 20},
        {"clsSMS.Message", [&](const QString &v) { in.setMessage(v); }, [&] { return in.Message(); }, 160},
        {"clsSMS.MessageDate", [&](const QString &v) { in.setMessageDate(v); }, [&] { return in.MessageDate(); }, 20},
        {"clsSMS.Whose", [&](const QString &v) { in.setWhose(v); }, [&] { return in.Whose(); }, 25},
        {"clsSMS.Ffname", [&](const QString &v) { in.setFfname(v); }, [&] { return in.Ffname(); }, 25},
    };
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QChar(u'a' + i % 26);
    for (const auto &p : properties) {
        p.set(text);
        EXPECT_EQ(p.get(), text.left(p.max)) << p.name;
        p.set(text.left(p.max));
        EXPECT_EQ(p.get(), text.left(p.max)) << p.name;
        p.set(S("short"));
        EXPECT_EQ(p.get(), S("short")) << p.name;
    }
}

TEST(Records, FilledFromALine)
{
    clsSMSsvc out = NewSMS();
    FillRecord(out, ReadSmsRecord(S("a-user-name-of-30-characters!!,123,d,") + QString(200, QLatin1Char('x'))));
    EXPECT_EQ(out.Whose(), S("a-user-name-of-30-charact"));
    EXPECT_EQ(out.Message(), QString(160, QLatin1Char('x')));
}

TEST(Records, ClearEmptiesTheDateOnly)
{
    clsSMS sms = NewSMStcp();
    FillRecord(sms, ReadSmsRecord(S("bob,123,24/01/02 10:11:12,hi")));
    sms.setFfname(S("inc_240102101112.dat"));
    sms.Clear();
    EXPECT_EQ(sms.MessageDate(), QString());
    EXPECT_EQ(sms.Whose(), S("bob"));
    EXPECT_EQ(sms.Number(), S("123"));
    EXPECT_EQ(sms.Message(), S("hi"));
    EXPECT_EQ(sms.Ffname(), S("inc_240102101112.dat"));
}

TEST(QueueFileNames, StampAndNames)
{
    const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(FileStamp(when), S("240102030405"));
    EXPECT_EQ(UnsentFileName(FileStamp(when), S("0AFF")), S("2401020304050AFF.dat"));
    EXPECT_EQ(IncomingFileName(FileStamp(when)), S("inc_240102030405.dat"));
}

TEST(QueueFileNames, RandomBytesAreTwoUpperCaseHexDigitsEach)
{
    QRandomGenerator random(7);
    const QRegularExpression pair(QStringLiteral("^[0-9A-F]{2}$"));
    bool padded = false;
    for (int i = 0; i < 2000; ++i) {
        const QString digits = RandomHexBytes(random, 1);
        ASSERT_TRUE(pair.match(digits).hasMatch()) << digits.toStdString();
        padded = padded || digits.startsWith(QLatin1Char('0'));
    }
    EXPECT_TRUE(padded);
    EXPECT_EQ(RandomHexBytes(random, 8).size(), 16);
}

TEST(QueueFileContent, SingleByteCodePage)
{
    EXPECT_EQ(UnsentFileContent(S("şahin,1,d,é€ 中")), QByteArray("\xFE" "ahin,1,d,\xE9\x80 ?\r\n"));
    EXPECT_EQ(IncomingFileContent(S("Moderator,1,d,ğ")), QByteArray("Moderator,1,d,\xF0"));
}

class QueueFolderFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
};

TEST_F(QueueFolderFiles, ListingTakesDatFilesInNameOrder)
{
    for (const char *name : {"2401010000010000.dat", "240101000000FFFF.dat", "a.DAT", "c.txt", ".1-1.tmp",
                             "d.dat.unreadable", "e.data", "datfile"})
        WriteRaw(path(S(name)), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir(S("f.dat")));
    ASSERT_TRUE(QFile::link(path(S("c.txt")), path(S("g.dat"))));
    EXPECT_EQ(ListQueueFiles(dir.path()),
              QStringList({S("240101000000FFFF.dat"), S("2401010000010000.dat"), S("a.DAT"), S("g.dat")}));
}

TEST_F(QueueFolderFiles, ListingAMissingFolderRaises)
{
    try {
        ListQueueFiles(path(S("Unsent")));
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), platform::ErrPathNotFound);
        EXPECT_TRUE(e.description().contains(path(S("Unsent"))));
    }
}

TEST_F(QueueFolderFiles, FirstLine)
{
    const QByteArray longLine(5000, 'x');
    const struct {
        QByteArray content;
        QString line;
    } cases[] = {
        {"bob,1,d,hi\r\nsecond\r\n", S("bob,1,d,hi")},
        {"no line end", S("no line end")},
        {"lf\nnext", S("lf")},
        {"cr\rnext", S("cr")},
        {"\r\nrest", QString()},
        {"\xFE\xF0\r\n", S("şğ")},
        {longLine + "\r\nnext", QString::fromLatin1(longLine)},
    };
    for (const auto &c : cases) {
        WriteRaw(path(S("f.dat")), c.content);
        EXPECT_EQ(ReadFirstLine(path(S("f.dat"))), c.line) << c.content.left(20).constData();
    }
}

TEST_F(QueueFolderFiles, FileWithoutAFirstLineCannotBeRead)
{
    WriteRaw(path(S("empty.dat")), QByteArray());
    EXPECT_THROW(ReadFirstLine(path(S("empty.dat"))), platform::Error);
    EXPECT_THROW(ReadFirstLine(path(S("missing.dat"))), platform::Error);
    ASSERT_TRUE(QDir(dir.path()).mkdir(S("folder.dat")));
    EXPECT_THROW(ReadFirstLine(path(S("folder.dat"))), platform::Error);
}

TEST_F(QueueFolderFiles, CreateAsksForAnotherNameWhileTheNameIsTaken)
{
    WriteRaw(path(S("taken.dat")), "old");
    QStringList proposals{S("taken.dat"), S("free.dat")};
    const QString name = CreateQueueFile(dir.path(), "new\r\n", [&] { return proposals.takeFirst(); });
    EXPECT_EQ(name, S("free.dat"));
    EXPECT_EQ(ReadAll(path(S("taken.dat"))), QByteArray("old"));
    EXPECT_EQ(ReadAll(path(S("free.dat"))), QByteArray("new\r\n"));
    EXPECT_EQ(Entries(dir.path()), QStringList({S("free.dat"), S("taken.dat")}));
}

TEST_F(QueueFolderFiles, CreateLeavesNothingBehindWhenItFails)
{
    try {
        CreateQueueFile(path(S("missing")), "x", [] { return S("a.dat"); });
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), platform::ErrPathNotFound);
    }
    EXPECT_THROW(CreateQueueFile(dir.path(), "x", []() -> QString { throw platform::Error(5, S("no name")); }),
                 platform::Error);
    EXPECT_EQ(Entries(dir.path()), QStringList());
}

TEST_F(QueueFolderFiles, MoveNeverReplaces)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(S("Sent")));
    WriteRaw(path(S("a.dat")), "new");
    WriteRaw(path(S("Sent/a.dat")), "old");
    try {
        MoveQueueFile(dir.path(), S("a.dat"), path(S("Sent")), S("a.dat"));
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), platform::ErrFileAlreadyExists);
    }
    EXPECT_EQ(ReadAll(path(S("a.dat"))), QByteArray("new"));
    EXPECT_EQ(ReadAll(path(S("Sent/a.dat"))), QByteArray("old"));
    MoveQueueFile(dir.path(), S("a.dat"), dir.path(), S("a.dat.done"));
    EXPECT_EQ(ReadAll(path(S("a.dat.done"))), QByteArray("new"));
}

class WriteUnsent : public ::testing::Test {
protected:
    QTemporaryDir dir;
    platform::LogWriter logWriter;
    ServiceLog log{logWriter};
    QString unsent() const { return dir.filePath(S("Unsent")); }
    QString sent() const { return dir.filePath(S("Sent")); }
    QByteArray logText() const { return ReadAll(dir.filePath(S("TalvinorSMSSvc.log"))); }
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath(S("Unsent")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(S("Sent")));
        logWriter.setLogFolder(dir.path());
        logWriter.setLogName(S("TalvinorSMSSvc.log"));
    }
};

TEST_F(WriteUnsent, WritesOneLineUnderStampAndFourHexDigits)
{
    QRandomGenerator random(1);
    const QString before = FileStamp(QDateTime::currentDateTime());
    WriteUnsentFile(dir.path(), random, log, S("bob,0532,24/01/02 10:11:12,çay, şeker|x"));
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
    WriteUnsentFile(dir.path(), random, log, S("bob,1,d,hi"));
    EXPECT_TRUE(logText().contains("Procedure: WriteUnsentFile")) << logText().constData();
    EXPECT_TRUE(logText().contains(unsent().toUtf8()));
    EXPECT_EQ(Entries(dir.path()), QStringList({S("TalvinorSMSSvc.log")}));
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
    WriteUnsentFile(dir.path(), random, log, S("bob,1,d,new"));

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
