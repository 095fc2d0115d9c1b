// What a bulk send writes for each row and how its files reach Unsent.
#include "bulkmessages.h"

#include "platform/codepage.h"

#include "files.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

TEST(BulkRowText, NumbersKeepDigitsAndPlusAndRegainALostLeadingZero)
{
    const struct {
        const char16_t *imported;
        const char16_t *cleaned;
        const char16_t *written;
    } cases[] = {
        {u"(012) 345-67 89", u"0123456789", u"0123456789"},
        {u"+12 345 678 9012", u"+123456789012", u"+123456789012"},
        {u"1234567890", u"1234567890", u"01234567890"},
        {u"532 123 45 67", u"5321234567", u"05321234567"},
        // Ten characters, but not ten digits: left alone.
        {u"+123456789", u"+123456789", u"+123456789"},
        {u"123456789", u"123456789", u"123456789"},
        {u"[-]", u"", u""},
        {u"", u"", u""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(CleanPhonenumber(S(c.imported)), S(c.cleaned)) << S(c.imported).toStdString();
        EXPECT_EQ(BulkNumber(S(c.imported)), S(c.written)) << S(c.imported).toStdString();
    }
}

TEST(BulkRowText, TheNameFillsEveryPlaceholderAndNothingBreaksTheLine)
{
    const struct {
        const char16_t *typed;
        const char16_t *name;
        const char16_t *written;
    } cases[] = {
        {u"Merhaba [[N]]", u"Ayşe", u"Merhaba Ayşe"},
        {u"[[N]], [[N]]!", u"Ali", u"Ali, Ali!"},
        {u"[[n]] stays", u"Ali", u"[[n]] stays"},
        {u"a\r\nb\nc", u"x", u"a|b|c"},
        {u"Hi [[N]]", u"Ali\r\nVeli", u"Hi Ali|Veli"},
        {u"x^y [[N]]", u"A^B", u"xy AB"},
        {u"  blanks kept  ", u"x", u"  blanks kept  "},
    };
    for (const auto &c : cases)
        EXPECT_EQ(BulkText(S(c.typed), S(c.name)), S(c.written)) << S(c.typed).toStdString();
}

TEST(BulkRowText, TheTypedMessageIsRefusedWhenItCannotGoOutAsTyped)
{
    const QString a160(160, u'a');
    const struct {
        QString typed;
        const char16_t *refusal;
    } cases[] = {
        {a160, u""},
        {QStringLiteral("   ") + a160 + QStringLiteral("  "), u""},
        // Only blanks are removed at the ends.
        {a160 + QStringLiteral(" \r\n"), u"message_is_too_long"},
        {a160 + u'b', u"message_is_too_long"},
        {QString(), u"message_is_empty"},
        {QStringLiteral("   "), u"message_is_empty"},
        {QStringLiteral(" ^ ^ "), u"message_is_empty"},
        {QString(70, u'é'), u""},
        {QString(71, u'é'), u"message_is_too_long"},
        // An extension character takes two septets.
        {QString(80, u'{'), u""},
        {QString(81, u'{'), u"message_is_too_long"},
        // A backtick has no GSM code: the text goes out in UCS2.
        {QString(70, u'a') + u'`', u"message_is_too_long"},
        // A line break typed as "|" goes out as a line feed, one septet.
        {QString(159, u'a') + u'|', u""},
        {QStringLiteral("Ж"), u"message_has_unsupported_characters"},
        {QStringLiteral("ok \U0001F600"), u"message_has_unsupported_characters"},
        {QStringLiteral("Şişli € ?"), u""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MessageRefusal(c.typed), S(c.refusal)) << c.typed.left(12).toStdString() << " (" << c.typed.size() << ")";
}

TEST(BulkRowText, EveryRowIsCheckedWithItsOwnName)
{
    const QString typed = QStringLiteral("[[N]] ") + QString(66, u'a');
    const struct {
        const char16_t *name;
        const char16_t *number;
        const char16_t *refusal;
    } cases[] = {
        {u"Ali", u"05321234567", u""},
        // A Turkish letter turns the row into UCS2: 69 characters still fit.
        {u"Şül", u"05321234567", u""},
        {u"Şule", u"05321234567", u"message_is_too_long"},
        {u"Ж", u"05321234567", u"message_has_unsupported_characters"},
        {u"Ali", u"+123456789012345678901", u"phonenumber_is_too_long"},
        {u"Ali", u"+1234567890123456789", u""},
    };
    for (const auto &c : cases) {
        const QList<sheets::BulkRow> rows{{QStringLiteral("Ok"), QStringLiteral("05551112233")}, {S(c.name), S(c.number)}};
        const PreparedBulk prepared = PrepareBulkLines(typed, rows);
        if (*c.refusal) {
            EXPECT_EQ(prepared.refusedRow, 1) << S(c.name).toStdString();
            EXPECT_EQ(prepared.refusalKey, S(c.refusal)) << S(c.name).toStdString();
            EXPECT_TRUE(prepared.lines.isEmpty());
        } else {
            EXPECT_EQ(prepared.refusedRow, -1) << S(c.name).toStdString() << " " << prepared.refusalKey.toStdString();
            EXPECT_EQ(prepared.lines.size(), 2);
        }
    }
}

TEST(BulkRowText, EachLineIsABulkRecordOfTheRow)
{
    const QList<sheets::BulkRow> rows{{S(u"Gülşen Doğan"), S(u"532 123 45 67")}, {S(u"Mehmet"), S(u"+90 (541) 765-43-21")}};
    const PreparedBulk prepared = PrepareBulkLines(S(u"Merhaba [[N]],\r\nhoş geldiniz  "), rows);
    ASSERT_EQ(prepared.lines.size(), 2);
    const QRegularExpression line(S(u"^\\[Bulk\\],([^,]*),(\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d),(.*)$"));
    const auto first = line.match(prepared.lines[0]);
    ASSERT_TRUE(first.hasMatch()) << prepared.lines[0].toStdString();
    EXPECT_EQ(first.captured(1), S(u"05321234567"));
    EXPECT_EQ(first.captured(3), S(u"Merhaba Gülşen Doğan,|hoş geldiniz  "));
    const auto second = line.match(prepared.lines[1]);
    ASSERT_TRUE(second.hasMatch()) << prepared.lines[1].toStdString();
    EXPECT_EQ(second.captured(1), S(u"+905417654321"));
    EXPECT_EQ(second.captured(3), S(u"Merhaba Mehmet,|hoş geldiniz  "));
}

// A program folder with Unsent and Sent.
class BulkQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkdir(S(u"Unsent")));
        ASSERT_TRUE(QDir(dir.path()).mkdir(S(u"Sent")));
    }

    QString unsent() const { return dir.filePath(S(u"Unsent")); }
    QStringList temporary() const { return Entries(unsent()).filter(QRegularExpression(S(u"\\.tmp$"))); }

    static QStringList Lines(int count)
    {
        QStringList lines;
        for (int i = 0; i < count; ++i)
            lines << S(u"[Bulk],0532000%1,24/01/02 10:11:12,Merhaba Şule %1").arg(i, 4, 10, QLatin1Char('0'));
        return lines;
    }

    QByteArray content(const QString &name) const
    {
        QFile file(QDir(unsent()).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QRandomGenerator random{42};
};

TEST_F(BulkQueue, EveryLineBecomesAnUnsentFileNamedByStampAndSixteenHexDigits)
{
    const QStringList lines = Lines(3);
    const BulkQueueOutcome outcome = QueueBulkLines(dir.path(), lines, random);
    EXPECT_EQ(outcome.failedLine, -1);
    EXPECT_EQ(outcome.queued, 3);
    const QStringList names = Entries(unsent());
    ASSERT_EQ(names.size(), 3) << names.join(u' ').toStdString();
    QStringList contents;
    for (const QString &name : names) {
        EXPECT_TRUE(QRegularExpression(S(u"^\\d{12}[0-9A-F]{16}\\.dat$")).match(name).hasMatch()) << name.toStdString();
        contents << platform::codepage::fromAnsi(content(name));
    }
    contents.sort();
    EXPECT_EQ(contents, QStringList({lines[0] + S(u"\r\n"), lines[1] + S(u"\r\n"), lines[2] + S(u"\r\n")}));
}

TEST_F(BulkQueue, ANameTakenInSentIsDrawnAgain)
{
    QRandomGenerator predict(random);
    const QString firstDigits = RandomHexBytes(predict, 8);
    const QString secondDigits = RandomHexBytes(predict, 8);
    // The stamp may move on by a second while the file is queued.
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 3; ++s) {
        QFile taken(dir.filePath(S(u"Sent/") + UnsentFileName(FileStamp(now.addSecs(s)), firstDigits)));
        ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    }
    ASSERT_EQ(QueueBulkLines(dir.path(), Lines(1), random).queued, 1);
    ASSERT_EQ(Entries(unsent()).size(), 1);
    EXPECT_EQ(Entries(unsent())[0].mid(12, 16), secondDigits);
}

