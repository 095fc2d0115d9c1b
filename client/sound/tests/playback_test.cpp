#include "wavefixture.h"

#include <QFile>
#include <QTest>

namespace {

const WaveFields kMono16; // 22,050 Hz: buffers of 4410 bytes
constexpr int kBuffer = 4410;

using Playback = SoundTest;

TEST_F(Playback, PlaysExactlyTheDataChunkOnce)
{
    UseCaptureDevice();
    const QByteArray data = Samples(7 * kBuffer + 1234);
    OpenWave(Riff("WAVE", Chunk("fmt ", FormatBody(kMono16)) + Chunk("data", data) + Chunk("LIST", "tail")));
    ASSERT_TRUE(mdlSound::PlayWave());
    EXPECT_TRUE(mdlSound::IsWaveDeviceOpen());
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    EXPECT_FALSE(mdlSound::State().playing);
    EXPECT_EQ(Captured(), data);
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(Playback, AFileShorterThanOneBufferPlaysOnceAndTheDeviceCloses)
{
    UseCaptureDevice();
    const QByteArray data = Samples(300);
    OpenWave(Wave(kMono16, data));
    ASSERT_TRUE(mdlSound::PlayWave());
    RunQueuedNotices(); // the first reads it all; the other four find playing clear
    EXPECT_FALSE(mdlSound::State().playing);
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    EXPECT_EQ(Captured(), data);
}

TEST_F(Playback, TwoMessagesOneAfterTheOtherPlayTheSoundTwice)
{
    UseCaptureDevice();
    const QByteArray data = Samples(3 * kBuffer + 10);
    OpenWave(Wave(kMono16, data));
    mdlSound::PlayIncomingSound();
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    mdlSound::PlayIncomingSound();
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    EXPECT_EQ(Captured(), data + data);
}

TEST_F(Playback, AMessageDuringPlaybackStartsTheSoundAgain)
{
    UseCaptureDevice();
    const QByteArray data = Samples(20 * kBuffer);
    OpenWave(Wave(kMono16, data));
    mdlSound::PlayIncomingSound();
    RunQueuedNotices();
    ASSERT_TRUE(mdlSound::IsWaveDeviceOpen());
    mdlSound::PlayIncomingSound();
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    const QByteArray captured = Captured();
    const qsizetype prefix = captured.size() - data.size();
    ASSERT_GT(prefix, 0);
    EXPECT_LT(prefix, data.size());
    EXPECT_EQ(captured.left(prefix), data.left(prefix));
    EXPECT_EQ(captured.mid(prefix), data);
}

TEST_F(Playback, MessagesBackToBackPlayNoBufferTwice)
{
    UseCaptureDevice();
    const QByteArray data = Samples(8 * kBuffer);
    OpenWave(Wave(kMono16, data));
    // The first play's five queued notices are still waiting when it stops.
    mdlSound::PlayIncomingSound();
    mdlSound::PlayIncomingSound();
    mdlSound::PlayIncomingSound();
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    EXPECT_EQ(Captured(), data);
}

TEST_F(Playback, StopWaveKeepsThePlaceThatWasPlaying)
{
    UseCaptureDevice();
    const QByteArray data = Samples(12 * kBuffer);
    OpenWave(Wave(kMono16, data));
    ASSERT_TRUE(mdlSound::PlayWave());
    RunQueuedNotices();
    const qint64 frame = mdlSound::GetWavePosition();
    EXPECT_GT(frame, 0);
    mdlSound::StopWave();
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
    EXPECT_FALSE(mdlSound::State().playing);
    // What the device had taken was played; the rest follows on the next play.
    EXPECT_EQ(Captured().size(), frame * 2);
    ASSERT_TRUE(mdlSound::PlayWave());
    EXPECT_EQ(mdlSound::State().startPosition, frame * 2);
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    EXPECT_EQ(Captured(), data);
}

TEST_F(Playback, SeekWaveChoosesWhereThePlayStarts)
{
    const QByteArray data = Samples(2 * kBuffer);
    const qint64 frames = data.size() / 2;
    const struct {
        qint64 seekTo;
        qint64 playsFrom;
    } cases[] = {{0, 0}, {1001, 1001}, {frames - 1, frames - 1}, {frames, 0}, {-1, 0}, {qint64(1) << 40, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.seekTo);
        UseCaptureDevice();
        QFile::remove(m_dir.filePath(QStringLiteral("capture.raw")));
        OpenWave(Wave(kMono16, data)); // at the start of the data
        mdlSound::SeekWave(c.seekTo);
        ASSERT_TRUE(mdlSound::PlayWave());
        ASSERT_TRUE(WaitUntilWaveDeviceClosed());
        EXPECT_EQ(Captured(), data.mid(c.playsFrom * 2));
    }
}

TEST_F(Playback, TheDeviceErrorIsShownAtEveryMessage)
{
    UseAlsaConfig("pcm.default { type hw card 7 }\n");
    OpenWave(Wave(kMono16, Samples(1000)));
    mdlSound::PlayIncomingSound();
    mdlSound::PlayIncomingSound();
    ASSERT_EQ(Boxes().size(), 2);
    EXPECT_EQ(Boxes()[0], Boxes()[1]);
    EXPECT_FALSE(Boxes()[0].isEmpty());
    EXPECT_EQ(Titles()[0], QStringLiteral("TalvinorSMSClient"));
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
    EXPECT_FALSE(mdlSound::State().playing);
}

TEST_F(Playback, AFileThatFailedAtStartShowsTheDeviceErrorAtEveryMessage)
{
    OpenWave(Wave({1, 0, 22050, 2, 16}, Samples(100)));
    ASSERT_EQ(Boxes(), QStringList{QStringLiteral("Error reading format")});
    mdlSound::PlayIncomingSound();
    mdlSound::PlayIncomingSound();
    EXPECT_EQ(Boxes(), (QStringList{QStringLiteral("Error reading format"), QStringLiteral("Invalid argument"),
                                    QStringLiteral("Invalid argument")}));
}

TEST_F(Playback, AFailedOpenLeavesNothingOfTheFileBefore)
{
    const struct {
        const char *name;
        QString path;
        const char *box;
    } cases[] = {
        {"missing", m_dir.filePath(QStringLiteral("missing.wav")), "Error opening input file, rc = 2"},
        {"not a wave file", WriteFile(QStringLiteral("avi.wav"), Riff("AVI ", Chunk("data", Samples(100)))),
         "Not a wave file"},
        {"no data chunk", WriteFile(QStringLiteral("nodata.wav"), Riff("WAVE", Chunk("fmt ", FormatBody(kMono16)))),
         "Couldn't get data chunk"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UseCaptureDevice();
        QFile::remove(m_dir.filePath(QStringLiteral("capture.raw")));
        OpenWave(Wave(kMono16, Samples(1000)));
        ASSERT_TRUE(mdlSound::State().fileOpen);
        m_recorder.boxes.clear();
        mdlSound::OpenWaveFile(c.path);
        // As after a failed start: each play reports that the device cannot
        // take the sound, instead of playing nothing on the earlier format.
        mdlSound::PlayIncomingSound();
        EXPECT_EQ(Boxes(), (QStringList{QString::fromLatin1(c.box), QStringLiteral("Invalid argument")}));
        EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
        EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("capture.raw"))));
    }
}

