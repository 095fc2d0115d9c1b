#include "clientstore/messagestore.h"

#include "boxrecorder.h"
#include "files.h"
#include "ownerrorlog.h"
#include "text.h"

#include "common/errorlog.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "sealkit/clscipherbase.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QString Bob = QStringLiteral("bob");

// What the service pushes for a message line.
QString Enciphered(const QString &line)
{
    return sealkit::clsCipherBase().Encrypt(line, true);
}

QString Deciphered(const QByteArray &fileContent)
{
    QByteArray line = fileContent;
    if (line.endsWith("\r\n"))
        line.chop(2);
    return sealkit::clsCipherBase().Decrypt(textkit::clsString::CHex2Str(QString::fromLatin1(line)), false);
}

QStringList Dates(const SmsCollection &records)
{
    QStringList dates;
    for (const SmsRef &r : records)
        dates << r->MessageDate();
    return dates;
}

class Store : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("users")));
        UseOwnErrorLog();
    }

    QString Users() const { return dir.filePath(QStringLiteral("users")); }
    QString Folder(const char *name) const { return QDir(store.UserFolder()).filePath(QString::fromLatin1(name)); }

    // A message file as the client writes it, in a folder of bob's store.
    void Put(const char *folder, const QString &name, const QString &line)
    {
        const QString path = QDir(Users()).filePath(Bob + QLatin1Char('/') + QString::fromLatin1(folder));
        QDir().mkpath(path);
        WriteRaw(QDir(path).filePath(name), Enciphered(line).toLatin1() + "\r\n");
    }

    QTemporaryDir dir;
    MessageStore store{dir.filePath(QStringLiteral("users"))};
    BoxRecorder boxes;
};

} // namespace

TEST(clsSmsRecord, PropertiesKeepTheirLeadingCharacters)
{
    clsSms r;
    r.setPhoneNumber(QString(25, QLatin1Char('1')));
    r.setMessageDate(QString(25, QLatin1Char('2')));
    r.setUserName(QString(30, QLatin1Char('u')));
    EXPECT_EQ(r.PhoneNumber().size(), 20);
    EXPECT_EQ(r.MessageDate().size(), 20);
    EXPECT_EQ(r.UserName().size(), 25);

    // 160 characters with line breaks keep every character; the cut comes
    // before the breaks are expanded.
    const struct { QString in; QString out; } cases[] = {
        {QStringLiteral("a|b"), QStringLiteral("a\r\nb")},
        {QString(79, QLatin1Char('x')) + QStringLiteral("||") + QString(79, QLatin1Char('y')),
         QString(79, QLatin1Char('x')) + QStringLiteral("\r\n\r\n") + QString(79, QLatin1Char('y'))},
        {QString(159, QLatin1Char('x')) + QStringLiteral("|z"), QString(159, QLatin1Char('x')) + QStringLiteral("\r\n")},
    };
    for (const auto &c : cases) {
        r.setMessage(c.in);
        EXPECT_EQ(r.Message(), c.out);
    }
    r.setUserName(Bob);
    r.setPhoneNumber(QStringLiteral("+90555"));
    r.setMessageDate(QStringLiteral("24/01/05 10:00:00"));
    r.setMessage(QStringLiteral("hi, there"));
    EXPECT_EQ(r.text(), QStringLiteral("bob,+90555,24/01/05 10:00:00,hi, there"));
}

TEST(SortSMSOrder, LatestFirstAndEqualDatesKeepTheirOrder)
{
    SmsCollection records;
    for (const char *date : {"24/01/05 10:00:00", "24/03/01 09:00:00", "23/12/31 23:59:59", "24/03/01 09:00:00"}) {
        records << std::make_shared<clsSms>();
        records.back()->setMessageDate(QString::fromUtf8(date));
    }
    const SmsRef firstOfTwins = records[1];
    SortSMS(records);
    EXPECT_EQ(Dates(records), (QStringList{S(u"24/03/01 09:00:00"), S(u"24/03/01 09:00:00"), S(u"24/01/05 10:00:00"),
                                           S(u"23/12/31 23:59:59")}));
    EXPECT_EQ(records[0], firstOfTwins);
}

