#include "rifffile.h"

#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mdlSound {

namespace {

quint32 FourCC(const char (&code)[5])
{
    return quint32(quint8(code[0])) | quint32(quint8(code[1])) << 8 | quint32(quint8(code[2])) << 16
        | quint32(quint8(code[3])) << 24;
}

quint32 LittleEndian32(const unsigned char *bytes)
{
    return quint32(bytes[0]) | quint32(bytes[1]) << 8 | quint32(bytes[2]) << 16 | quint32(bytes[3]) << 24;
}

} // namespace

int RiffFile::Open(const QString &path)
{
    Close();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        return error;
    }
    m_fd = fd;
    m_size = info.st_size;
    return 0;
}

void RiffFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_size = 0;
}

bool RiffFile::ReadHeader(qint64 position, quint32 &id, quint32 &size)
{
    unsigned char header[8];
    if (position < 0 || position + 8 > m_size || !Seek(position) || Read(reinterpret_cast<char *>(header), 8) != 8)
        return false;
    id = LittleEndian32(header);
    size = LittleEndian32(header + 4);
    return true;
}

bool RiffFile::FindRiff(const char (&formType)[5], RiffChunk &riff)
{
    static const quint32 riffId = FourCC("RIFF");
    const quint32 wanted = FourCC(formType);
    // Every step moves at least one header further, so a bad size ends the
    // search at the end of the file rather than looping.
    for (qint64 position = Position(); position >= 0;) {
        quint32 id = 0;
        quint32 size = 0;
        if (!ReadHeader(position, id, size))
            return false;
        const RiffChunk chunk{position + 8, size};
        unsigned char form[4];
        if (id == riffId && Read(reinterpret_cast<char *>(form), 4) == 4 && LittleEndian32(form) == wanted) {
            riff = chunk;
            return true;
        }
        position = chunk.End();
    }
    return false;
}

bool RiffFile::FindChunk(const char (&id)[5], const RiffChunk &parent, RiffChunk &chunk)
{
    const quint32 wanted = FourCC(id);
    const qint64 end = qMin(parent.dataOffset + qint64(parent.size), m_size);
    for (qint64 position = Position(); position >= 0 && position + 8 <= end;) {
        quint32 found = 0;
        quint32 size = 0;
        if (!ReadHeader(position, found, size))
            return false;
        const RiffChunk candidate{position + 8, size};
        if (found == wanted) {
            chunk = candidate;
            return true;
        }
        position = candidate.End();
    }
    return false;
}

qint64 RiffFile::Read(char *data, qint64 count)
{
    qint64 total = 0;
    while (m_fd >= 0 && total < count) {
        const ssize_t n = ::read(m_fd, data + total, size_t(count - total));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += n;
    }
    return total;
}

bool RiffFile::Seek(qint64 position)
{
    return m_fd >= 0 && ::lseek(m_fd, off_t(position), SEEK_SET) == off_t(position);
}

qint64 RiffFile::Position() const
{
    return m_fd >= 0 ? qint64(::lseek(m_fd, 0, SEEK_CUR)) : -1;
}

} // namespace mdlSound
