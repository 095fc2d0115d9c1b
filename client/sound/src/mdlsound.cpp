#include "clientsound/mdlsound.h"

#include "rifffile.h"
#include "waveout.h"

#include "common/boxes.h"

#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace mdlSound {

namespace {

// The shortest "fmt " chunk that holds the whole PCM format.
constexpr quint32 kMinFormatChunk = 16;
constexpr int kFormatRecordSize = 18;
// A buffer of 0.1 s needs far less; only a damaged or hostile header asks
// for more, and the five buffers must stay allocatable.
constexpr double kMaxBufferSize = 4 * 1024 * 1024;

// Receives the device's notices on the GUI thread. A child of the window,
// so notices still queued when the window goes die with it; the device is
// closed before its notifiers, which are children of this object, go.
class WaveNotices final : public QObject {
public:
    using QObject::QObject;
    ~WaveNotices() override;
};

struct Module {
    SoundState state;
    QPointer<WaveNotices> notices;
    RiffFile waveFile;
    std::unique_ptr<WaveOut> device;
    // Numbers the plays: a notice queued for an earlier play is void.
    quint64 play = 0;
};

Module &M()
{
    static Module module;
    return module;
}

void ShowSoundBox(const QString &text)
{
    common::ShowBox({QMessageBox::NoIcon, kSoundBoxTitle, text, QMessageBox::Ok});
}

void CloseDevice()
{
    M().device.reset();
}

WaveNotices::~WaveNotices()
{
    M().state.playing = false;
    CloseDevice();
}

quint16 Little16(const quint8 *bytes)
{
    return quint16(bytes[0] | bytes[1] << 8);
}

quint32 Little32(const quint8 *bytes)
{
    return quint32(bytes[0]) | quint32(bytes[1]) << 8 | quint32(bytes[2]) << 16 | quint32(bytes[3]) << 24;
}

WaveFormatEx FormatRecord(const std::array<quint8, kFormatBufferSize> &bytes)
{
    static_assert(kFormatRecordSize <= kFormatBufferSize);
    WaveFormatEx format;
    format.formatTag = Little16(&bytes[0]);
    format.channels = Little16(&bytes[2]);
    format.samplesPerSec = Little32(&bytes[4]);
    format.avgBytesPerSec = Little32(&bytes[8]);
    format.blockAlign = Little16(&bytes[12]);
    format.bitsPerSample = Little16(&bytes[14]);
    format.extraSize = Little16(&bytes[16]);
    return format;
}

// Reads the "fmt " chunk into the cleared buffer: at most the 50 bytes it
// holds (the rest of a longer chunk is skipped on the way out). False for a
// chunk too short to be a format, cut off by the end of the file, or whose
// block align, channel count or rate is zero: nothing could be played from it.
bool ReadFormat(RiffFile &file, const RiffChunk &chunk, SoundState &state)
{
    const qint64 wanted = std::min<qint64>(chunk.size, kFormatBufferSize);
    if (chunk.size < kMinFormatChunk
        || file.Read(reinterpret_cast<char *>(state.formatBuffer.data()), wanted) != wanted)
        return false;
    state.format = FormatRecord(state.formatBuffer);
    return state.format.blockAlign != 0 && state.format.channels != 0 && state.format.samplesPerSec != 0;
}

// Forgets the format and data of the file before. A file that fails to open
// leaves nothing of it behind: later plays then report that the device
// cannot take the sound, as after a failed start, instead of opening the
// device on the old format with no data to play.
void ForgetFile(SoundState &state)
{
    state.formatBuffer.fill(0);
    state.format = {};
    state.dataOffset = 0;
    state.dataSize = 0;
}

// 0.1 s of sound times the channel count (so 0.2 s for stereo), rounded
// half to even and cut to whole blocks; never less than one block.
quint32 BufferSize(const WaveFormatEx &format)
{
    const double exact = double(format.blockAlign) * double(format.samplesPerSec) * double(format.channels) * 0.1;
    auto size = quint32(std::min(std::nearbyint(exact), kMaxBufferSize));
    size -= size % format.blockAlign;
    return std::max<quint32>(size, format.blockAlign);
}

void WaveDone(quint64 play, int header);

// A wake from the device: each buffer it consumed is one done notice.
void ServiceDevice()
{
    Module &m = M();
    if (!m.device)
        return;
    const quint64 play = m.play;
    for (const int header : m.device->TakeDone())
        WaveDone(play, header);
    if (m.device && (m.device->Broken() || (!m.state.playing && m.device->Finished()))) {
        m.state.playing = false;
        CloseDevice();
    }
}

// A buffer is free: refill it with the next piece of data and queue it, or,
// with no data left, close the device once it has played everything.
void WaveDone(quint64 play, int header)
{
    Module &m = M();
    SoundState &s = m.state;
    if (play != m.play || !m.device)
        return;
    if (!s.playing) {
        if (m.device->Finished())
            CloseDevice();
        return;
    }
    const qint64 remaining = std::max<qint64>(0, s.dataOffset + s.dataSize - m.waveFile.Position());
    qint64 count = remaining;
    if (s.bufferSize < remaining)
        count = s.bufferSize;
    else
        s.playing = false;
    std::vector<char> &buffer = s.buffers[size_t(header)];
    count = std::min<qint64>(count, qint64(buffer.size()));
    const qint64 read = m.waveFile.Read(buffer.data(), count);
    // A file cut short (or closed) ends the play instead of queuing nothing
    // for ever.
    if (read < count || read == 0)
        s.playing = false;
    m.device->Write(header, buffer.data(), read);
    if (!s.playing)
        m.device->Drain();
    if (m.device->Broken()) {
        s.playing = false;
        CloseDevice();
    }
}

} // namespace

