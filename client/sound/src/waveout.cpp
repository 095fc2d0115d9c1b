#include "waveout.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mdlSound {

namespace {

constexpr quint16 kFormatPcm = 0x0001;
constexpr quint16 kFormatFloat = 0x0003;
constexpr quint16 kFormatALaw = 0x0006;
constexpr quint16 kFormatMuLaw = 0x0007;
constexpr quint16 kFormatExtensible = 0xFFFE;

// WAVE_FORMAT_EXTENSIBLE names its sample format by a GUID whose first two
// bytes are the plain format tag and whose other fourteen are always these.
constexpr int kSubFormatOffset = 24;
constexpr quint8 kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr quint16 kExtensibleMinExtra = 22;

quint16 PlainFormatTag(const SoundState &sound)
{
    if (sound.format.formatTag != kFormatExtensible)
        return sound.format.formatTag;
    if (sound.format.extraSize < kExtensibleMinExtra)
        return 0;
    const quint8 *guid = sound.formatBuffer.data() + kSubFormatOffset;
    if (std::memcmp(guid + 2, kSubFormatTail, sizeof kSubFormatTail) != 0)
        return 0;
    return quint16(guid[0] | guid[1] << 8);
}

} // namespace

int AlsaFormat(const SoundState &sound, snd_pcm_format_t &format)
{
    const WaveFormatEx &wave = sound.format;
    if (wave.channels == 0 || wave.blockAlign % wave.channels != 0)
        return -EINVAL;
    // The sample's container is what lies in the file; block align tells it.
    const int container = wave.blockAlign / wave.channels;
    switch (PlainFormatTag(sound)) {
    case kFormatPcm:
        switch (container) {
        case 1: format = SND_PCM_FORMAT_U8; return 0;
        case 2: format = SND_PCM_FORMAT_S16_LE; return 0;
        case 3: format = SND_PCM_FORMAT_S24_3LE; return 0;
        case 4: format = SND_PCM_FORMAT_S32_LE; return 0;
        }
        break;
    case kFormatFloat:
        switch (container) {
        case 4: format = SND_PCM_FORMAT_FLOAT_LE; return 0;
        case 8: format = SND_PCM_FORMAT_FLOAT64_LE; return 0;
        }
        break;
    case kFormatALaw:
        if (container == 1) {
            format = SND_PCM_FORMAT_A_LAW;
            return 0;
        }
        break;
    case kFormatMuLaw:
        if (container == 1) {
            format = SND_PCM_FORMAT_MU_LAW;
            return 0;
        }
        break;
    }
    return -EINVAL;
}

int WaveOut::Open(const SoundState &sound, QObject *notifierParent, std::function<void()> wake,
                  std::unique_ptr<WaveOut> &device)
{
    snd_pcm_t *pcm = nullptr;
    const int opened = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (opened < 0)
        return opened;
    std::unique_ptr<WaveOut> out(new WaveOut(pcm));
    // Some plugins take the mode only from this call, and would block the
    // GUI thread in a drain.
    if (const int error = snd_pcm_nonblock(pcm, 1); error < 0)
        return error;
    if (const int error = out->Configure(sound); error < 0)
        return error;
    out->Watch(notifierParent, std::move(wake));
    device = std::move(out);
    return 0;
}

