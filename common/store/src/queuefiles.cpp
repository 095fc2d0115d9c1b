#include "store/queuefiles.h"

#include "platform/codepage.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "textkit/clsstring.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int ErrDeviceIO = 57;
constexpr int ErrInputPastEnd = 62;
constexpr int ErrPermissionDenied = 70;

const QString LineBreak = QStringLiteral("|");

[[noreturn]] void raiseFileError(int error, const QString &what, const QString &path)
{
    int number = ErrDeviceIO;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        number = platform::ErrPathNotFound;
        break;
    case EEXIST:
        number = platform::ErrFileAlreadyExists;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        number = ErrPermissionDenied;
        break;
    default:
        break;
    }
    throw platform::Error(number, QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error))));
}

QByteArray nativePath(const QString &folder, const QString &name)
{
    return QFile::encodeName(QDir(folder).filePath(name));
}

bool nameTaken(const QString &folder, const QString &name)
{
    struct stat st {};
    return ::lstat(nativePath(folder, name).constData(), &st) == 0;
}

// rename() without replacing an existing file. Where the file system cannot
// rename that way, a hard link does the same (it fails on an existing name).
// Returns 0 or the errno of the failure.
int renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

// A new, empty file under a name that no queue reader takes: it begins with
// "." and ends in ".tmp". Returns the open descriptor.
int createTemporaryFile(const QString &folder, QByteArray &path)
{
    static unsigned counter = 0;
    for (;;) {
        const QString name = QStringLiteral(".%1-%2.tmp").arg(::getpid()).arg(++counter);
        path = nativePath(folder, name);
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST)
            raiseFileError(errno, QStringLiteral("Cannot create a file in"), folder);
    }
}

void writeAll(int fd, const QByteArray &content, const QString &folder)
{
    const char *data = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            raiseFileError(errno, QStringLiteral("Cannot write a file in"), folder);
        data += n;
        left -= n;
    }
}

bool isQueueFileName(const char *name, size_t length)
{
    return length >= 4 && name[length - 4] == '.' && std::tolower(static_cast<unsigned char>(name[length - 3])) == 'd'
        && std::tolower(static_cast<unsigned char>(name[length - 2])) == 'a'
        && std::tolower(static_cast<unsigned char>(name[length - 1])) == 't';
}

bool isRegularFile(int dirFd, const dirent &entry)
{
    if (entry.d_type == DT_REG)
        return true;
    if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK)
        return false;
    struct stat st {};
    return ::fstatat(dirFd, entry.d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
}

} // namespace

QString QueueFolder(const QString &programFolder, const char *folder)
{
    return QDir(programFolder).filePath(QString::fromLatin1(folder));
}

SmsRecord ReadSmsRecord(QStringView line)
{
    const qsizetype first = line.indexOf(QLatin1Char(','));
    const qsizetype second = first < 0 ? -1 : line.indexOf(QLatin1Char(','), first + 1);
    const qsizetype third = second < 0 ? -1 : line.indexOf(QLatin1Char(','), second + 1);
    if (third < 0)
        return {};
    using platform::TrimBlanks;
    return SmsRecord{TrimBlanks(line.first(first)), TrimBlanks(line.sliced(first + 1, second - first - 1)),
                     TrimBlanks(line.sliced(second + 1, third - second - 1)), TrimBlanks(line.sliced(third + 1))};
}

QString SmsRecordLine(const SmsRecord &record)
{
    // A reader splits at the first three commas; one in an earlier field
    // (a sender's name such as "Bank,Inc") would shift the rest.
    const auto withoutCommas = [](QString field) { return field.replace(QLatin1Char(','), QLatin1Char(' ')); };
    QString line = withoutCommas(record.Whose) + QLatin1Char(',') + withoutCommas(record.Number) + QLatin1Char(',')
        + withoutCommas(record.MessageDate) + QLatin1Char(',') + record.Message;
    line.replace(QStringLiteral("\r\n"), LineBreak);
    line.replace(QLatin1Char('\r'), LineBreak);
    line.replace(QLatin1Char('\n'), LineBreak);
    return line;
}

