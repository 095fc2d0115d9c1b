#pragma once

#include "clientsound/mdlsound.h"

#include <QByteArray>
#include <alsa/asoundlib.h>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QObject;
class QSocketNotifier;
class QTimer;

namespace mdlSound {

// The open output device: ALSA's "default" PCM, non-blocking and
// interleaved, fed one whole buffer at a time. Its poll descriptors are
// watched by socket notifiers; each wake calls `wake`, which asks TakeDone()
// which buffers the device has consumed since. While it drains, a timer
// wakes it once a period too: not every plugin signals the end of a drain.
// Deleting it drops whatever the device holds, removes the notifiers and
// closes the PCM, in that order.
class WaveOut {
public:
    // 0 and the device in `device`, or a negative ALSA error code.
    static int Open(const SoundState &sound, QObject *notifierParent, std::function<void()> wake,
                    std::unique_ptr<WaveOut> &device);
    ~WaveOut();
    WaveOut(const WaveOut &) = delete;
    WaveOut &operator=(const WaveOut &) = delete;

    // Queues the whole frames of `bytes` bytes as buffer `header`.
    void Write(int header, const char *data, qint64 bytes);
    // No more data follows: play what is queued to its end.
    void Drain();
    // The buffers whose frames the device has consumed since the last call,
    // in the order they were written.
    std::vector<int> TakeDone();
    // Drained to the end, or failed for good.
    bool Finished() const;
    bool Broken() const { return m_broken; }
    // The device answers a status query.
    bool AnswersStatus() const;
    qint64 BytesPlayed() const;

private:
    explicit WaveOut(snd_pcm_t *pcm) : m_pcm(pcm) {}
    int Configure(const SoundState &sound);
    void Watch(QObject *notifierParent, std::function<void()> wake);
    // Writes what the device has room for; -EAGAIN is no error here.
    snd_pcm_sframes_t WriteFrames(const char *data, snd_pcm_uframes_t frames);
    void Pump();
    void Arm();

    struct Pending {
        int header;
        QByteArray bytes;
        qint64 framesDone = 0;
    };
    struct Queued {
        int header;
        qint64 endFrame;
    };

    snd_pcm_t *m_pcm = nullptr;
    QObject *m_notifierParent = nullptr;
    std::shared_ptr<std::function<void()>> m_wake;
    std::vector<QSocketNotifier *> m_notifiers;
    QTimer *m_drainWatch = nullptr;
    std::vector<struct pollfd> m_pollFds;
    unsigned m_frameBytes = 1;
    unsigned m_rate = 1;
    snd_pcm_uframes_t m_ringFrames = 0;
    snd_pcm_uframes_t m_periodFrames = 0;
    snd_pcm_uframes_t m_availMin = 0;
    qint64 m_written = 0;
    std::deque<Pending> m_pending;
    std::deque<Queued> m_queued;
    bool m_drainWanted = false;
    bool m_drainStarted = false;
    bool m_broken = false;
};

// The ALSA sample format for the file's format, or -EINVAL when the format
// tag or its sample layout is one the module does not play.
int AlsaFormat(const SoundState &sound, snd_pcm_format_t &format);

} // namespace mdlSound
