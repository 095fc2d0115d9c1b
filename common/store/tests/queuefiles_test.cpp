// The message line, the two records, queue file names and contents, and
// the files themselves: listing, reading, safe creation and moves.
#include "store/queuefiles.h"

#include "files.h"
#include "text.h"

#include "platform/error.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <string_view>

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

TEST(SmsRecordLine, ReadsFourFields)
{
    const struct {
        std::u16string_view line;
        SmsRecord fields;
    } cases[] = {
        {u"bob,+905551112233,24/01/02 10:11:12,hello", {S(u"bob"), S(u"+905551112233"), S(u"24/01/02 10:11:12"), S(u"hello")}},
        // the split stops after the third comma; "|" is an ordinary character
        {u"bob,123,d,one, two,, three|four", {S(u"bob"), S(u"123"), S(u"d"), S(u"one, two,, three|four")}},
        // only blanks at the ends of each field go
        {u"  bob  ,  123 , d ,  two  blanks  ", {S(u"bob"), S(u"123"), S(u"d"), S(u"two  blanks")}},
        {u"\tbob,123,d,text\t", {S(u"\tbob"), S(u"123"), S(u"d"), S(u"text\t")}},
        {u"[Bulk],123,d,", {S(u"[Bulk]"), S(u"123"), S(u"d"), QString()}},
        {u",,,", {}},
        // fewer than four fields: all four are empty
        {u"bob,123,hello", {}},
        {u"bob", {}},
        {u"", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ReadSmsRecord(S(c.line)), c.fields) << S(c.line).toStdString();
}

TEST(SmsRecordLine, WritesLineBreaksAsBars)
{
    const SmsRecord record{S(u"bob"), S(u"123"), S(u"24/01/02 10:11:12"), S(u"one\r\ntwo\nthree\rfour, five")};
    const QString line = SmsRecordLine(record);
    EXPECT_EQ(line, S(u"bob,123,24/01/02 10:11:12,one|two|three|four, five"));
    const SmsRecord back = ReadSmsRecord(line);
    EXPECT_EQ(back.Whose, record.Whose);
    EXPECT_EQ(back.Message, S(u"one|two|three|four, five"));
}

// A sender's name (an alphanumeric sender such as "Bank,Inc") may hold a
// comma; in the line it would shift the fields and mix the number into the
// date and the text.
TEST(SmsRecordLine, CommaOutsideTheTextDoesNotShiftTheFields)
{
    const SmsRecord record{S(u"bob"), S(u"Bank,Inc"), S(u"24/01/02 10:11:12"), S(u"a, b")};
    const SmsRecord back = ReadSmsRecord(SmsRecordLine(record));
    EXPECT_EQ(back.Whose, S(u"bob"));
    EXPECT_EQ(back.Number, S(u"Bank Inc"));
    EXPECT_EQ(back.MessageDate, S(u"24/01/02 10:11:12"));
    EXPECT_EQ(back.Message, S(u"a, b"));
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
        p.set(S(u"short"));
        EXPECT_EQ(p.get(), S(u"short")) << p.name;
    }
}

TEST(Records, FilledFromALine)
{
    clsSMSsvc out = NewSMS();
    FillRecord(out, ReadSmsRecord(S(u"a-user-name-of-30-characters!!,123,d,") + QString(200, QLatin1Char('x'))));
    EXPECT_EQ(out.Whose(), S(u"a-user-name-of-30-charact"));
    EXPECT_EQ(out.Message(), QString(160, QLatin1Char('x')));
}

TEST(Records, ClearEmptiesTheDateOnly)
{
    clsSMS sms = NewSMStcp();
    FillRecord(sms, ReadSmsRecord(S(u"bob,123,24/01/02 10:11:12,hi")));
    sms.setFfname(S(u"inc_240102101112.dat"));
    sms.Clear();
    EXPECT_EQ(sms.MessageDate(), QString());
    EXPECT_EQ(sms.Whose(), S(u"bob"));
    EXPECT_EQ(sms.Number(), S(u"123"));
    EXPECT_EQ(sms.Message(), S(u"hi"));
    EXPECT_EQ(sms.Ffname(), S(u"inc_240102101112.dat"));
}

TEST(QueueFileNames, StampAndNames)
{
    const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 5));
    EXPECT_EQ(FileStamp(when), S(u"240102030405"));
    EXPECT_EQ(UnsentFileName(FileStamp(when), S(u"0AFF")), S(u"2401020304050AFF.dat"));
    EXPECT_EQ(IncomingFileName(FileStamp(when)), S(u"inc_240102030405.dat"));
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
    EXPECT_EQ(UnsentFileContent(S(u"şahin,1,d,é€ 中")), QByteArray("\xFE" "ahin,1,d,\xE9\x80 ?\r\n"));
    EXPECT_EQ(IncomingFileContent(S(u"Moderator,1,d,ğ")), QByteArray("Moderator,1,d,\xF0"));
}

class QueueFolderFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
};

TEST_F(QueueFolderFiles, ListingTakesDatFilesInNameOrder)
{
    for (const char16_t *name : {u"2401010000010000.dat", u"240101000000FFFF.dat", u"a.DAT", u"c.txt", u".1-1.tmp",
                                 u"d.dat.unreadable", u"e.data", u"datfile"})
        WriteRaw(path(S(name)), "x");
    ASSERT_TRUE(QDir(dir.path()).mkdir(S(u"f.dat")));
    ASSERT_TRUE(QFile::link(path(S(u"c.txt")), path(S(u"g.dat"))));
    EXPECT_EQ(ListQueueFiles(dir.path()),
              QStringList({S(u"240101000000FFFF.dat"), S(u"2401010000010000.dat"), S(u"a.DAT"), S(u"g.dat")}));
}

TEST_F(QueueFolderFiles, ListingAMissingFolderRaises)
{
    try {
        ListQueueFiles(path(S(u"Unsent")));
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), platform::ErrPathNotFound);
        EXPECT_TRUE(e.description().contains(path(S(u"Unsent"))));
    }
}

TEST_F(QueueFolderFiles, FirstLine)
{
    const QByteArray longLine(5000, 'x');
    const struct {
        QByteArray content;
        QString line;
    } cases[] = {
        {"bob,1,d,hi\r\nsecond\r\n", S(u"bob,1,d,hi")},
        {"no line end", S(u"no line end")},
        {"lf\nnext", S(u"lf")},
        {"cr\rnext", S(u"cr")},
        {"\r\nrest", QString()},
        {"\xFE\xF0\r\n", S(u"şğ")},
        {longLine + "\r\nnext", QString::fromLatin1(longLine)},
    };
    for (const auto &c : cases) {
        WriteRaw(path(S(u"f.dat")), c.content);
        EXPECT_EQ(ReadFirstLine(path(S(u"f.dat"))), c.line) << c.content.left(20).constData();
    }
}

TEST_F(QueueFolderFiles, FileWithoutAFirstLineCannotBeRead)
{
    WriteRaw(path(S(u"empty.dat")), QByteArray());
    EXPECT_THROW(ReadFirstLine(path(S(u"empty.dat"))), platform::Error);
    EXPECT_THROW(ReadFirstLine(path(S(u"missing.dat"))), platform::Error);
    ASSERT_TRUE(QDir(dir.path()).mkdir(S(u"folder.dat")));
    EXPECT_THROW(ReadFirstLine(path(S(u"folder.dat"))), platform::Error);
}

TEST_F(QueueFolderFiles, CreateAsksForAnotherNameWhileTheNameIsTaken)
{
    WriteRaw(path(S(u"taken.dat")), "old");
    QStringList proposals{S(u"taken.dat"), S(u"free.dat")};
    const QString name = CreateQueueFile(dir.path(), "new\r\n", [&] { return proposals.takeFirst(); });
    EXPECT_EQ(name, S(u"free.dat"));
    EXPECT_EQ(ReadAll(path(S(u"taken.dat"))), QByteArray("old"));
    EXPECT_EQ(ReadAll(path(S(u"free.dat"))), QByteArray("new\r\n"));
    EXPECT_EQ(Entries(dir.path()), QStringList({S(u"free.dat"), S(u"taken.dat")}));
}

TEST_F(QueueFolderFiles, CreateLeavesNothingBehindWhenItFails)
{
    try {
        CreateQueueFile(path(S(u"missing")), "x", [] { return S(u"a.dat"); });
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), platform::ErrPathNotFound);
    }
    EXPECT_THROW(CreateQueueFile(dir.path(), "x", []() -> QString { throw platform::Error(5, S(u"no name")); }),
                 platform::Error);
    EXPECT_EQ(Entries(dir.path()), QStringList());
}

TEST_F(QueueFolderFiles, MoveNeverReplaces)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(S(u"Sent")));
    WriteRaw(path(S(u"a.dat")), "new");
    WriteRaw(path(S(u"Sent/a.dat")), "old");
    try {
        MoveQueueFile(dir.path(), S(u"a.dat"), path(S(u"Sent")), S(u"a.dat"));
        FAIL() << "no error";
    } catch (const platform::Error &e) {
        EXPECT_EQ(e.number(), platform::ErrFileAlreadyExists);
    }
    EXPECT_EQ(ReadAll(path(S(u"a.dat"))), QByteArray("new"));
    EXPECT_EQ(ReadAll(path(S(u"Sent/a.dat"))), QByteArray("old"));
    MoveQueueFile(dir.path(), S(u"a.dat"), dir.path(), S(u"a.dat.done"));
    EXPECT_EQ(ReadAll(path(S(u"a.dat.done"))), QByteArray("new"));
}

} // namespace