struct SampleFormat {
    const char *name;
    QByteArray format;
    bool plays;
};

TEST_F(Playback, PlaysTheSampleFormatsALSAKnows)
{
    const auto fields = [](quint16 tag, quint16 channels, quint16 blockAlign, quint16 bits) {
        return WaveFields{tag, channels, 8000, blockAlign, bits};
    };
    const SampleFormat cases[] = {
        {"8-bit PCM", FormatBody(fields(1, 1, 1, 8)), true},
        {"16-bit PCM stereo", FormatBody(fields(1, 2, 4, 16)), true},
        {"24-bit PCM", FormatBody(fields(1, 2, 6, 24)), true},
        {"32-bit PCM", FormatBody(fields(1, 1, 4, 32)), true},
        {"32-bit float", FormatBody(fields(3, 1, 4, 32)), true},
        {"64-bit float", FormatBody(fields(3, 2, 16, 64)), true},
        {"A-law", FormatBody(fields(6, 1, 1, 8)), true},
        {"mu-law", FormatBody(fields(7, 1, 1, 8)), true},
        {"extensible PCM", ExtensibleBody(fields(1, 2, 8, 32), 1), true},
        {"extensible float", ExtensibleBody(fields(1, 1, 4, 32), 3), true},
        {"MPEG layer 3", FormatBody(fields(0x55, 1, 1, 0)), false},
        {"IMA ADPCM", FormatBody(fields(0x11, 1, 256, 4)), false},
        {"extensible MPEG", ExtensibleBody(fields(1, 1, 1, 8), 0x55), false},
        {"extensible without its GUID", FormatBody(fields(0xFFFE, 1, 2, 16)) + Le16(0), false},
        {"5-byte PCM samples", FormatBody(fields(1, 1, 5, 40)), false},
        {"block align not whole samples", FormatBody(fields(1, 2, 3, 16)), false},
    };
    for (const SampleFormat &c : cases) {
        SCOPED_TRACE(c.name);
        m_recorder.boxes.clear();
        UseCaptureDevice();
        QFile::remove(m_dir.filePath(QStringLiteral("capture.raw")));
        const QByteArray data = Samples(1920);
        OpenWave(Riff("WAVE", Chunk("fmt ", c.format) + Chunk("data", data)));
        ASSERT_TRUE(mdlSound::State().fileOpen);
        EXPECT_EQ(mdlSound::PlayWave(), c.plays);
        if (c.plays) {
            ASSERT_TRUE(WaitUntilWaveDeviceClosed());
            EXPECT_EQ(Captured(), data);
            EXPECT_TRUE(Boxes().isEmpty());
        } else {
            EXPECT_EQ(Boxes(), QStringList{QStringLiteral("Invalid argument")});
            EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
        }
    }
}

