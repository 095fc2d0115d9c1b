/*
 * An ALSA output that plays nothing but takes its frames at the real rate,
 * like a sound card: its poll descriptor wakes once a period while it runs
 * (and not at all once it has stopped, as some plugins do),
 * underruns when it is not fed, and drains to the last frame. The sound
 * tests and the benchmark play through it where the null plugin, which
 * takes everything at once, cannot show timing.
 *
 *   pcm_type.talvinorpace { lib "/path/libasound_module_pcm_talvinorpace.so" }
 *   pcm.default { type talvinorpace }
 */
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

typedef struct {
    snd_pcm_ioplug_t io;
    int timer;
    uint64_t startNs;
    snd_pcm_uframes_t consumedAtStart;
    snd_pcm_uframes_t consumed;
} Paced;

static uint64_t NowNs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
}

static void ArmTimer(Paced *paced, uint64_t intervalNs)
{
    struct itimerspec period = {{0, 0}, {0, 0}};
    period.it_interval.tv_sec = (time_t)(intervalNs / 1000000000u);
    period.it_interval.tv_nsec = (long)(intervalNs % 1000000000u);
    period.it_value = period.it_interval;
    timerfd_settime(paced->timer, 0, &period, NULL);
}

static int PacedStart(snd_pcm_ioplug_t *io)
{
    Paced *paced = io->private_data;
    paced->startNs = NowNs();
    paced->consumedAtStart = paced->consumed;
    ArmTimer(paced, (uint64_t)io->period_size * 1000000000u / io->rate);
    return 0;
}

static int PacedStop(snd_pcm_ioplug_t *io)
{
    Paced *paced = io->private_data;
    ArmTimer(paced, 0);
    return 0;
}

static snd_pcm_sframes_t PacedPointer(snd_pcm_ioplug_t *io)
{
    Paced *paced = io->private_data;
    if (io->state == SND_PCM_STATE_RUNNING || io->state == SND_PCM_STATE_DRAINING) {
        const uint64_t elapsed = (NowNs() - paced->startNs) * io->rate / 1000000000u;
        snd_pcm_uframes_t consumed = paced->consumedAtStart + (snd_pcm_uframes_t)elapsed;
        if (consumed > io->appl_ptr) {
            if (io->state != SND_PCM_STATE_DRAINING)
                return -EPIPE;
            consumed = io->appl_ptr;
        }
        paced->consumed = consumed;
    }
    return (snd_pcm_sframes_t)(paced->consumed % io->buffer_size);
}

static int PacedPrepare(snd_pcm_ioplug_t *io)
{
    Paced *paced = io->private_data;
    paced->consumed = 0;
    return 0;
}

static snd_pcm_sframes_t PacedTransfer(snd_pcm_ioplug_t *io, const snd_pcm_channel_area_t *areas,
                                       snd_pcm_uframes_t offset, snd_pcm_uframes_t size)
{
    (void)io;
    (void)areas;
    (void)offset;
    return (snd_pcm_sframes_t)size;
}

static int PacedPollRevents(snd_pcm_ioplug_t *io, struct pollfd *pfds, unsigned int nfds, unsigned short *revents)
{
    Paced *paced = io->private_data;
    uint64_t ticks = 0;
    *revents = 0;
    if (nfds > 0 && (pfds[0].revents & POLLIN)) {
        if (read(paced->timer, &ticks, sizeof ticks) < 0)
            ticks = 0;
        *revents = POLLOUT;
    }
    return 0;
}

static int PacedClose(snd_pcm_ioplug_t *io)
{
    Paced *paced = io->private_data;
    close(paced->timer);
    free(paced);
    return 0;
}

static const snd_pcm_ioplug_callback_t PacedCallbacks = {
    .start = PacedStart,
    .stop = PacedStop,
    .pointer = PacedPointer,
    .transfer = PacedTransfer,
    .close = PacedClose,
    .prepare = PacedPrepare,
    .poll_revents = PacedPollRevents,
};

static int PacedConstraints(snd_pcm_ioplug_t *io)
{
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int formats[] = {
        SND_PCM_FORMAT_U8,       SND_PCM_FORMAT_S16_LE,   SND_PCM_FORMAT_S24_3LE, SND_PCM_FORMAT_S32_LE,
        SND_PCM_FORMAT_FLOAT_LE, SND_PCM_FORMAT_FLOAT64_LE, SND_PCM_FORMAT_A_LAW, SND_PCM_FORMAT_MU_LAW,
    };
    int err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, access);
    if (err >= 0)
        err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, sizeof formats / sizeof formats[0],
                                            formats);
    if (err >= 0)
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 32);
    if (err >= 0)
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 1000, 768000);
    if (err >= 0)
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 16, 16 * 1024 * 1024);
    if (err >= 0)
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 1024);
    return err;
}

SND_PCM_PLUGIN_DEFINE_FUNC(talvinorpace)
{
    (void)root;
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf) {
        snd_config_t *entry = snd_config_iterator_entry(i);
        const char *id = NULL;
        if (snd_config_get_id(entry, &id) < 0)
            continue;
        if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0)
            continue;
        SNDERR("Unknown field %s", id);
        return -EINVAL;
    }
    if (stream != SND_PCM_STREAM_PLAYBACK)
        return -EINVAL;
    Paced *paced = calloc(1, sizeof *paced);
    if (!paced)
        return -ENOMEM;
    paced->timer = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (paced->timer < 0) {
        free(paced);
        return -errno;
    }
    paced->io.version = SND_PCM_IOPLUG_VERSION;
    paced->io.name = "Talvinor paced output";
    paced->io.callback = &PacedCallbacks;
    paced->io.private_data = paced;
    paced->io.poll_fd = paced->timer;
    paced->io.poll_events = POLLIN;
    int err = snd_pcm_ioplug_create(&paced->io, name, stream, mode);
    if (err < 0) {
        close(paced->timer);
        free(paced);
        return err;
    }
    err = PacedConstraints(&paced->io);
    if (err < 0) {
        snd_pcm_ioplug_delete(&paced->io);
        return err;
    }
    *pcmp = paced->io.pcm;
    return 0;
}

SND_PCM_PLUGIN_SYMBOL(talvinorpace);
