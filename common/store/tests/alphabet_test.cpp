// LIKE and the alphabetical collation on a real database file opened as the
// service and the console open theirs.
#include "store/alphabet.h"
#include "store/databasefiles.h"
#include "text.h"

#include "platform/error.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class Alphabet : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("t.db"));
        {
            QSqlDatabase maker = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("maker"));
            maker.setDatabaseName(path);
            ASSERT_TRUE(maker.open());
            QSqlQuery(maker).exec(QStringLiteral("CREATE TABLE T (ID INTEGER PRIMARY KEY, A TEXT COLLATE NOCASE, B TEXT)"));
            maker.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("maker"));
        db = OpenDatabaseFile(QStringLiteral("alphabet"), path);
    }
    void TearDown() override { CloseDatabaseFile(db, QStringLiteral("alphabet")); }

    void Insert(const QString &a, const QString &b = QString())
    {
        RunStatement(db, QStringLiteral("INSERT INTO T (A, B) VALUES (?, ?)"), {a, b});
    }

    // The IDs of the rows in the order `orderBy` gives.
    QList<int> IDs(const QString &orderBy)
    {
        QList<int> ids;
        QSqlQuery rows = RunStatement(db, QStringLiteral("SELECT ID FROM T ORDER BY ") + orderBy);
        while (NextRow(rows))
            ids << rows.value(0).toInt();
        return ids;
    }

    QVariant Like(const QVariant &text, const QVariant &pattern)
    {
        QSqlQuery row = RunStatement(db, QStringLiteral("SELECT ? LIKE ?"), {text, pattern});
        EXPECT_TRUE(NextRow(row));
        return row.value(0);
    }

    QTemporaryDir folder;
    QSqlDatabase db;
};

} // namespace

