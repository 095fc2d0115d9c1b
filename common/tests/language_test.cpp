#include "common/language.h"
#include "platform/error.h"
#include "ownerrorlog.h"
#include "text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "raisederror.h"

using Dictionary = QHash<QString, QString>;

namespace {

QByteArray Utf16(const QString &text, bool withBom)
{
    QByteArray bytes;
    if (withBom)
        bytes = QByteArrayLiteral("\xFF\xFE");
    for (QChar c : text) {
        bytes += static_cast<char>(c.unicode() & 0xFF);
        bytes += static_cast<char>(c.unicode() >> 8);
    }
    return bytes;
}

int ReadUnicodeLangErrors()
{
    return static_cast<int>(ReadErrorLog().count("Error occured in: mdlGlobals-->ReadUnicodeLang"));
}

class LanguageFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseOwnErrorLog();
        ASSERT_TRUE(QDir(platform::programFolder()).mkpath(QStringLiteral("lang")));
        common::languageCode = CurrentTestName();
    }

    void TearDown() override
    {
        QFile::remove(path);
        QFile::remove(ErrorLogPath());
    }

    void Write(const QByteArray &bytes)
    {
        path = platform::programFolder() + QStringLiteral("/lang/") + common::languageCode + QStringLiteral(".ini");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

    QString path;
};

struct LineCase {
    const char *name;
    QString content;
    Dictionary expected;
};

const LineCase LineCases[] = {
    {"SecondEqualsEndsTheValue", QStringLiteral("key=a=b\r\n"), {{QStringLiteral("key"), QStringLiteral("a")}}},
    {"BlanksBelongToKeyAndValue", QStringLiteral(" key = value \r\n"), {{QStringLiteral(" key "), QStringLiteral(" value ")}}},
    {"KeysDifferInCase", QStringLiteral("Key=x\r\nkey=y\r\n"), {{QStringLiteral("Key"), QStringLiteral("x")}, {QStringLiteral("key"), QStringLiteral("y")}}},
    {"EmptyKeyAndEmptyValue", QStringLiteral("=text\r\nk=\r\n"), {{QString(), QStringLiteral("text")}, {QStringLiteral("k"), QString()}}},
    {"LinesWithoutEqualsAreSkipped", QStringLiteral("\r\n[section]\r\n; comment\r\na=1\r\n\r\n \r\nb=2"),
     {{QStringLiteral("a"), QStringLiteral("1")}, {QStringLiteral("b"), QStringLiteral("2")}}},
    {"NoEscapes", QStringLiteral("k=a\\nb \\t\r\n"), {{QStringLiteral("k"), QStringLiteral("a\\nb \\t")}}},
    {"LineFeedEndings", QStringLiteral("a=1\nb=2\n"), {{QStringLiteral("a"), QStringLiteral("1")}, {QStringLiteral("b"), QStringLiteral("2")}}},
    {"TextBeyondLatin", QStringLiteral("dil=Türkçe ş İ €\r\n"), {{QStringLiteral("dil"), QStringLiteral("Türkçe ş İ €")}}},
};

void PrintTo(const LineCase &lineCase, std::ostream *os)
{
    *os << lineCase.name;
}

class LanguageLines : public LanguageFile, public ::testing::WithParamInterface<std::tuple<LineCase, bool>> {};

} // namespace

TEST_P(LanguageLines, LoadsAsDesigned)
{
    const auto &[lineCase, withBom] = GetParam();
    Write(Utf16(lineCase.content, withBom));
    common::ReadUnicodeLang();
    EXPECT_EQ(common::LanguageDictionary(), lineCase.expected);
    EXPECT_EQ(ReadUnicodeLangErrors(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lines, LanguageLines, ::testing::Combine(::testing::ValuesIn(LineCases), ::testing::Bool()),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) ? "_Bom" : "_NoBom");
                         });