TEST(DecryptedSMSLine, RefusesWhatIsNoMessageLine)
{
    EXPECT_EQ(DecryptedSMS(Enciphered(S(u"bob,+90555,24/01/05 10:00:00,a, b, c"))).Message(), S(u"a, b, c"));
    const QString cases[] = {
        QString(),
        S(u"XYZ"),
        Enciphered(S(u"only,three,fields")),
        Enciphered(S(u"bob,+90555,24/01/05 10:00:00,")) + S(u"0"),  // odd
        QString(MaxCipherHexLength + 2, QLatin1Char('A')),
    };
    for (const QString &line : cases)
        EXPECT_THROW(DecryptedSMS(line), platform::Error) << qPrintable(line.left(40));
}

TEST_F(Store, LoadsAllThreeFoldersWithTheUnreadCount)
{
    Put("sent", S(u"1.sms"), S(u"bob,+905551,24/01/01 10:00:00,to Ann"));
    Put("unread", S(u"2.sms"), S(u"bob,+905552,24/01/05 10:00:00,new"));
    Put("inbox", S(u"3.sms"), S(u"Moderator,+905553,24/03/01 09:00:00,old"));
    Put("inbox", S(u"4.sms"), S(u"bob,+905554,23/12/31 23:59:59,older"));

    store.OpenMessageStore(Bob);

    ASSERT_EQ(store.SentMessages.size(), 1);
    EXPECT_EQ(store.SentMessages[0]->Message(), S(u"to Ann"));
    EXPECT_EQ(store.UnreadCount, 1);
    EXPECT_EQ(Dates(store.InboxMessages), (QStringList{S(u"24/03/01 09:00:00"), S(u"24/01/05 10:00:00"), S(u"23/12/31 23:59:59")}));
    EXPECT_TRUE(store.InboxMessages[1]->IsUnread);
    EXPECT_FALSE(store.InboxMessages[0]->IsUnread);
    EXPECT_EQ(store.InboxMessages[0]->UserName(), S(u"Moderator"));
    EXPECT_EQ(store.InboxMessages[0]->FileName, Folder("inbox") + S(u"/3.sms"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_TRUE(store.SentFolderHasFiles());
}

TEST_F(Store, ForeignFilesAreSkippedLoggedAndShownInOneBox)
{
    Put("inbox", S(u"good.sms"), S(u"bob,+905551,24/01/01 10:00:00,fine"));
    const QString inbox = Users() + S(u"/bob/inbox/");
    WriteRaw(inbox + S(u"notes.txt"), "just some notes\r\n");
    WriteRaw(inbox + S(u"empty.sms"), "");
    // A large file without a line end is not read whole.
    WriteRaw(inbox + S(u"big.bin"), QByteArray(1 << 20, 'A'));
    ASSERT_TRUE(QDir(Users()).mkpath(S(u"bob/unread")));
    WriteRaw(Users() + S(u"/bob/unread/three.sms"), Enciphered(S(u"a,b,c")).toLatin1());

    store.OpenMessageStore(Bob);

    ASSERT_EQ(store.InboxMessages.size(), 1);
    EXPECT_EQ(store.InboxMessages[0]->Message(), S(u"fine"));
    EXPECT_EQ(store.UnreadCount, 0);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].title, S(u"Error"));
    const QByteArray log = ReadErrorLog();
    EXPECT_EQ(log.count("frmMain-->GetDecryptedSMS"), 4) << log.constData();
    for (const char *name : {"notes.txt", "empty.sms", "big.bin", "three.sms"})
        EXPECT_TRUE(log.contains(name)) << name;
    // Skipped files stay where they are.
    EXPECT_EQ(Entries(inbox).size(), 4);
}

