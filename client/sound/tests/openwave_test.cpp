#include "wavefixture.h"

#include <QDir>

namespace {

const WaveFields kMono16;

WaveFields Fields(quint16 channels, quint32 rate, quint16 blockAlign)
{
    WaveFields fields;
    fields.channels = channels;
    fields.rate = rate;
    fields.blockAlign = blockAlign;
    return fields;
}

struct Refusal {
    const char *name;
    QByteArray file;
    const char *box;
};

using OpenWaveFile = SoundTest;

TEST_F(OpenWaveFile, RefusesBrokenFilesWithTheirBox)
{
    const QByteArray fmt = Chunk("fmt ", FormatBody(kMono16));
    const QByteArray data = Chunk("data", Samples(100));
    const Refusal cases[] = {
        {"empty file", QByteArray(), "Not a wave file"},
        {"another RIFF form", Riff("AVI ", fmt + data), "Not a wave file"},
        {"RIFF header cut off", QByteArray("RIFF\x24\x00\x00\x00WA", 10), "Not a wave file"},
        {"RIFX", QByteArray("RIFX") + Wave(kMono16, Samples(100)).mid(4), "Not a wave file"},
        {"no format chunk", Riff("WAVE", data), "Couldn't get format chunk"},
        {"format chunk outside the RIFF chunk",
         QByteArray("RIFF") + Le32(4) + "WAVE" + fmt + data, "Couldn't get format chunk"},
        {"format shorter than 16 bytes", Riff("WAVE", Chunk("fmt ", FormatBody(kMono16).left(14)) + data),
         "Error reading format"},
        {"format cut off by the end of the file",
         QByteArray("RIFF") + Le32(40) + "WAVE" + "fmt " + Le32(16) + FormatBody(kMono16).left(6),
         "Error reading format"},
        {"block align 0", Wave(Fields(1, 22050, 0), Samples(100)), "Error reading format"},
        {"no channels", Wave(Fields(0, 22050, 2), Samples(100)), "Error reading format"},
        {"rate 0", Wave(Fields(1, 0, 2), Samples(100)), "Error reading format"},
        {"no data chunk", Riff("WAVE", fmt), "Couldn't get data chunk"},
        {"data before the format", Riff("WAVE", data + fmt), "Couldn't get data chunk"},
        {"data after the RIFF chunk's end", Riff("WAVE", fmt) + data, "Couldn't get data chunk"},
    };
    for (const Refusal &c : cases) {
        SCOPED_TRACE(c.name);
        m_recorder.boxes.clear();
                OpenWave(c.file);
        EXPECT_EQ(Boxes(), QStringList{QString::fromLatin1(c.box)});
        EXPECT_EQ(Titles(), QStringList{QStringLiteral("TalvinorSMSClient")});
        EXPECT_FALSE(mdlSound::State().fileOpen);
    }
}

TEST_F(OpenWaveFile, ReportsTheOpenErrorCode)
{
    mdlSound::OpenWaveFile(m_dir.filePath(QStringLiteral("missing.wav")));
    mdlSound::OpenWaveFile(m_dir.path());
    EXPECT_EQ(Boxes(), (QStringList{QStringLiteral("Error opening input file, rc = 2"),
                                    QStringLiteral("Error opening input file, rc = 21")}));
    EXPECT_FALSE(mdlSound::State().fileOpen);
    for (const common::Box &box : m_recorder.boxes) {
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
        EXPECT_EQ(box.icon, QMessageBox::NoIcon);
        EXPECT_EQ(box.title, QStringLiteral("TalvinorSMSClient"));
    }
}

TEST_F(OpenWaveFile, AnEmptyPathOnlyClosesTheFile)
{
    OpenWave(Wave(kMono16, Samples(100)));
    ASSERT_TRUE(mdlSound::State().fileOpen);
    mdlSound::OpenWaveFile(QString());
    EXPECT_FALSE(mdlSound::State().fileOpen);
    EXPECT_TRUE(Boxes().isEmpty());
}

struct Layout {
    const char *name;
    QByteArray file;
    qint64 dataOffset;
    quint32 dataSize;
};

TEST_F(OpenWaveFile, FindsTheDataWhereverTheChunksLie)
{
    const QByteArray fmt = Chunk("fmt ", FormatBody(kMono16));
    const QByteArray odd = Chunk("LIST", QByteArray("abc")); // 8 + 3 + pad byte
    const QByteArray longFormat = Chunk("fmt ", FormatBody(kMono16) + Le16(42) + QByteArray(42, 'x'));
    const QByteArray samples = Samples(1000);
    const Layout cases[] = {
        {"plain", Wave(kMono16, samples), 44, 1000},
        {"odd-sized chunks before and after the format", Riff("WAVE", odd + fmt + odd + Chunk("data", samples)),
         12 + 12 + 24 + 12 + 8, 1000},
        {"format longer than the format buffer", Riff("WAVE", longFormat + Chunk("data", samples)),
         12 + 8 + 60 + 8, 1000},
        {"another top-level chunk before the RIFF", Chunk("JUNK", QByteArray(5, 'j')) + Wave(kMono16, samples),
         14 + 44, 1000},
        {"data cut off by the end of the file", Wave(kMono16, samples).left(44 + 600), 44, 600},
        {"data size of a streamed file", Riff("WAVE", fmt + ChunkSized("data", 0xFFFFFFFF, samples)), 44, 1000},
    };
    for (const Layout &c : cases) {
        SCOPED_TRACE(c.name);
        OpenWave(c.file);
        const mdlSound::SoundState &s = mdlSound::State();
        ASSERT_TRUE(s.fileOpen);
        EXPECT_EQ(s.dataOffset, c.dataOffset);
        EXPECT_EQ(s.dataSize, c.dataSize);
        EXPECT_EQ(s.format.blockAlign, 2);
        EXPECT_EQ(s.format.samplesPerSec, 22050u);
    }
    EXPECT_TRUE(Boxes().isEmpty()) << Boxes().join(QLatin1Char('|')).toStdString();
}

TEST_F(OpenWaveFile, KeepsTheFirst50BytesOfALongFormat)
{
    const QByteArray body = FormatBody(kMono16) + Le16(100) + Samples(100);
    OpenWave(Riff("WAVE", Chunk("fmt ", body) + Chunk("data", Samples(10))));
    const mdlSound::SoundState &s = mdlSound::State();
    ASSERT_TRUE(s.fileOpen);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(s.formatBuffer.data()), 50), body.left(50));
    EXPECT_EQ(s.format.extraSize, 100);
}