TEST_F(Playback, AShortFilePlaysWhatItHoldsAndEnds)
{
    const QByteArray data = Samples(5 * kBuffer + 1001); // ends inside a frame
    const QByteArray even = Samples(5 * kBuffer + 1000);
    const struct {
        const char *name;
        QByteArray file;
        QByteArray plays;
    } cases[] = {
        {"cut off", Wave(kMono16, data).left(44 + 3 * kBuffer + 7), data.left(3 * kBuffer + 6)},
        {"streamed", Riff("WAVE", Chunk("fmt ", FormatBody(kMono16)) + ChunkSized("data", 0xFFFFFFFF, even)), even},
        {"odd-sized data", Wave(kMono16, data), data.left(data.size() - 1)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UseCaptureDevice();
        QFile::remove(m_dir.filePath(QStringLiteral("capture.raw")));
        OpenWave(c.file);
        ASSERT_TRUE(mdlSound::PlayWave());
        ASSERT_TRUE(WaitUntilWaveDeviceClosed());
        EXPECT_EQ(Captured(), c.plays);
    }
}

TEST_F(Playback, UnloadDuringPlaybackLeavesNoNotice)
{
    const QByteArray data = Samples(40 * kBuffer);
    for (const bool designedUnload : {true, false}) {
        SCOPED_TRACE(designedUnload ? "stop and close, then the window goes" : "the window goes while playing");
        UseCaptureDevice();
        QFile::remove(m_dir.filePath(QStringLiteral("capture.raw")));
        m_window = std::make_unique<QWidget>();
        mdlSound::InitSound(m_window.get());
        OpenWave(Wave(kMono16, data));
        mdlSound::PlayIncomingSound();
        RunQueuedNotices();
        ASSERT_TRUE(mdlSound::IsWaveDeviceOpen());
        if (designedUnload) {
            mdlSound::StopWave();
            mdlSound::CloseWaveFile();
        }
        m_window.reset();
        EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
        EXPECT_FALSE(mdlSound::State().playing);
        const QByteArray captured = Captured();
        QTest::qWait(50);
        EXPECT_EQ(Captured(), captured);
        EXPECT_LT(captured.size(), data.size());
    }
}

} // namespace

namespace {

// On an output that takes its frames at the real rate, plays end by draining
// to the last frame, and the device closes by itself.
TEST_F(Playback, OnARealTimeDeviceEachPlayDrainsAndCloses)
{
    UsePacedDevice();
    for (const int bytes : {300, 3 * kBuffer + 500, 6 * kBuffer}) {
        SCOPED_TRACE(bytes);
        OpenWave(Wave(kMono16, Samples(bytes)));
        mdlSound::PlayIncomingSound();
        RunQueuedNotices();
        EXPECT_TRUE(mdlSound::IsWaveDeviceOpen());
        EXPECT_LE(mdlSound::GetWavePosition(), bytes / 2);
        ASSERT_TRUE(WaitUntilWaveDeviceClosed());
        EXPECT_FALSE(mdlSound::State().playing);
        EXPECT_TRUE(Boxes().isEmpty());
    }
}

TEST_F(Playback, OnARealTimeDeviceAMessageDuringPlaybackStartsAgain)
{
    UsePacedDevice();
    const int bytes = 10 * kBuffer;
    OpenWave(Wave(kMono16, Samples(bytes)));
    mdlSound::PlayIncomingSound();
    ASSERT_TRUE(QTest::qWaitFor([] { return mdlSound::GetWavePosition() > 0; }, 10000));
    mdlSound::PlayIncomingSound();
    EXPECT_EQ(mdlSound::State().startPosition, 0);
    EXPECT_TRUE(mdlSound::IsWaveDeviceOpen());
    EXPECT_LT(mdlSound::GetWavePosition(), bytes / 2);
    ASSERT_TRUE(WaitUntilWaveDeviceClosed());
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(Playback, OnARealTimeDeviceTheWindowMayGoWhilePlaying)
{
    UsePacedDevice();
    OpenWave(Wave(kMono16, Samples(10 * kBuffer)));
    mdlSound::PlayIncomingSound();
    ASSERT_TRUE(QTest::qWaitFor([] { return mdlSound::GetWavePosition() > 0; }, 10000));
    m_window.reset();
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
    QTest::qWait(300); // a period or three: no notice may arrive now
    EXPECT_FALSE(mdlSound::IsWaveDeviceOpen());
    EXPECT_FALSE(mdlSound::State().playing);
}

} // namespace