// Files written aside stay out of every reader's listing until all are
// written; a failure then leaves nothing queued and nothing behind.
TEST_F(BulkQueue, AFailureWhileWritingAsideQueuesNothingAndLeavesNothing)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    bool listedDuringWrite = true;
    const BulkQueueOutcome outcome = QueueBulkLines(dir.path(), Lines(40), random, [&] {
        listedDuringWrite = !ListQueueFiles(unsent()).isEmpty();
        EXPECT_EQ(temporary().size(), 32);
        // From here on no file can take a byte.
        rlimit tiny = previous;
        tiny.rlim_cur = 1;
        ::setrlimit(RLIMIT_FSIZE, &tiny);
    });
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(listedDuringWrite);
    EXPECT_EQ(outcome.queued, 0);
    EXPECT_EQ(outcome.failedLine, 32);
    EXPECT_FALSE(outcome.error.isEmpty());
    EXPECT_EQ(Entries(unsent()), QStringList());
}

TEST_F(BulkQueue, ARenameThatFailsPartWayTellsHowManyWereQueuedAndRemovesTheRest)
{
    const QStringList lines = Lines(40);
    int calls = 0;
    const BulkQueueOutcome outcome = QueueBulkLines(dir.path(), lines, random, [&] {
        // The second call comes after 32 renames: the next file aside
        // vanishes.
        if (++calls != 2)
            return;
        QStringList aside = temporary();
        ASSERT_EQ(aside.size(), 8);
        std::sort(aside.begin(), aside.end(), [](const QString &a, const QString &b) {
            return a.section(u'-', 1).section(u'.', 0, 0).toInt() < b.section(u'-', 1).section(u'.', 0, 0).toInt();
        });
        ASSERT_TRUE(QFile::remove(QDir(unsent()).filePath(aside.first())));
    });
    EXPECT_EQ(outcome.queued, 32);
    EXPECT_EQ(outcome.failedLine, 32);
    EXPECT_TRUE(temporary().isEmpty());
    const QStringList queued = ListQueueFiles(unsent());
    ASSERT_EQ(queued.size(), 32);
    QStringList contents;
    for (const QString &name : queued)
        contents << platform::codepage::fromAnsi(content(name)).chopped(2);
    contents.sort();
    EXPECT_EQ(contents, lines.mid(0, 32));
}

} // namespace
