#pragma once

#include <QString>
#include <QtGlobal>

namespace mdlSound {

// A chunk found by descending into it: where its contents start and the
// size its header gives.
struct RiffChunk {
    qint64 dataOffset = 0;
    quint32 size = 0;
    // Where the next chunk starts: odd-sized contents are followed by a pad byte.
    qint64 End() const { return dataOffset + size + (size & 1); }
};

// A RIFF file read the way the multimedia file functions read it: descend
// into a chunk found by search, read its contents, ascend past it. Offsets
// are 64-bit; a chunk header past the end of the file is never trusted.
class RiffFile {
public:
    ~RiffFile() { Close(); }

    // 0, or the errno that opening failed with.
    int Open(const QString &path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    qint64 Size() const { return m_size; }

    // From the current position, the first top-level "RIFF" chunk of this
    // form type; the position is left after the form type.
    bool FindRiff(const char (&formType)[5], RiffChunk &riff);
    // From the current position, the first subchunk with this id inside
    // `parent`; the position is left at its contents.
    bool FindChunk(const char (&id)[5], const RiffChunk &parent, RiffChunk &chunk);
    // Moves past the chunk and its pad byte.
    bool Ascend(const RiffChunk &chunk) { return Seek(chunk.End()); }

    // Reads up to `count` bytes; fewer at the end of the file or on an error.
    qint64 Read(char *data, qint64 count);
    bool Seek(qint64 position);
    qint64 Position() const;

private:
    bool ReadHeader(qint64 position, quint32 &id, quint32 &size);

    int m_fd = -1;
    qint64 m_size = 0;
};

} // namespace mdlSound