TEST_F(Store, UserFolderMatchesWithoutCaseAndIsPrivate)
{
    ASSERT_TRUE(QDir(Users()).mkpath(S(u"Bob/inbox")));
    Put("inbox", S(u"x.sms"), S(u"bob,1,24/01/01 10:00:00,x"));  // writes into users/bob
    ASSERT_TRUE(QDir(Users()).exists(S(u"bob")));

    store.OpenMessageStore(S(u"BOB"));  // no exact folder: one matching without case is taken
    const QString taken = QFileInfo(store.UserFolder()).fileName();
    EXPECT_TRUE(taken == S(u"Bob") || taken == S(u"bob")) << qPrintable(taken);

    store.OpenMessageStore(Bob);  // an exact match wins
    EXPECT_EQ(store.UserFolder(), Users() + S(u"/bob"));
    EXPECT_EQ(store.InboxMessages.size(), 1);
    EXPECT_EQ(QFile::permissions(store.UserFolder()) & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);

    store.OpenMessageStore(S(u"ann"));
    EXPECT_EQ(QFile::permissions(store.UserFolder()),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    for (const char *name : {"sent", "unread", "inbox"})
        EXPECT_TRUE(QDir(store.UserFolder()).exists(QString::fromUtf8(name)));
}

TEST_F(Store, AnEmptyNameOpensNoStoreAndAnotherUserEmptiesTheLists)
{
    Put("inbox", S(u"x.sms"), S(u"bob,1,24/01/01 10:00:00,x"));
    Put("sent", S(u"y.sms"), S(u"bob,1,24/01/01 10:00:00,y"));
    store.OpenMessageStore(Bob);
    ASSERT_EQ(store.InboxMessages.size(), 1);

    store.OpenMessageStore(QString());
    EXPECT_TRUE(store.UserFolder().isEmpty());
    EXPECT_TRUE(store.InboxMessages.isEmpty());
    EXPECT_TRUE(store.SentMessages.isEmpty());
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(Entries(Users()), QStringList());
    // A push is still listed, though nothing can be written.
    const qsizetype at = store.KeepPushedSMS(Enciphered(S(u"bob,1,24/01/01 10:00:00,x")));
    EXPECT_TRUE(store.InboxMessages[at]->FileName.isEmpty());
    EXPECT_EQ(boxes.boxes.size(), 2);
    EXPECT_EQ(Entries(Users()), QStringList());
}

TEST_F(Store, APushIsStoredUnchangedAndListedInItsPlace)
{
    Put("inbox", S(u"a.sms"), S(u"bob,1,24/03/01 09:00:00,march"));
    Put("inbox", S(u"b.sms"), S(u"bob,1,23/12/31 23:59:59,december"));
    store.OpenMessageStore(Bob);

    const QString data = Enciphered(S(u"bob,+905557770001,24/01/05 10:00:00,hello, world|bye"));
    const qsizetype at = store.KeepPushedSMS(data);
    ASSERT_EQ(at, 1);
    const SmsRef record = store.InboxMessages[at];
    EXPECT_TRUE(record->IsUnread);
    EXPECT_EQ(record->Message(), S(u"hello, world\r\nbye"));
    EXPECT_EQ(store.UnreadCount, 1);
    EXPECT_TRUE(record->FileName.startsWith(Folder("unread") + QLatin1Char('/')));
    EXPECT_EQ(ReadAll(record->FileName), data.toLatin1() + "\r\n");
    EXPECT_EQ(Deciphered(ReadAll(record->FileName)), S(u"bob,+905557770001,24/01/05 10:00:00,hello, world|bye"));
    // Nothing is written into the user's folder itself or left aside.
    EXPECT_EQ(Entries(store.UserFolder()), QStringList());

    // A push of an existing date goes before the records of that date.
    EXPECT_EQ(store.KeepPushedSMS(Enciphered(S(u"bob,2,24/03/01 09:00:00,twin"))), 0);
}

TEST_F(Store, APushThatIsNoMessageLineIsRefusedAndNothingIsStored)
{
    store.OpenMessageStore(Bob);
    for (const QString &data : {S(u"not hex"), Enciphered(S(u"a,b,c")), QString(MaxCipherHexLength + 2, QLatin1Char('0'))})
        EXPECT_THROW(store.KeepPushedSMS(data), platform::Error);
    EXPECT_TRUE(store.InboxMessages.isEmpty());
    EXPECT_EQ(store.UnreadCount, 0);
    EXPECT_EQ(Entries(Folder("unread")), QStringList());
}

TEST_F(Store, APushThatCannotBeWrittenIsStillListedAndReported)
{
    store.OpenMessageStore(Bob);
    ASSERT_TRUE(QDir(Folder("unread")).removeRecursively());
    WriteRaw(Folder("unread"), "not a folder");

    const qsizetype at = store.KeepPushedSMS(Enciphered(S(u"bob,1,24/01/05 10:00:00,keep me")));
    EXPECT_EQ(store.InboxMessages[at]->Message(), S(u"keep me"));
    EXPECT_TRUE(store.InboxMessages[at]->FileName.isEmpty());
    EXPECT_EQ(store.UnreadCount, 1);
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(ReadErrorLog().contains("frmMain-->SaveSMS"));
    EXPECT_EQ(Entries(store.UserFolder()), QStringList{S(u"unread")});

    // Opening and deleting it touch no file.
    store.MarkRead(store.InboxMessages[at]);
    EXPECT_EQ(store.UnreadCount, 0);
    EXPECT_TRUE(store.Delete(store.InboxMessages[at]));
    EXPECT_TRUE(store.InboxMessages.isEmpty());
}

TEST_F(Store, TheUnreadCountGoesPast32767)
{
    store.OpenMessageStore(Bob);
    store.UnreadCount = 32767;
    store.KeepPushedSMS(Enciphered(S(u"bob,1,24/01/05 10:00:00,x")));
    EXPECT_EQ(store.UnreadCount, 32768);
    EXPECT_EQ(store.InboxMessages.size(), 1);
}

TEST_F(Store, MessagesSavedInOneSecondNeverReplaceEachOther)
{
    store.OpenMessageStore(Bob);
    for (int i = 0; i < 300; ++i)
        store.KeepPushedSMS(Enciphered(S(u"bob,1,24/01/05 10:00:00,m%1").arg(i)));
    EXPECT_EQ(Entries(Folder("unread")).size(), 300);
    EXPECT_EQ(Entries(store.UserFolder()), QStringList());
}

TEST_F(Store, OpeningMovesTheFileOnceAndNeverOverAnother)
{
    Put("unread", S(u"240105100000AAAAAA.sms"), S(u"bob,1,24/01/05 10:00:00,first"));
    Put("unread", S(u"240105100000BBBBBB.sms"), S(u"bob,1,24/01/05 10:00:00,second"));
    // An inbox file of the first one's name already exists.
    Put("inbox", S(u"240105100000AAAAAA.sms"), S(u"bob,1,23/01/05 10:00:00,older"));
    store.OpenMessageStore(Bob);
    ASSERT_EQ(store.UnreadCount, 2);
    const SmsRef first = store.InboxMessages[0];
    const SmsRef second = store.InboxMessages[1];

    store.MarkRead(second);
    EXPECT_EQ(second->FileName, Folder("inbox") + S(u"/240105100000BBBBBB.sms"));
    EXPECT_FALSE(second->IsUnread);
    EXPECT_EQ(store.UnreadCount, 1);

    store.MarkRead(first);
    EXPECT_NE(first->FileName, Folder("inbox") + S(u"/240105100000AAAAAA.sms"));
    EXPECT_TRUE(first->FileName.startsWith(Folder("inbox")));
    EXPECT_EQ(Deciphered(ReadAll(first->FileName)), S(u"bob,1,24/01/05 10:00:00,first"));
    EXPECT_EQ(Deciphered(ReadAll(Folder("inbox") + S(u"/240105100000AAAAAA.sms"))), S(u"bob,1,23/01/05 10:00:00,older"));
    EXPECT_EQ(Entries(Folder("unread")), QStringList());
    EXPECT_EQ(Entries(Folder("inbox")).size(), 3);

    // Opening again changes nothing.
    const QString path = first->FileName;
    store.MarkRead(first);
    EXPECT_EQ(first->FileName, path);
    EXPECT_EQ(store.UnreadCount, 0);
}

TEST_F(Store, DeletingRemovesFileRecordAndCount)
{
    Put("unread", S(u"u.sms"), S(u"bob,1,24/01/05 10:00:00,unread"));
    Put("inbox", S(u"i.sms"), S(u"bob,1,24/01/04 10:00:00,read"));
    Put("sent", S(u"s.sms"), S(u"bob,1,24/01/03 10:00:00,sent"));
    store.OpenMessageStore(Bob);

    EXPECT_TRUE(store.Delete(store.InboxMessages[0]));
    EXPECT_EQ(store.UnreadCount, 0);
    EXPECT_EQ(Entries(Folder("unread")), QStringList());
    EXPECT_TRUE(store.Delete(store.SentMessages[0]));
    EXPECT_TRUE(store.SentMessages.isEmpty());
    EXPECT_FALSE(store.SentFolderHasFiles());

    // A file gone already: nothing changes.
    const SmsRef read = store.InboxMessages[0];
    ASSERT_TRUE(QFile::remove(read->FileName));
    EXPECT_FALSE(store.Delete(read));
    EXPECT_EQ(store.InboxMessages.size(), 1);

    // A file that cannot be deleted stays listed.
    ASSERT_TRUE(QDir().mkpath(read->FileName + S(u"/inside")));
    EXPECT_THROW(store.Delete(read), platform::Error);
    EXPECT_EQ(store.InboxMessages.size(), 1);
}

TEST_F(Store, ASentCopyDeciphersToItsFields)
{
    store.OpenMessageStore(Bob);
    const SmsRef record = store.NewSMSSave(Bob, S(u"+905551110001"), S(u"Meet at 10,|room 2"),
                                           QDateTime(QDate(2024, 3, 1), QTime(9, 5, 7)));
    EXPECT_EQ(store.SentMessages, SmsCollection{record});
    EXPECT_TRUE(record->FileName.startsWith(Folder("sent") + QLatin1Char('/')));
    EXPECT_EQ(record->Message(), S(u"Meet at 10,\r\nroom 2"));
    // The file writes the line break as received files do.
    EXPECT_EQ(Deciphered(ReadAll(record->FileName)), S(u"bob,+905551110001,24/03/01 09:05:07,Meet at 10,|room 2"));

    MessageStore again(Users());
    again.OpenMessageStore(Bob);
    ASSERT_EQ(again.SentMessages.size(), 1);
    EXPECT_EQ(again.SentMessages[0]->text(), record->text());
}

TEST_F(Store, ASpecialFileInAStoreFolderIsSkippedWithoutWaiting)
{
    Put("unread", S(u"good.sms"), S(u"bob,1,24/01/05 10:00:00,fine"));
    // Nobody ever writes into this pipe: opening it to read would wait forever.
    const QString pipe = Users() + S(u"/bob/unread/pipe.sms");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    store.OpenMessageStore(Bob);

    ASSERT_EQ(store.InboxMessages.size(), 1);
    EXPECT_EQ(store.UnreadCount, 1);
    EXPECT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(ReadErrorLog().contains("pipe.sms"));
    EXPECT_TRUE(QFileInfo::exists(pipe));
}

// However the files are shared out to be read, the sent records come in
// file-name order and the files that give no record are reported in it.
TEST_F(Store, ManyFilesLoadInNameOrderWithTheirFailures)
{
    QStringList broken;
    for (int i = 0; i < 2000; ++i) {
        const QString name = S(u"%1.sms").arg(i, 5, 10, QLatin1Char('0'));
        if (i % 250 == 7) {
            ASSERT_TRUE(QDir(Users()).mkpath(S(u"bob/sent")));
            WriteRaw(Users() + S(u"/bob/sent/") + name, "no message here\r\n");
            broken << name;
        } else {
            Put("sent", name, S(u"bob,+90555%1,24/01/01 10:00:00,copy %1").arg(i));
        }
    }

    store.OpenMessageStore(Bob);

    ASSERT_EQ(store.SentMessages.size(), 2000 - broken.size());
    int previous = -1;
    for (const SmsRef &record : std::as_const(store.SentMessages)) {
        const int number = record->Message().mid(5).toInt();
        ASSERT_GT(number, previous);
        EXPECT_EQ(QFileInfo(record->FileName).fileName(), S(u"%1.sms").arg(number, 5, 10, QLatin1Char('0')));
        previous = number;
    }
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_TRUE(boxes.boxes[0].text.contains(broken[0])) << qPrintable(boxes.boxes[0].text);
    const QByteArray log = ReadErrorLog();
    qsizetype from = 0;
    for (const QString &name : std::as_const(broken)) {
        const qsizetype at = log.indexOf(name.toLatin1(), from);
        ASSERT_GE(at, 0) << qPrintable(name);
        from = at;
    }
}
