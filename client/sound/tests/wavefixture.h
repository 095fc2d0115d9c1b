#pragma once

#include "boxrecorder.h"
#include "clientsound/mdlsound.h"
#include "text.h"
#include "wavedevice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

// --- Building WAVE files --------------------------------------------------

struct WaveFields {
    quint16 tag = 1;
    quint16 channels = 1;
    quint32 rate = 22050;
    quint16 blockAlign = 2;
    quint16 bits = 16;
};

QByteArray Le16(quint16 value);
QByteArray Le32(quint32 value);
// A chunk: id, size, contents and the pad byte of an odd size.
QByteArray Chunk(const char *id, const QByteArray &contents);
// The same with a size of its own in the header.
QByteArray ChunkSized(const char *id, quint32 size, const QByteArray &contents);
QByteArray Riff(const char *form, const QByteArray &chunks);
// The 16 bytes of a plain format.
QByteArray FormatBody(const WaveFields &fields);
// WAVE_FORMAT_EXTENSIBLE around the fields, with this plain tag as sub-format.
QByteArray ExtensibleBody(const WaveFields &fields, quint16 subFormat);
QByteArray Wave(const WaveFields &fields, const QByteArray &data);
// Sample bytes that differ from one position to the next.
QByteArray Samples(int bytes);

// --- The module in a window, with boxes recorded ---------------------------

class SoundTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes `bytes` into the test's folder; the file's path.
    QString WriteFile(const QString &name, const QByteArray &bytes) const;
    QString OpenWave(const QByteArray &bytes);

    // Points ALSA's "default" at the null plugin, at the file plugin
    // appending every play to Captured(), or at an output that takes its
    // frames at the real rate.
    void UseNullDevice();
    void UseCaptureDevice();
    void UsePacedDevice();
    void UseAlsaConfig(const QByteArray &text);
    QByteArray Captured() const;

    // Runs the queued notices only: PlayWave's first five buffers.
    void RunQueuedNotices();

    // The texts and titles of the boxes shown so far.
    QStringList Boxes() const;
    QStringList Titles() const;

    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_window;
    BoxRecorder m_recorder;
};
