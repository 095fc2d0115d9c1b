#include "platform/error.h"
#include "platform/inifile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::IniFile;

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Test.ini"));
    IniFile ini;
    void SetUp() override { ini.setIniPath(path); }
};

} // namespace

TEST_F(IniFileTest, MissingFileGivesDefaultAndCreatesNothing)
{
    EXPECT_EQ(ini.IniExists(), 0);
    EXPECT_EQ(ini.ReadValue(QStringLiteral("Service Settings"), QStringLiteral("port"), QStringLiteral("16395")),
              QStringLiteral("16395"));
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(IniFileTest, WritingKeepsOtherSectionsAndKeys)
{
    writeAll(path, "; kept\n[Other]\nname=Ann\n[Service Settings]\nport=1234\nsms_check_interval=60\n");
    ini.WriteValue(QStringLiteral("Service Settings"), QStringLiteral("allowed_time_interval"), QStringLiteral("09:00,17:00"));
    ini.WriteValue(QStringLiteral("Service Settings"), QStringLiteral("port"), QStringLiteral("4321"));

    IniFile fresh;
    fresh.setIniPath(path);
    EXPECT_EQ(fresh.ReadValue(QStringLiteral("Other"), QStringLiteral("name"), {}), QStringLiteral("Ann"));
    EXPECT_EQ(fresh.ReadValue(QStringLiteral("Service Settings"), QStringLiteral("sms_check_interval"), {}), QStringLiteral("60"));
    EXPECT_EQ(fresh.ReadValue(QStringLiteral("Service Settings"), QStringLiteral("port"), {}), QStringLiteral("4321"));
    EXPECT_EQ(fresh.ReadValue(QStringLiteral("Service Settings"), QStringLiteral("allowed_time_interval"), {}),
              QStringLiteral("09:00,17:00"));
    EXPECT_TRUE(readAll(path).contains("; kept"));
}

TEST_F(IniFileTest, ValuesReadBackUnchanged)
{
    const QString values[] = {
        QStringLiteral("plain"), QStringLiteral("  blanks at both ends  "), QStringLiteral("a=b=c"),
        QStringLiteral("\u011Fü\u015F"), QStringLiteral(""), QStringLiteral("; not a comment"),
        // Quotes at both ends are part of the value, not a quoting of it.
        QStringLiteral("\"quoted\""), QStringLiteral("\"\""), QStringLiteral("\"a\" or \"b\""),
        QStringLiteral(" \"blank and quote\""), QStringLiteral("\"half"),
    };
    int i = 0;
    for (const QString &v : values)
        ini.WriteValue(QStringLiteral("S"), QStringLiteral("k%1").arg(i++), v);
    IniFile fresh;
    fresh.setIniPath(path);
    i = 0;
    for (const QString &v : values)
        EXPECT_EQ(fresh.ReadValue(QStringLiteral("S"), QStringLiteral("k%1").arg(i++), QStringLiteral("default")), v);
}

TEST_F(IniFileTest, SectionsAndKeysMatchWithoutCase)
{
    writeAll(path, "[VorbexDll]\nCOM_PORT=3\n");
    EXPECT_EQ(ini.ReadValue(QStringLiteral("vorbexdll"), QStringLiteral("com_port"), QStringLiteral("1")), QStringLiteral("3"));
}

TEST_F(IniFileTest, AChangeOnDiskIsSeenAtTheNextRead)
{
    writeAll(path, "[S]\nk=one\n");
    EXPECT_EQ(ini.ReadValue(QStringLiteral("S"), QStringLiteral("k"), {}), QStringLiteral("one"));
    IniFile other;
    other.setIniPath(path);
    other.WriteValue(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("two"));
    EXPECT_EQ(ini.ReadValue(QStringLiteral("S"), QStringLiteral("k"), {}), QStringLiteral("two"));
}

TEST_F(IniFileTest, StoredInTheAnsiCodePage)
{
    ini.WriteValue(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("\u011F"));
    EXPECT_TRUE(readAll(path).contains("k=\xF0"));
}

TEST_F(IniFileTest, WriteIntoMissingFolderRaises)
{
    ini.setIniPath(dir.filePath(QStringLiteral("no/such/folder/x.ini")));
    EXPECT_THROW(ini.WriteValue(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v")), platform::Error);
}

TEST_F(IniFileTest, ReplacedFileKeepsItsModeAndGroup)
{
    writeAll(path, "[S]\na=1\n");
    const QByteArray native = QFile::encodeName(path);
    ASSERT_EQ(::chmod(native.constData(), 0660), 0);
    // Another group this process may give the file: any group for root,
    // else one of its supplementary groups.
    gid_t groups[64];
    const int count = ::getgroups(64, groups);
    gid_t other = ::getegid();
    if (::geteuid() == 0)
        other = ::getegid() == 1 ? 2 : 1;
    for (int i = 0; i < count; ++i)
        if (groups[i] != ::getegid())
            other = groups[i];
    ASSERT_EQ(::chown(native.constData(), static_cast<uid_t>(-1), other), 0);

    ini.WriteValue(QStringLiteral("S"), QStringLiteral("b"), QStringLiteral("2"));
    struct stat st {};
    ASSERT_EQ(::stat(native.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0660u);
    EXPECT_EQ(st.st_gid, other);
    EXPECT_EQ(readAll(path), QByteArray("[S]\na=1\nb=2\n"));
}

TEST_F(IniFileTest, AFailedWriteLeavesNoValueBehindInMemory)
{
    // A file that exists on a file system nobody can write, root included.
    IniFile readOnly;
    readOnly.setIniPath(QStringLiteral("/proc/version"));
    ASSERT_GT(readOnly.IniExists(), 0);
    EXPECT_THROW(readOnly.WriteValue(QStringLiteral("S"), QStringLiteral("a"), QStringLiteral("2")), platform::Error);
    EXPECT_EQ(readOnly.ReadValue(QStringLiteral("S"), QStringLiteral("a"), QStringLiteral("none")), QStringLiteral("none"));
}