void clsSMSsvc::setNumber(const QString &value) { m_number = value.left(MaxNumber); }
void clsSMSsvc::setMessage(const QString &value) { m_message = value.left(MaxMessage); }
void clsSMSsvc::setMessageDate(const QString &value) { m_messageDate = value.left(MaxMessageDate); }
void clsSMSsvc::setWhose(const QString &value) { m_whose = value.left(MaxWhose); }

void clsSMS::setUserListModAc(const QString &value) { m_userListModAc = value.left(MaxUserListModAc); }
void clsSMS::setUserListPass(const QString &value) { m_userListPass = value.left(MaxUserListPass); }
void clsSMS::setUserListName(const QString &value) { m_userListName = value.left(MaxUserListName); }
void clsSMS::setUserListUsername(const QString &value) { m_userListUsername = value.left(MaxUserListUsername); }
void clsSMS::setNumber(const QString &value) { m_number = value.left(MaxNumber); }
void clsSMS::setMessage(const QString &value) { m_message = value.left(MaxMessage); }
void clsSMS::setMessageDate(const QString &value) { m_messageDate = value.left(MaxMessageDate); }
void clsSMS::setWhose(const QString &value) { m_whose = value.left(MaxWhose); }
void clsSMS::setFfname(const QString &value) { m_ffname = value.left(MaxFfname); }

void clsSMS::Clear()
{
    m_messageDate.clear();
}

clsSMSsvc NewSMS()
{
    return clsSMSsvc();
}

clsSMS NewSMStcp()
{
    return clsSMS();
}

QString FileStamp(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyMMddHHmmss"));
}

QString RandomHexBytes(QRandomGenerator &random, int count)
{
    QString digits;
    for (int i = 0; i < count; ++i) {
        const int byte = static_cast<int>(random.generateDouble() * 256);
        digits += textkit::clsString::ZeroPad(QString::number(byte, 16).toUpper(), 2);
    }
    return digits;
}

QString UnsentFileName(const QString &stamp, const QString &hexDigits)
{
    return stamp + hexDigits + QStringLiteral(".dat");
}

QString IncomingFileName(const QString &stamp)
{
    return QStringLiteral("inc_") + stamp + QStringLiteral(".dat");
}

QByteArray UnsentFileContent(const QString &line)
{
    return platform::codepage::toAnsi(line) + "\r\n";
}

QByteArray IncomingFileContent(const QString &line)
{
    return platform::codepage::toAnsi(line);
}

QStringList ListQueueFiles(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    DIR *dir = ::opendir(path.constData());
    if (!dir)
        raiseFileError(errno, QStringLiteral("Cannot list"), folder);
    const auto closeDir = qScopeGuard([dir] { ::closedir(dir); });
    std::vector<QByteArray> names;
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const size_t length = std::strlen(entry->d_name);
        if (isQueueFileName(entry->d_name, length) && isRegularFile(::dirfd(dir), *entry))
            names.emplace_back(entry->d_name, static_cast<qsizetype>(length));
        errno = 0;
    }
    if (errno != 0)
        raiseFileError(errno, QStringLiteral("Cannot list"), folder);
    std::sort(names.begin(), names.end());
    QStringList list;
    list.reserve(static_cast<qsizetype>(names.size()));
    for (const QByteArray &name : names)
        list.append(QFile::decodeName(name));
    return list;
}

QString ReadFirstLine(const QString &path, qsizetype maxLength)
{
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        raiseFileError(errno, QStringLiteral("Cannot open"), path);
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            raiseFileError(errno, QStringLiteral("Cannot read"), path);
        if (n == 0)
            break;
        const qsizetype start = bytes.size();
        bytes.append(chunk, n);
        const qsizetype end = std::find_if(bytes.cbegin() + start, bytes.cend(), [](char c) { return c == '\r' || c == '\n'; })
            - bytes.cbegin();
        if (end < bytes.size() && (maxLength < 0 || end <= maxLength)) {
            bytes.truncate(end);
            return platform::codepage::fromAnsi(bytes);
        }
        if (maxLength >= 0 && bytes.size() > maxLength)
            throw platform::Error(ErrInputPastEnd,
                                  QStringLiteral("%1 does not begin with a line of at most %2 characters").arg(path).arg(maxLength));
    }
    if (bytes.isEmpty())
        throw platform::Error(ErrInputPastEnd, QStringLiteral("Input past end of file: %1 is empty").arg(path));
    return platform::codepage::fromAnsi(bytes);
}

