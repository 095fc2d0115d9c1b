#include "wavefixture.h"

#include "alsaconfig.h"

#include <QCoreApplication>
#include <QFile>

QByteArray Le16(quint16 value)
{
    return QByteArray(1, char(value & 0xFF)) + char(value >> 8);
}

QByteArray Le32(quint32 value)
{
    return Le16(quint16(value & 0xFFFF)) + Le16(quint16(value >> 16));
}

QByteArray ChunkSized(const char *id, quint32 size, const QByteArray &contents)
{
    QByteArray chunk = QByteArray(id, 4) + Le32(size) + contents;
    if (contents.size() % 2)
        chunk += '\0';
    return chunk;
}

QByteArray Chunk(const char *id, const QByteArray &contents)
{
    return ChunkSized(id, quint32(contents.size()), contents);
}

QByteArray Riff(const char *form, const QByteArray &chunks)
{
    return QByteArray("RIFF") + Le32(quint32(4 + chunks.size())) + QByteArray(form, 4) + chunks;
}

QByteArray FormatBody(const WaveFields &fields)
{
    return Le16(fields.tag) + Le16(fields.channels) + Le32(fields.rate) + Le32(fields.rate * fields.blockAlign)
        + Le16(fields.blockAlign) + Le16(fields.bits);
}

QByteArray ExtensibleBody(const WaveFields &fields, quint16 subFormat)
{
    WaveFields outer = fields;
    outer.tag = 0xFFFE;
    const QByteArray guidTail("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    return FormatBody(outer) + Le16(22) + Le16(fields.bits) + Le32(0) + Le16(subFormat) + guidTail;
}

QByteArray Wave(const WaveFields &fields, const QByteArray &data)
{
    return Riff("WAVE", Chunk("fmt ", FormatBody(fields)) + Chunk("data", data));
}

QByteArray Samples(int bytes)
{
    QByteArray data(bytes, '\0');
    for (int i = 0; i < bytes; ++i)
        data[i] = char((i * 7 + i / 251) & 0xFF);
    return data;
}

void SoundTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    m_window = std::make_unique<QWidget>();
    mdlSound::InitSound(m_window.get());
    UseNullDevice();
}

void SoundTest::TearDown()
{
    if (mdlSound::IsWaveDeviceOpen())
        mdlSound::StopWave();
    mdlSound::CloseWaveFile();
    m_window.reset();
}

QStringList SoundTest::Boxes() const
{
    QStringList texts;
    for (const common::Box &box : m_recorder.boxes)
        texts << box.text;
    return texts;
}

QStringList SoundTest::Titles() const
{
    QStringList titles;
    for (const common::Box &box : m_recorder.boxes)
        titles << box.title;
    return titles;
}

QString SoundTest::WriteFile(const QString &name, const QByteArray &bytes) const
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

QString SoundTest::OpenWave(const QByteArray &bytes)
{
    const QString path = WriteFile(QStringLiteral("sound.wav"), bytes);
    mdlSound::OpenWaveFile(path);
    return path;
}

void SoundTest::UseAlsaConfig(const QByteArray &text)
{
    if (!::UseAlsaConfig(m_dir.filePath(QStringLiteral("alsa.conf")), text))
        ADD_FAILURE() << "cannot write the ALSA configuration";
}

void SoundTest::UseNullDevice()
{
    UseAlsaConfig("pcm.default { type null }\n");
}

void SoundTest::UseCaptureDevice()
{
    UseAlsaConfig(CaptureDeviceConfig(m_dir.filePath(QStringLiteral("capture.raw"))));
}

void SoundTest::UsePacedDevice()
{
    UseAlsaConfig(PacedDeviceConfig(PACED_PCM_MODULE));
}

QByteArray SoundTest::Captured() const
{
    QFile file(m_dir.filePath(QStringLiteral("capture.raw")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SoundTest::RunQueuedNotices()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}
