#include "playback/qt/alsa_audio_device.h"

#include <alsa/asoundlib.h>

#include <cstdio>

#include <QTimer>

namespace sonvale::qt {

namespace {

constexpr int kReopenIntervalMs = 1000;

// The library would otherwise print its own lines for every failed open, the
// reopen attempts included; the player says once what failed instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

AlsaAudioDevice::AlsaAudioDevice(std::string name) : name_(std::move(name))
{
    snd_lib_error_set_handler(QuietAlsa);
}

AlsaAudioDevice::~AlsaAudioDevice()
{
    Close();
}

bool AlsaAudioDevice::Open(AudioDeviceClient& client)
{
    std::string failure;
    if (!OpenPcm(&failure)) {
        std::fprintf(stderr, "sonvale: cannot play on the sound device \"%s\": %s\n", name_.c_str(), failure.c_str());
        return false;
    }
    client_ = &client;
    return true;
}

bool AlsaAudioDevice::OpenPcm(std::string* failure)
{
    snd_pcm_t* pcm = nullptr;
    if (const int error = snd_pcm_open(&pcm, name_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); error < 0) {
        if (failure)
            *failure = snd_strerror(error);
        return false;
    }
    // Two blocks of buffer and nothing more: through the PulseAudio plugin a
    // period of a whole block would round the buffer up to three.
    snd_pcm_hw_params_t* hw;
    snd_pcm_hw_params_alloca(&hw);
    snd_pcm_uframes_t buffer = 2 * kBlockFrames;
    unsigned rate = kSampleRate;
    bool ok = snd_pcm_hw_params_any(pcm, hw) >= 0 &&
              snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) >= 0 &&
              snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE) >= 0 &&
              snd_pcm_hw_params_set_channels(pcm, hw, kChannels) >= 0 &&
              snd_pcm_hw_params_set_rate(pcm, hw, rate, 0) >= 0 &&
              snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer) >= 0;
    // Half-block periods: left to itself the plugin picks periods of some 230
    // frames, and its thread wakes four times as often for nothing.
    snd_pcm_uframes_t period = kBlockFrames / 2;
    int direction = 0;
    ok = ok && snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &direction) >= 0 &&
         snd_pcm_hw_params(pcm, hw) >= 0;
    snd_pcm_uframes_t granted = 0;
    ok = ok && snd_pcm_hw_params_get_buffer_size(hw, &granted) >= 0 && granted >= static_cast<snd_pcm_uframes_t>(kBlockFrames);
    if (ok) {
        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        // Wake when no more than one block is left to play, however much
        // larger a buffer the device granted; start once both are in.
        ok = snd_pcm_sw_params_current(pcm, sw) >= 0 &&
             snd_pcm_sw_params_set_avail_min(pcm, sw, granted - kBlockFrames) >= 0 &&
             snd_pcm_sw_params_set_start_threshold(pcm, sw, std::min<snd_pcm_uframes_t>(granted, 2 * kBlockFrames)) >= 0 &&
             snd_pcm_sw_params(pcm, sw) >= 0;
    }
    if (!ok) {
        if (failure)
            *failure = "it does not take 44100 Hz 16-bit stereo in two blocks of 2048 frames";
        snd_pcm_close(pcm);
        return false;
    }
    pcm_ = pcm;
    bufferFrames_ = static_cast<long>(granted);
    return true;
}

void AlsaAudioDevice::ClosePcm()
{
    if (wake_)
        wake_->stop();
    if (pcm_) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }
    pcm_ = nullptr;
    bufferFrames_ = 0;
}

void AlsaAudioDevice::Write(int index, const std::uint8_t* block)
{
    inFlight_.push_back(index);
    if (!pcm_)
        return;  // reopening; the block counts as played when the device is back
    long written = snd_pcm_writei(pcm_, block, kBlockFrames);
    if (written == -EPIPE || written == -ESTRPIPE) {
        // Underrun or suspend: start over with this block.
        Recover(written);
        if (pcm_)
            written = snd_pcm_writei(pcm_, block, kBlockFrames);
    }
    if (written < 0 && written != -EAGAIN)
        Recover(written);
    ScheduleWake();
}

void AlsaAudioDevice::Close()
{
    if (reopen_)
        reopen_->stop();
    ClosePcm();
    inFlight_.clear();
    client_ = nullptr;
}

void AlsaAudioDevice::ScheduleWake()
{
    if (!pcm_ || inFlight_.empty() || servicing_)
        return;
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
    if (avail < 0) {
        Recover(avail);
        return;
    }
    // Wake when the oldest block has played out, no earlier.
    const long queued = bufferFrames_ - static_cast<long>(avail);
    const long pending = queued - static_cast<long>(inFlight_.size() - 1) * kBlockFrames;
    const long ms = pending > 0 ? (pending * 1000 + kSampleRate - 1) / kSampleRate : 0;
    if (!wake_) {
        wake_ = std::make_unique<QTimer>();
        wake_->setSingleShot(true);
        wake_->setTimerType(Qt::PreciseTimer);
        QObject::connect(wake_.get(), &QTimer::timeout, wake_.get(), [this] { ReturnPlayedBlocks(); });
    }
    wake_->start(static_cast<int>(ms));
}

void AlsaAudioDevice::ReturnPlayedBlocks()
{
    // Refilling writes again, which must not re-enter this loop.
    servicing_ = true;
    while (pcm_ && client_ && !inFlight_.empty()) {
        const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
        if (avail < 0) {
            servicing_ = false;
            Recover(avail);
            return;
        }
        const long queued = bufferFrames_ - static_cast<long>(avail);
        if (queued > static_cast<long>(inFlight_.size() - 1) * kBlockFrames)
            break;
        const int index = inFlight_.front();
        inFlight_.pop_front();
        client_->OnBlockDone(index);
    }
    servicing_ = false;
    ScheduleWake();
}

void AlsaAudioDevice::Recover(long error)
{
    if (pcm_ && snd_pcm_recover(pcm_, static_cast<int>(error), 1) == 0 && snd_pcm_state(pcm_) != SND_PCM_STATE_DISCONNECTED)
        return;
    // The device is gone (a sound server restarting, say): try again later
    // rather than spin or nag.
    ClosePcm();
    if (!reopen_) {
        reopen_ = std::make_unique<QTimer>();
        reopen_->setInterval(kReopenIntervalMs);
        QObject::connect(reopen_.get(), &QTimer::timeout, reopen_.get(), [this] { TryReopen(); });
    }
    reopen_->start();
}

void AlsaAudioDevice::TryReopen()
{
    if (!client_ || !OpenPcm())
        return;
    reopen_->stop();
    // What was in flight died with the old device: hand those blocks back so
    // the cycle refills them with what is current.
    std::deque<int> lost;
    lost.swap(inFlight_);
    for (int index : lost)
        if (client_)
            client_->OnBlockDone(index);
}

}  // namespace sonvale::qt