AsideQueueFile::AsideQueueFile(AsideQueueFile &&other) noexcept
    : m_folder(std::move(other.m_folder)), m_path(std::exchange(other.m_path, QByteArray()))
{
}

AsideQueueFile &AsideQueueFile::operator=(AsideQueueFile &&other) noexcept
{
    if (this != &other) {
        Discard();
        m_folder = std::move(other.m_folder);
        m_path = std::exchange(other.m_path, QByteArray());
    }
    return *this;
}

AsideQueueFile::~AsideQueueFile()
{
    Discard();
}

void AsideQueueFile::Discard() noexcept
{
    if (!m_path.isEmpty())
        ::unlink(m_path.constData());
    m_path.clear();
}

AsideQueueFile WriteQueueFileAside(const QString &folder, const QByteArray &content, const QString &temporaryFolder)
{
    AsideQueueFile file;
    file.m_folder = folder;
    const int fd = createTemporaryFile(temporaryFolder.isEmpty() ? folder : temporaryFolder, file.m_path);
    bool open = true;
    const auto closeFile = qScopeGuard([&] {
        if (open)
            ::close(fd);
    });
    writeAll(fd, content, folder);
    if (::fsync(fd) != 0)
        raiseFileError(errno, QStringLiteral("Cannot write a file in"), folder);
    open = false;
    if (::close(fd) != 0)
        raiseFileError(errno, QStringLiteral("Cannot write a file in"), folder);
    return file;
}

QString PlaceQueueFile(AsideQueueFile &file, const std::function<QString()> &nextName)
{
    if (file.m_path.isEmpty())
        throw platform::Error(platform::ErrInvalidCall, QStringLiteral("The queue file was already placed or discarded"));
    for (;;) {
        const QString name = nextName();
        const int error = renameNoReplace(file.m_path, nativePath(file.m_folder, name));
        if (error == 0) {
            file.m_path.clear();
            return name;
        }
        if (error != EEXIST)
            raiseFileError(error, QStringLiteral("Cannot create"), QDir(file.m_folder).filePath(name));
    }
}

QString CreateQueueFile(const QString &folder, const QByteArray &content, const std::function<QString()> &nextName,
                        const QString &temporaryFolder)
{
    AsideQueueFile file = WriteQueueFileAside(folder, content, temporaryFolder);
    return PlaceQueueFile(file, nextName);
}

void MoveQueueFile(const QString &fromFolder, const QString &name, const QString &toFolder, const QString &toName)
{
    const int error = renameNoReplace(nativePath(fromFolder, name), nativePath(toFolder, toName));
    if (error != 0)
        raiseFileError(error, QStringLiteral("Cannot move %1 to").arg(QDir(fromFolder).filePath(name)),
                       QDir(toFolder).filePath(toName));
}

QString SetAsideQueueFile(const QString &folder, const QString &name, const QString &suffix)
{
    const QString base = name + QLatin1Char('.') + suffix;
    for (int n = 1;; ++n) {
        const QString aside = n == 1 ? base : QStringLiteral("%1-%2").arg(base).arg(n);
        const int error = renameNoReplace(nativePath(folder, name), nativePath(folder, aside));
        if (error == 0)
            return aside;
        if (error != EEXIST)
            raiseFileError(error, QStringLiteral("Cannot set aside"), QDir(folder).filePath(name));
    }
}

std::function<QString()> UnsentFileNames(const QString &programFolder, QRandomGenerator &random, int randomBytes)
{
    return [sent = QueueFolder(programFolder, SentFolder), &random, randomBytes] {
        for (;;) {
            const QString name = UnsentFileName(FileStamp(QDateTime::currentDateTime()), RandomHexBytes(random, randomBytes));
            if (!nameTaken(sent, name))
                return name;
        }
    };
}

QString CreateUnsentFile(const QString &programFolder, QRandomGenerator &random, const QString &line)
{
    return CreateQueueFile(QueueFolder(programFolder, UnsentFolder), UnsentFileContent(line), UnsentFileNames(programFolder, random, 2));
}

QString MessageDateText(const QDateTime &when)
{
    return when.toString(QStringLiteral("yy/MM/dd HH:mm:ss"));
}