const SoundState &State()
{
    return M().state;
}

void InitSound(QWidget *window)
{
    Module &m = M();
    delete m.notices.data();
    m.notices = new WaveNotices(window);
    m.state.playing = false;
    m.state.fileOpen = false;
    m.state.startPosition = 0;
}

void CloseWaveFile()
{
    Module &m = M();
    m.waveFile.Close();
    m.state.fileOpen = false;
}

void OpenWaveFile(const QString &path)
{
    Module &m = M();
    SoundState &s = m.state;
    CloseWaveFile();
    ForgetFile(s);
    if (path.isEmpty())
        return;
    if (const int rc = m.waveFile.Open(path); rc != 0) {
        ShowSoundBox(QStringLiteral("Error opening input file, rc = ") + QString::number(rc));
        return;
    }
    const auto fail = [&s](const char *text) {
        CloseWaveFile();
        ForgetFile(s);
        ShowSoundBox(QString::fromLatin1(text));
    };
    RiffChunk riff;
    if (!m.waveFile.FindRiff("WAVE", riff))
        return fail("Not a wave file");
    RiffChunk format;
    if (!m.waveFile.FindChunk("fmt ", riff, format))
        return fail("Couldn't get format chunk");
    if (!ReadFormat(m.waveFile, format, s))
        return fail("Error reading format");
    m.waveFile.Ascend(format);
    // Searched after the format, as the data must follow it.
    RiffChunk data;
    if (!m.waveFile.FindChunk("data", riff, data))
        return fail("Couldn't get data chunk");
    s.dataOffset = data.dataOffset;
    // A cut-off file, or the 0xFFFFFFFF of one written as a stream, holds
    // less than its header says.
    s.dataSize = quint32(std::min<qint64>(data.size, m.waveFile.Size() - data.dataOffset));
    s.bufferSize = BufferSize(s.format);
    for (std::vector<char> &buffer : s.buffers)
        buffer = std::vector<char>(s.bufferSize);
    s.fileOpen = true;
}

bool PlayWave()
{
    Module &m = M();
    SoundState &s = m.state;
    if (s.playing)
        return true;
    if (!m.notices)
        return false;
    // A device still draining an earlier play is released first: no buffer
    // serves two plays.
    CloseDevice();
    const int error = WaveOut::Open(s, m.notices, &ServiceDevice, m.device);
    if (error < 0) {
        ShowSoundBox(QString::fromLocal8Bit(snd_strerror(error)));
        return false;
    }
    s.playing = true;
    s.startPosition = m.waveFile.IsOpen() ? std::max<qint64>(0, m.waveFile.Position() - s.dataOffset) : 0;
    // The first five buffers are filled exactly like refills.
    const quint64 play = ++m.play;
    for (int header = 0; header < kBufferCount; ++header)
        QMetaObject::invokeMethod(m.notices, [play, header] { WaveDone(play, header); }, Qt::QueuedConnection);
    return true;
}

void StopWave()
{
    M().state.playing = false;
    SeekWave(GetWavePosition());
    CloseDevice();
}

void SeekWave(qint64 frame)
{
    Module &m = M();
    const SoundState &s = m.state;
    if (!s.fileOpen || frame < 0 || frame >= qint64(s.dataSize))
        return;
    const qint64 position = frame * s.format.blockAlign;
    if (position < qint64(s.dataSize))
        m.waveFile.Seek(s.dataOffset + position);
}

qint64 GetWavePosition()
{
    Module &m = M();
    const SoundState &s = m.state;
    if (s.format.blockAlign == 0)
        return 0;
    const qint64 played = m.device ? m.device->BytesPlayed() : 0;
    return (s.startPosition + played) / s.format.blockAlign;
}

bool IsWaveDeviceOpen()
{
    Module &m = M();
    return m.device && m.device->AnswersStatus();
}

void PlayIncomingSound()
{
    if (IsWaveDeviceOpen())
        StopWave();
    SeekWave(0);
    PlayWave();
}

} // namespace mdlSound
