#include "wavefixture.h"

#include <QFile>
#include <random>

namespace {

const WaveFields kMono16;

using Robustness = SoundTest;

// What OpenWaveFile and PlayWave may say about a damaged file.
bool IsDesignedBox(const QString &text)
{
    static const QStringList openBoxes = {QStringLiteral("Not a wave file"), QStringLiteral("Couldn't get format chunk"),
                                          QStringLiteral("Error reading format"),
                                          QStringLiteral("Couldn't get data chunk")};
    // ALSA's own text for a format it will not take.
    return openBoxes.contains(text) || text == QStringLiteral("Invalid argument");
}

// A valid file with a chunk before and after the format, then damaged by a
// few random byte changes, a random 32-bit size or a cut.
QByteArray Damaged(std::mt19937 &random, const QByteArray &original)
{
    QByteArray file = original;
    std::uniform_int_distribution<int> kind(0, 2);
    switch (kind(random)) {
    case 0:
        for (int i = std::uniform_int_distribution<int>(1, 8)(random); i > 0; --i)
            file[std::uniform_int_distribution<int>(0, int(file.size()) - 1)(random)] = char(random() & 0xFF);
        break;
    case 1: {
        const int at = std::uniform_int_distribution<int>(0, int(file.size()) - 4)(random);
        const QByteArray value = Le32(quint32(random()));
        file.replace(at, 4, value);
        break;
    }
    default:
        file.truncate(std::uniform_int_distribution<int>(0, int(file.size()))(random));
    }
    return file;
}

TEST_F(Robustness, DamagedFilesNeverCrashOrHang)
{
    const QByteArray original = Riff("WAVE", Chunk("LIST", "info!") + Chunk("fmt ", FormatBody(kMono16))
                                                 + Chunk("fact", Le32(900)) + Chunk("data", Samples(1801)));
    std::mt19937 random(20);
    for (int round = 0; round < 1500; ++round) {
        const QByteArray file = Damaged(random, original);
        SCOPED_TRACE(testing::Message() << "round " << round << ": " << file.toHex().toStdString());
        m_recorder.boxes.clear();
        OpenWave(file);
        const mdlSound::SoundState &s = mdlSound::State();
        if (!s.fileOpen) {
            ASSERT_EQ(Boxes().size(), 1);
            ASSERT_TRUE(IsDesignedBox(Boxes()[0])) << Boxes()[0].toStdString();
            continue;
        }
        ASSERT_TRUE(Boxes().isEmpty());
        ASSERT_LE(s.dataOffset + s.dataSize, file.size());
        mdlSound::PlayIncomingSound();
        ASSERT_TRUE(WaitUntilWaveDeviceClosed(5000));
        ASSERT_LE(Boxes().size(), 1);
        for (const QString &box : Boxes())
            ASSERT_TRUE(IsDesignedBox(box)) << box.toStdString();
    }
}

TEST_F(Robustness, OversizedFilesPlayToTheEnd)
{
    // 64 MB of data, mostly a hole in the file system.
    const qint64 dataBytes = qint64(64) << 20;
    const QString path = WriteFile(QStringLiteral("long.wav"),
                                   Riff("WAVE", Chunk("fmt ", FormatBody(kMono16) + Le16(400) + QByteArray(400, 'z')))
                                       .left(12 + 8 + 418)
                                       + "data" + Le32(quint32(dataBytes)));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() + dataBytes));
    file.close();
    // The RIFF size above is that of the format alone: give it the whole file.
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(4);
    file.write(Le32(quint32(file.size() - 8)));
    file.close();

    mdlSound::OpenWaveFile(path);
    ASSERT_TRUE(mdlSound::State().fileOpen) << Boxes().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(mdlSound::State().dataSize, quint64(dataBytes));
    ASSERT_TRUE(mdlSound::PlayWave());
    ASSERT_TRUE(WaitUntilWaveDeviceClosed(60000));
    EXPECT_TRUE(Boxes().isEmpty());
}

TEST_F(Robustness, AbsurdRatesAreRefusedByTheDeviceOrPlayed)
{
    for (const quint32 rate : {1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        SCOPED_TRACE(rate);
        m_recorder.boxes.clear();
        OpenWave(Wave({1, 1, rate, 2, 16}, Samples(2000)));
        ASSERT_TRUE(mdlSound::State().fileOpen);
        if (mdlSound::PlayWave()) {
            ASSERT_TRUE(WaitUntilWaveDeviceClosed(5000));
        } else {
            EXPECT_EQ(Boxes().size(), 1);
        }
    }
}

} // namespace