TEST_F(LanguageFile, LookupIsExactAndMissingKeysAreEmpty)
{
    Write(Utf16(QStringLiteral("Key=x\r\nkey=y\r\n"), true));
    common::ReadUnicodeLang();
    EXPECT_EQ(common::LanguageText(QStringLiteral("key")), QStringLiteral("y"));
    EXPECT_EQ(common::LanguageText(QStringLiteral("KEY")), QString());
    EXPECT_EQ(common::LanguageText(QStringLiteral("key ")), QString());
}

TEST_F(LanguageFile, RepeatedKeyKeepsTheFirstAndStopsTheLoad)
{
    Write(Utf16(QStringLiteral("a=1\r\na=2\r\nb=3\r\n"), true));
    common::ReadUnicodeLang();
    EXPECT_EQ(common::LanguageDictionary(), (Dictionary{{QStringLiteral("a"), QStringLiteral("1")}}));
    EXPECT_EQ(ReadUnicodeLangErrors(), 1);
    EXPECT_TRUE(ReadErrorLog().contains("\"a\"")) << ReadErrorLog().constData();
}

TEST_F(LanguageFile, LoadingTwiceGivesTheSameDictionary)
{
    Write(Utf16(QStringLiteral("a=1\r\nb=2\r\n"), true));
    common::ReadUnicodeLang();
    const Dictionary first = common::LanguageDictionary();
    common::ReadUnicodeLang();
    EXPECT_EQ(common::LanguageDictionary(), first);
    EXPECT_EQ(first.size(), 2);
    EXPECT_EQ(ReadUnicodeLangErrors(), 0);
}

TEST_F(LanguageFile, FailuresEmptyTheDictionaryAndReportOnce)
{
    struct Case {
        const char *name;
        QByteArray bytes; // empty: no file at all
        int error;
    };
    const Case cases[] = {
        {"missing file", {}, platform::ErrFileNotFound},
        {"odd byte count", Utf16(QStringLiteral("a=1\r\n"), true) + 'x', 62},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        UseOwnErrorLog();
        common::languageCode = CurrentTestName() + QStringLiteral("_full");
        Write(Utf16(QStringLiteral("x=1\r\n"), true));
        common::ReadUnicodeLang();
        ASSERT_EQ(common::LanguageDictionary().size(), 1);
        QFile::remove(path);

        common::languageCode = CurrentTestName();
        if (!c.bytes.isEmpty())
            Write(c.bytes);
        common::ReadUnicodeLang();
        EXPECT_TRUE(common::LanguageDictionary().isEmpty());
        EXPECT_EQ(ReadUnicodeLangErrors(), 1);
        EXPECT_TRUE(ReadErrorLog().contains(QStringLiteral("(%1) ").arg(c.error).toUtf8())) << ReadErrorLog().constData();
        QFile::remove(path);
    }
}

TEST_F(LanguageFile, CodeWithAFolderIsRefused)
{
    Write(Utf16(QStringLiteral("a=1\r\n"), true));
    common::languageCode = QStringLiteral("../lang/") + common::languageCode;
    common::ReadUnicodeLang();
    EXPECT_TRUE(common::LanguageDictionary().isEmpty());
    EXPECT_EQ(ReadUnicodeLangErrors(), 1);
}

TEST(ShippedLanguageFiles, CarryTheHeaderKeys)
{
    struct Case {
        const char *code;
        QString globalName;
        QString localName;
    };
    const Case cases[] = {
        {"tr", QStringLiteral("Turkish"), QStringLiteral("Türkçe")},
        {"en", QStringLiteral("English"), QStringLiteral("English")},
    };
    for (const Case &c : cases) {
        const QString path = QStringLiteral(COMMON_LANG_DIR "/%1.ini").arg(QLatin1String(c.code));
        Dictionary header;
        QString key;
        QString value;
        for (const QString &line : common::ReadUnicodeLines(path)) {
            if (common::CutLanguageLine(line, key, value))
                header.insert(key, value);
        }
        EXPECT_EQ(header.value(QStringLiteral("language_global_name")), c.globalName) << c.code;
        EXPECT_EQ(header.value(QStringLiteral("language_local_name")), c.localName) << c.code;
        EXPECT_EQ(header.value(QStringLiteral("language_initials")), QLatin1String(c.code));
    }
}