int WaveOut::Configure(const SoundState &sound)
{
    snd_pcm_format_t format = SND_PCM_FORMAT_UNKNOWN;
    if (const int error = AlsaFormat(sound, format); error < 0)
        return error;
    snd_pcm_hw_params_t *hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int error = snd_pcm_hw_params_any(m_pcm, hw);
    if (error >= 0)
        error = snd_pcm_hw_params_set_access(m_pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (error >= 0)
        error = snd_pcm_hw_params_set_format(m_pcm, hw, format);
    if (error >= 0)
        error = snd_pcm_hw_params_set_channels(m_pcm, hw, sound.format.channels);
    if (error >= 0)
        error = snd_pcm_hw_params_set_rate(m_pcm, hw, sound.format.samplesPerSec, 0);
    // One period per buffer and five periods in the ring, as near as the
    // device allows; the notices follow our buffers, not its periods.
    snd_pcm_uframes_t period = std::max<snd_pcm_uframes_t>(1, sound.bufferSize / sound.format.blockAlign);
    int direction = 0;
    if (error >= 0)
        error = snd_pcm_hw_params_set_period_size_near(m_pcm, hw, &period, &direction);
    snd_pcm_uframes_t ring = period * kBufferCount;
    if (error >= 0)
        error = snd_pcm_hw_params_set_buffer_size_near(m_pcm, hw, &ring);
    if (error >= 0)
        error = snd_pcm_hw_params(m_pcm, hw);
    if (error < 0)
        return error;
    snd_pcm_hw_params_get_period_size(hw, &m_periodFrames, &direction);
    snd_pcm_hw_params_get_buffer_size(hw, &m_ringFrames);
    m_frameBytes = unsigned(std::max<ssize_t>(1, snd_pcm_frames_to_bytes(m_pcm, 1)));
    m_rate = std::max(1u, sound.format.samplesPerSec);
    m_availMin = m_periodFrames;
    return 0;
}

void WaveOut::Watch(QObject *notifierParent, std::function<void()> wake)
{
    const int count = snd_pcm_poll_descriptors_count(m_pcm);
    m_pollFds.resize(size_t(std::max(count, 0)));
    snd_pcm_poll_descriptors(m_pcm, m_pollFds.data(), unsigned(m_pollFds.size()));
    m_notifierParent = notifierParent;
    m_wake = std::make_shared<std::function<void()>>(std::move(wake));
    for (size_t i = 0; i < m_pollFds.size(); ++i) {
        for (const auto type : {QSocketNotifier::Read, QSocketNotifier::Write}) {
            const short event = type == QSocketNotifier::Read ? POLLIN : POLLOUT;
            if (!(m_pollFds[i].events & event))
                continue;
            auto *notifier = new QSocketNotifier(m_pollFds[i].fd, type, notifierParent);
            notifier->setEnabled(false);
            // Plugins may signal on descriptors of their own: ALSA turns what
            // poll saw into what the PCM means before anything is read.
            QObject::connect(notifier, &QSocketNotifier::activated, notifier, [this, i, event, wake = m_wake] {
                std::vector<struct pollfd> fds = m_pollFds;
                fds[i].revents = event;
                unsigned short revents = 0;
                snd_pcm_poll_descriptors_revents(m_pcm, fds.data(), unsigned(fds.size()), &revents);
                if (revents & (POLLOUT | POLLERR))
                    (*wake)(); // may delete this WaveOut: nothing follows
            });
            m_notifiers.push_back(notifier);
        }
    }
}

WaveOut::~WaveOut()
{
    snd_pcm_drop(m_pcm);
    // The notifier may be the one whose wake is running now: take it off the
    // event loop at once, delete it when the loop is back.
    for (QSocketNotifier *notifier : m_notifiers) {
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    if (m_drainWatch) {
        m_drainWatch->stop();
        m_drainWatch->deleteLater();
    }
    snd_pcm_close(m_pcm);
}

snd_pcm_sframes_t WaveOut::WriteFrames(const char *data, snd_pcm_uframes_t frames)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const snd_pcm_sframes_t written = snd_pcm_writei(m_pcm, data, frames);
        if (written >= 0) {
            m_written += written;
            return written;
        }
        if (written == -EAGAIN)
            return 0;
        // An underrun or a suspend: prepare again and write once more.
        if (snd_pcm_recover(m_pcm, int(written), 1) < 0)
            break;
    }
    m_broken = true;
    return -1;
}

void WaveOut::Write(int header, const char *data, qint64 bytes)
{
    const qint64 frames = bytes / m_frameBytes;
    if (frames <= 0 || m_broken)
        return;
    qint64 done = 0;
    if (m_pending.empty()) {
        done = WriteFrames(data, snd_pcm_uframes_t(frames));
        if (done < 0) {
            Arm();
            return;
        }
    }
    if (done == frames)
        m_queued.push_back({header, m_written});
    else // kept as a copy: the buffer is ours again as soon as we return
        m_pending.push_back({header, QByteArray(data + done * m_frameBytes, (frames - done) * m_frameBytes)});
    if (m_drainWanted)
        Pump();
    Arm();
}

