#include "platform/inifile.h"

#include "platform/codepage.h"
#include "platform/error.h"

#include <QFile>
#include <QSaveFile>
// Bytes pass through untouched: the code page is applied on either side.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h> // CSimpleIniA matches sections and keys without case
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// What identifies one version of the file on disk.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileStamp of(const QByteArray &path)
    {
        FileStamp s;
        struct stat st {};
        if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode))
            return s;
        s.exists = true;
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.modified = st.st_mtim;
        return s;
    }

    bool operator==(const FileStamp &o) const
    {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size
            && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

// The parsed copy holds values as the file spells them. A value with blanks
// at either end, or one that itself begins and ends with a quote, is stored
// within a pair of quotes; reading strips one outer pair. Done here rather
// than by SimpleIni, which writes its parsed values back without the quotes
// they were read with.
bool IsQuoted(QByteArrayView text)
{
    return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

QByteArray StoredValue(const QString &value)
{
    QByteArray bytes = codepage::toAnsi(value);
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    if (IsQuoted(bytes) || (!bytes.isEmpty() && (blank(bytes.front()) || blank(bytes.back()))))
        bytes = '"' + bytes + '"';
    return bytes;
}

QString ReadBackValue(QByteArrayView stored)
{
    return codepage::fromAnsi(IsQuoted(stored) ? stored.sliced(1, stored.size() - 2) : stored);
}

void configure(CSimpleIniA &ini)
{
    ini.SetUnicode(false);
    ini.SetMultiKey(false);
    ini.SetMultiLine(false);
    ini.SetSpaces(false);
    ini.SetQuotes(false); // quotes are handled by StoredValue and ReadBackValue
}

} // namespace

struct IniFile::Impl {
    QString path;
    mutable CSimpleIniA ini;
    mutable FileStamp loaded;

    QByteArray nativePath() const { return QFile::encodeName(path); }

    // Brings the parsed copy up to date with the file; true when it exists.
    bool refresh() const
    {
        const FileStamp now = FileStamp::of(nativePath());
        if (now == loaded)
            return now.exists;
        ini.Reset();
        configure(ini);
        if (now.exists) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly))
                return false;
            const QByteArray data = f.readAll();
            ini.LoadData(data.constData(), static_cast<size_t>(data.size()));
        }
        loaded = now;
        return now.exists;
    }
};

IniFile::IniFile() : d(std::make_unique<Impl>())
{
    configure(d->ini);
}

IniFile::~IniFile() = default;

QString IniFile::IniPath() const
{
    return d->path;
}

void IniFile::setIniPath(const QString &path)
{
    d->path = path;
    d->loaded = FileStamp{};
    d->ini.Reset();
}

int IniFile::IniExists() const
{
    QFile f(d->path);
    if (!FileStamp::of(d->nativePath()).exists || !f.open(QIODevice::ReadOnly))
        return 0;
    return 1;
}

QString IniFile::ReadValue(const QString &section, const QString &key, const QString &defaultValue) const
{
    if (!d->refresh())
        return defaultValue;
    const char *value = d->ini.GetValue(codepage::toAnsi(section).constData(), codepage::toAnsi(key).constData(), nullptr);
    return value ? ReadBackValue(value) : defaultValue;
}

void IniFile::WriteValue(const QString &section, const QString &key, const QString &value)
{
    d->refresh();
    d->ini.SetValue(codepage::toAnsi(section).constData(), codepage::toAnsi(key).constData(),
                    StoredValue(value).constData());
    std::string text;
    if (d->ini.Save(text) < 0)
        throw Error(ErrInvalidCall, QStringLiteral("Cannot format settings file %1").arg(d->path));
    // Written aside and renamed, so a reader never sees half a file. The
    // new file keeps the old one's mode (QSaveFile sees to that) and group,
    // so the programs that share the file can still read and write it.
    struct stat old {};
    const bool existed = ::stat(QFile::encodeName(d->path).constData(), &old) == 0;
    QSaveFile out(d->path);
    const bool opened = out.open(QIODevice::WriteOnly);
    if (opened && existed) {
        // A writer outside the file's group cannot give it that group; the
        // file then takes the writer's, as any new file would.
        [[maybe_unused]] const int grouped = ::fchown(out.handle(), static_cast<uid_t>(-1), old.st_gid);
    }
    const bool written = opened && out.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size())
        && out.commit();
    // The next read takes the file as it is: with the new value, or, when
    // the write failed, without it.
    d->loaded = FileStamp{};
    if (!written) {
        d->ini.Reset();
        configure(d->ini);
        throw Error(ErrPathNotFound, QStringLiteral("Cannot write settings file %1: %2").arg(d->path, out.errorString()));
    }
}

} // namespace platform