TEST(ShippedLanguageFiles, AreUtf16WithByteOrderMarkAndCrLf)
{
    for (const char *code : {"tr", "en"}) {
        QFile file(QStringLiteral(COMMON_LANG_DIR "/%1.ini").arg(QLatin1String(code)));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << code;
        const QByteArray bytes = file.readAll();
        EXPECT_TRUE(bytes.startsWith("\xFF\xFE")) << code;
        EXPECT_TRUE(bytes.endsWith(QByteArray("\r\0\n\0", 4))) << code;
        EXPECT_EQ(bytes.count(QByteArray("\n\0", 2)), bytes.count(QByteArray("\r\0\n\0", 4))) << code;
    }
}

TEST(ShippedLanguageFiles, BothLanguagesDefineTheSameKeys)
{
    QHash<QString, QStringList> keys;
    for (const char *code : {"tr", "en"}) {
        QString key;
        QString value;
        for (const QString &line : common::ReadUnicodeLines(QStringLiteral(COMMON_LANG_DIR "/%1.ini").arg(QLatin1String(code)))) {
            if (common::CutLanguageLine(line, key, value)) {
                keys[QLatin1String(code)].append(key);
                EXPECT_FALSE(value.isEmpty()) << code << " " << key.toStdString();
            }
        }
        keys[QLatin1String(code)].sort();
    }
    EXPECT_EQ(keys.value(QStringLiteral("tr")), keys.value(QStringLiteral("en")));
}

class LanguageFolder : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    void Put(const QString &name, const QString &content)
    {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Utf16(content, true));
    }
    QTemporaryDir dir;
};

TEST_F(LanguageFolder, ListsIniFilesSortedWithoutRegardToCase)
{
    for (const char *name : {"tr.ini", "En.ini", "de.ini", ".ini", "FR.INI", "notes.txt", "b.ini.bak", "a.Ini"})
        Put(QLatin1String(name), QString());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub.ini")));
    EXPECT_EQ(common::ListLanguageFiles(dir.path()),
              (QStringList{QStringLiteral("de.ini"), QStringLiteral("En.ini"), QStringLiteral("tr.ini")}));
}

TEST_F(LanguageFolder, MissingFolderRaises)
{
    EXPECT_EQ(RaisedNumber([&] { common::ListLanguageFiles(dir.filePath(QStringLiteral("lang"))); }), platform::ErrPathNotFound);
}

TEST_F(LanguageFolder, HeaderTakesTheLastOfEachKeyExactly)
{
    Put(QStringLiteral("x.ini"), QStringLiteral("language_local_name=Türkçe\r\nLanguage_initials=no\r\nlanguage_global_name=Old\r\n"
                                                 "save=Kaydet\r\nlanguage_global_name=Turkish=extra\r\nlanguage_initials= tr\r\n"));
    const common::LanguageHeader header = common::ReadLanguageHeader(dir.filePath(QStringLiteral("x.ini")));
    EXPECT_EQ(header.globalName, QStringLiteral("Turkish"));
    EXPECT_EQ(header.localName, QStringLiteral("Türkçe"));
    EXPECT_EQ(header.code, QStringLiteral(" tr"));
    EXPECT_EQ(header.listText(), QStringLiteral("Türkçe (Turkish)"));

    Put(QStringLiteral("empty.ini"), QString());
    EXPECT_EQ(common::ReadLanguageHeader(dir.filePath(QStringLiteral("empty.ini"))).listText(), QStringLiteral(" ()"));
}