TEST_F(Alphabet, LikeIgnoresCaseForEveryLetterAndTakesTheFourIsAsOne)
{
    const struct {
        const char16_t *text;
        const char16_t *pattern;
        bool matches;
    } cases[] = {
        {u"Çağrı", u"%çağ%", true},
        {u"çağrı", u"%ÇAĞ%", true},
        {u"İbrahim", u"%ibra%", true},
        {u"IŞIK LOJİSTİK", u"%ışık%", true},
        {u"IŞIK LOJİSTİK", u"%lojistik", true},
        {u"Irene", u"%irene%", true},
        {u"irene", u"IRENE", true},
        {u"Işık", u"işik", true},
        {u"Işık", u"İŞİK", true},
        {u"Gülşen Öztürk", u"GÜLŞEN ÖZTÜRK", true},
        {u"Ayşe", u"ayse", false},
        {u"Çağrı", u"%cag%", false},
        {u"René", u"rene", false},
        {u"René", u"RENÉ", true},
        // The other letters of the code page.
        {u"ÀÉÎÕÜÑÇÅÆØ", u"àéîõüñçåæø", true},
        {u"ŠŒŸ", u"šœÿ", true},
        // "_" is one letter, however many bytes it takes.
        {u"Ayşe", u"ay_e", true},
        {u"Ayşe", u"ay__e", false},
        {u"Ayşe", u"____", true},
        {u"abc", u"a%c", true},
        {u"ab", u"a%c", false},
        {u"aXbXc", u"%x%x%", true},
        {u"aXbXc", u"%x%x%x%", false},
        {u"", u"%", true},
        {u"", u"", true},
        {u"Ann", u"", false},
        {u"Ann", u"%%%%", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Like(S(c.text), S(c.pattern)).toInt(), c.matches ? 1 : 0)
            << qPrintable(S(c.text)) << " LIKE " << qPrintable(S(c.pattern));
    EXPECT_TRUE(Like(QVariant(), S(u"%")).isNull());
    EXPECT_TRUE(Like(S(u"x"), QVariant()).isNull());
}

TEST_F(Alphabet, TheEscapeFormTakesTheWildcardsLiterally)
{
    const auto like = [this](const QString &text, const QString &pattern, const QString &escape) {
        QSqlQuery row = RunStatement(db, QStringLiteral("SELECT ? LIKE ? ESCAPE ?"), {text, pattern, escape});
        EXPECT_TRUE(NextRow(row));
        return row.value(0);
    };
    EXPECT_EQ(like(S(u"50% İNDİRİM"), S(u"50!%%"), S(u"!")), 1);
    EXPECT_EQ(like(S(u"500 İNDİRİM"), S(u"50!%%"), S(u"!")), 0);
    EXPECT_EQ(like(S(u"a_b"), S(u"aş_b"), S(u"ş")), 1);
    EXPECT_EQ(like(S(u"axb"), S(u"aş_b"), S(u"ş")), 0);
    EXPECT_EQ(like(S(u"I%"), S(u"ı!%"), S(u"!")), 1);
    // A lone escape at the end matches nothing.
    EXPECT_EQ(like(S(u"a!"), S(u"a!"), S(u"!")), 0);
    EXPECT_TRUE(like(S(u"a"), S(u"a"), QString()).isNull());
    EXPECT_THROW(like(S(u"a"), S(u"a"), S(u"!!")), platform::Error);
    EXPECT_THROW(like(S(u"a"), S(u"a"), QStringLiteral("")), platform::Error);
}

TEST_F(Alphabet, ListsFollowTheTurkishAlphabetIgnoringCase)
{
    const char16_t *const names[] = {
        u"Zeynep", u"Çağrı", u"Gülşen", u"İbrahim", u"Işık", u"ırmak", u"ilker", u"Irmak", u"Cem", u"can",
        u"Ömer",   u"oya",   u"Şule",   u"SUDE",    u"Ümit", u"Uğur",  u"Gamze", u"Ğ",     u"Hale", u"",
        u"10",     u"9",     u"Ali Veli", u"Alican", u"Ali", u"Îsa",  u"Isa",   u"İsa",   u"Rene", u"René",
        u"Renk",   u"Ørjan", u"Oz",     u"Ñandu",    u"Nur", u"Quinn", u"Pelin", u"Rıza",  u"Wolf", u"Xenia",
        u"Vedat",  u"Yusuf", u"Jale",   u"Kemal",    u"Leyla", u"Mert", u"Tarık", u"Duru", u"Fatma", u"Ece",
        u"Berk",   u"Ada",   u"Ελένη",  u"Çiğdem",
    };
    for (const char16_t *name : names)
        Insert(S(name));
    QStringList ordered;
    for (int id : IDs(AlphabeticalOrder({QStringLiteral("A")}, QStringLiteral("ID"))))
        ordered << S(names[id - 1]);
    // Ties (case, accents, I and ı, İ and i and Î) keep the order of the ID.
    const QStringList expected = {
        S(u""),      S(u"10"),    S(u"9"),       S(u"Ada"),    S(u"Ali"),    S(u"Ali Veli"), S(u"Alican"),
        S(u"Berk"),  S(u"can"),   S(u"Cem"),     S(u"Çağrı"),  S(u"Çiğdem"), S(u"Duru"),     S(u"Ece"),
        S(u"Fatma"), S(u"Gamze"), S(u"Gülşen"),  S(u"Ğ"),      S(u"Hale"),   S(u"ırmak"),    S(u"Irmak"),
        S(u"Isa"),   S(u"Işık"),  S(u"İbrahim"), S(u"ilker"),  S(u"Îsa"),    S(u"İsa"),      S(u"Jale"),
        S(u"Kemal"), S(u"Leyla"), S(u"Mert"),    S(u"Ñandu"),  S(u"Nur"),    S(u"Ørjan"),    S(u"oya"),
        S(u"Oz"),    S(u"Ömer"),  S(u"Pelin"),   S(u"Quinn"),  S(u"Rene"),   S(u"René"),     S(u"Renk"),
        S(u"Rıza"),  S(u"SUDE"),  S(u"Şule"),    S(u"Tarık"),  S(u"Uğur"),   S(u"Ümit"),     S(u"Vedat"),
        S(u"Wolf"),  S(u"Xenia"), S(u"Yusuf"),   S(u"Zeynep"), S(u"Ελένη"),
    };
    EXPECT_EQ(ordered, expected);
}

TEST_F(Alphabet, AFullTieGoesToTheNextColumnThenToTheID)
{
    Insert(S(u"ayşe"), S(u"Kaya"));  // 1
    Insert(S(u"AYŞE"), S(u"ak"));    // 2
    Insert(S(u"Ayşe"), S(u"Kaya"));  // 3
    Insert(S(u"ayse"), S(u"A"));     // 4
    Insert(S(u"Ayşe"), S(u"Çelik")); // 5
    EXPECT_EQ(IDs(AlphabeticalOrder({QStringLiteral("A"), QStringLiteral("B")}, QStringLiteral("ID"))),
              (QList<int>{4, 2, 5, 1, 3}));
    EXPECT_EQ(IDs(AlphabeticalOrder({QStringLiteral("A"), QStringLiteral("B")}, QStringLiteral("ID DESC"))),
              (QList<int>{4, 2, 5, 3, 1}));
    EXPECT_EQ(AlphabeticalOrder({QStringLiteral("F3"), QStringLiteral("F4")}, QStringLiteral("F1")),
              QStringLiteral("F3 COLLATE turkish, F4 COLLATE turkish, F1"));
}

TEST_F(Alphabet, EqualityKeepsTheColumnsOwnRule)
{
    Insert(S(u"Ayşe"));
    Insert(S(u"AYŞE"));
    Insert(S(u"AYSE"));
    // A is NOCASE: ASCII letters only.
    QSqlQuery rows = RunStatement(db, QStringLiteral("SELECT ID FROM T WHERE A = ? ORDER BY ID"), {S(u"ayşe")});
    QList<int> found;
    while (NextRow(rows))
        found << rows.value(0).toInt();
    EXPECT_EQ(found, QList<int>{1});
}