void WaveOut::Pump()
{
    while (!m_pending.empty() && !m_broken) {
        Pending &pending = m_pending.front();
        const qint64 frames = pending.bytes.size() / m_frameBytes;
        const snd_pcm_sframes_t written = WriteFrames(pending.bytes.constData() + pending.framesDone * m_frameBytes,
                                                      snd_pcm_uframes_t(frames - pending.framesDone));
        if (written <= 0)
            break;
        pending.framesDone += written;
        if (pending.framesDone < frames)
            break;
        m_queued.push_back({pending.header, m_written});
        m_pending.pop_front();
    }
    if (m_drainWanted && m_pending.empty() && !m_drainStarted && !m_broken) {
        m_drainStarted = true;
        // Non-blocking: -EAGAIN with the PCM draining, or 0 when it is done.
        snd_pcm_drain(m_pcm);
        m_drainWatch = new QTimer(m_notifierParent);
        m_drainWatch->setInterval(int(std::clamp<snd_pcm_uframes_t>(m_periodFrames * 1000 / m_rate, 5, 200)));
        QObject::connect(m_drainWatch, &QTimer::timeout, m_drainWatch, [wake = m_wake] { (*wake)(); });
        m_drainWatch->start();
    }
}

void WaveOut::Drain()
{
    m_drainWanted = true;
    Pump();
    Arm();
}

std::vector<int> WaveOut::TakeDone()
{
    qint64 consumed = m_written;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(m_pcm);
    if (avail >= 0)
        consumed = m_written - qint64(m_ringFrames) + std::min<qint64>(avail, qint64(m_ringFrames));
    else if (!m_drainStarted && snd_pcm_recover(m_pcm, int(avail), 1) < 0)
        m_broken = true;
    // (A negative avail means the device played all it had, or has stopped.)
    std::vector<int> done;
    while (!m_queued.empty() && m_queued.front().endFrame <= consumed) {
        done.push_back(m_queued.front().header);
        m_queued.pop_front();
    }
    Pump();
    Arm();
    return done;
}

void WaveOut::Arm()
{
    // Wake when the oldest queued buffer has been consumed, or when there is
    // room for what waits; with nothing in flight there is nothing to wait
    // for, and a device that always polls ready would only spin.
    snd_pcm_uframes_t need = m_periodFrames;
    if (!m_pending.empty()) {
        const Pending &pending = m_pending.front();
        need = snd_pcm_uframes_t(pending.bytes.size() / m_frameBytes - pending.framesDone);
    } else if (!m_queued.empty()) {
        need = m_ringFrames - snd_pcm_uframes_t(m_written - m_queued.front().endFrame);
    }
    need = std::clamp<snd_pcm_uframes_t>(need, 1, std::max<snd_pcm_uframes_t>(1, m_ringFrames));
    if (need != m_availMin) {
        snd_pcm_sw_params_t *sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        if (snd_pcm_sw_params_current(m_pcm, sw) == 0 && snd_pcm_sw_params_set_avail_min(m_pcm, sw, need) == 0
            && snd_pcm_sw_params(m_pcm, sw) == 0)
            m_availMin = need;
    }
    const bool waiting = !m_broken && (!m_pending.empty() || !m_queued.empty() || m_drainStarted);
    for (QSocketNotifier *notifier : m_notifiers)
        notifier->setEnabled(waiting);
}

bool WaveOut::Finished() const
{
    if (m_broken)
        return true;
    const snd_pcm_state_t state = snd_pcm_state(m_pcm);
    return m_drainStarted && state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_DRAINING;
}

bool WaveOut::AnswersStatus() const
{
    snd_pcm_status_t *status = nullptr;
    snd_pcm_status_alloca(&status);
    return snd_pcm_status(m_pcm, status) == 0;
}

qint64 WaveOut::BytesPlayed() const
{
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(m_pcm, &delay) != 0)
        delay = 0;
    return (m_written - std::clamp<qint64>(delay, 0, m_written)) * m_frameBytes;
}

} // namespace mdlSound