struct Sizing {
    quint16 blockAlign;
    quint32 rate;
    quint16 channels;
    quint32 bufferSize;
};

TEST_F(OpenWaveFile, SizesTheBuffersFromTheFormat)
{
    const Sizing cases[] = {
        {2, 44100, 1, 8820},   // 0.1 s of 16-bit mono
        {4, 44100, 2, 35280},  // stereo: twice the time, twice the bytes per frame
        {3, 11025, 1, 3306},   // 3307.5 to even is 3308, less 3308 mod 3
        {1, 25, 1, 2},         // 2.5: half to even
        {1, 35, 1, 4},         // 3.5: half to even
        {1, 5, 1, 1},          // 0.5 rounds to nothing: one block at least
        {6, 3, 2, 6},
        {2, 8000, 1, 1600},
    };
    for (const Sizing &c : cases) {
        SCOPED_TRACE(testing::Message() << c.blockAlign << " x " << c.rate << " x " << c.channels);
        OpenWave(Wave(Fields(c.channels, c.rate, c.blockAlign), Samples(64)));
        const mdlSound::SoundState &s = mdlSound::State();
        ASSERT_TRUE(s.fileOpen);
        EXPECT_EQ(s.bufferSize, c.bufferSize);
        for (const auto &buffer : s.buffers)
            EXPECT_EQ(buffer.size(), c.bufferSize);
    }
}

TEST_F(OpenWaveFile, AnAbsurdFormatGetsBuffersThatFitInMemory)
{
    OpenWave(Wave(Fields(0xFFFF, 0xFFFFFFFF, 0xFFFF), Samples(64)));
    const mdlSound::SoundState &s = mdlSound::State();
    ASSERT_TRUE(s.fileOpen);
    EXPECT_GE(s.bufferSize, 0xFFFFu);
    EXPECT_LE(s.bufferSize, 4u * 1024 * 1024);
    EXPECT_EQ(s.bufferSize % 0xFFFF, 0u);
}

TEST_F(OpenWaveFile, TheShippedChimeIsAShortMonoSound)
{
    mdlSound::OpenWaveFile(QStringLiteral(CHIME_WAV));
    const mdlSound::SoundState &s = mdlSound::State();
    ASSERT_TRUE(s.fileOpen) << Boxes().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(s.format.formatTag, 1);
    EXPECT_EQ(s.format.channels, 1);
    EXPECT_EQ(s.format.samplesPerSec, 22050u);
    EXPECT_EQ(s.format.bitsPerSample, 16);
    EXPECT_GT(s.dataSize, 22050u / 5 * 2);
    EXPECT_LT(s.dataSize, 22050u / 2 * 2);
}

} // namespace
