#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <alsa/asoundlib.h>

// ALSA's "default" PCM of this process, pointed at a configuration of the
// test's own: the programs always play to "default", so tests redirect it
// here and never through a switch in the code.

// Writes `text` to `path` and makes it the configuration the next open
// reads. False when the file cannot be written.
inline bool UseAlsaConfig(const QString &path, const QByteArray &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        return false;
    file.close();
    qputenv("ALSA_CONFIG_PATH", QFile::encodeName(path));
    // ALSA keeps its configuration once read; the next open reads ours.
    snd_config_update_free_global();
    return true;
}

// The file plugin over the null plugin: every play is appended to `capture`
// (through a pipe, because the plugin truncates a plain file at each open).
// The file appears at the first open of the device.
inline QByteArray CaptureDeviceConfig(const QString &capture)
{
    return "pcm.default {\n"
           "  type file\n"
           "  slave.pcm { type null }\n"
           "  file \"|cat >> '"
        + QFile::encodeName(capture) + "'\"\n  format \"raw\"\n}\n";
}

// An output that takes its frames at the real rate; `module` is the built
// plugin's file.
inline QByteArray PacedDeviceConfig(const QByteArray &module)
{
    return "pcm_type.talvinorpace { lib \"" + module + "\" }\npcm.default { type talvinorpace }\n";
}
