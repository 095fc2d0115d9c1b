#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <vector>

class QWidget;

// The incoming-message sound: a RIFF/WAVE file opened once at start and
// streamed from disk to ALSA's "default" PCM in five rotating buffers. The
// device's notices arrive through the event loop and are handled on the GUI
// thread, between other events. State is module-wide, one per process.
namespace mdlSound {

constexpr int kFormatBufferSize = 50;
constexpr int kBufferCount = 5;

// The first 18 bytes of the file's "fmt " chunk.
struct WaveFormatEx {
    quint16 formatTag = 0;
    quint16 channels = 0;
    quint32 samplesPerSec = 0;
    quint32 avgBytesPerSec = 0;
    quint16 blockAlign = 0;
    quint16 bitsPerSample = 0;
    quint16 extraSize = 0;
};

// What the module holds between calls (read-only outside the module).
struct SoundState {
    bool fileOpen = false;
    // The bytes of the "fmt " chunk as read; the device is opened with them.
    std::array<quint8, kFormatBufferSize> formatBuffer{};
    WaveFormatEx format;
    qint64 dataOffset = 0;
    // Never more than the file holds after the data offset.
    quint32 dataSize = 0;
    quint32 bufferSize = 0;
    std::array<std::vector<char>, kBufferCount> buffers;
    // Data remains to be queued.
    bool playing = false;
    // Bytes of the data chunk before the point where the current play began.
    qint64 startPosition = 0;
};
const SoundState &State();

// Takes the window the device's notices go to (they die with it) and
// clears playing, file open and the start position.
void InitSound(QWidget *window);
// Closes any open file, then opens and parses `path` and sizes the buffers.
// A failure is shown in a box and leaves no file open.
void OpenWaveFile(const QString &path);
void CloseWaveFile();
// Starts streaming from the current file position; true when playing.
bool PlayWave();
// Stops at once: the device drops what it holds and is closed, and the file
// position moves to the frame that was playing.
void StopWave();
// Moves the file position to that frame of the data; out of range is ignored.
void SeekWave(qint64 frame);
// The frame being played.
qint64 GetWavePosition();
bool IsWaveDeviceOpen();

// Plays the sound from the beginning, stopping a play in progress; failures
// of the steps are ignored (each shows its own box).
void PlayIncomingSound();

// The module's boxes: OK only, titled with the program's default title.
inline const QString kSoundBoxTitle = QStringLiteral("TalvinorSMSClient");

} // namespace mdlSound
