#include "playback/linux/alsa_pcm.h"

#include <alsa/asoundlib.h>

#include <algorithm>

#include "playback/audio_device.h"

namespace sonvale::linux_shell {

namespace {

// The library would otherwise print its own lines for every failed open, the
// reopen attempts included; the player says once what failed instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

std::unique_ptr<PcmStream> AlsaPcm::Open(const std::string& name, std::string* failure)
{
    snd_lib_error_set_handler(QuietAlsa);
    snd_pcm_t* pcm = nullptr;
    if (const int error = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); error < 0) {
        if (failure)
            *failure = snd_strerror(error);
        // The configuration is read once and kept, and what "default" means
        // was settled then: routed to PulseAudio only if its server was
        // running. Read it afresh next time, so a server that comes up later
        // is found. Nothing of ours is open that could still use it.
        snd_config_update_free_global();
        return nullptr;
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
    // A buffer smaller than a block would still play (what does not fit is
    // written as room appears), but would wake the player every few
    // milliseconds: such a device is refused.
    snd_pcm_uframes_t granted = 0;
    ok = ok && snd_pcm_hw_params_get_buffer_size(hw, &granted) >= 0 && granted >= static_cast<snd_pcm_uframes_t>(kBlockFrames);
    if (ok) {
        snd_pcm_sw_params_t* sw;
        snd_pcm_sw_params_alloca(&sw);
        // Room reported once no more than one block is left to play, however
        // much larger a buffer the device granted (the PulseAudio plugin asks
        // the server for data in steps of this size). Start once both blocks
        // are in, or the buffer is full if it holds less than two.
        ok = snd_pcm_sw_params_current(pcm, sw) >= 0 &&
             snd_pcm_sw_params_set_avail_min(pcm, sw, granted - kBlockFrames) >= 0 &&
             snd_pcm_sw_params_set_start_threshold(pcm, sw, std::min<snd_pcm_uframes_t>(granted, 2 * kBlockFrames)) >= 0 &&
             snd_pcm_sw_params(pcm, sw) >= 0;
    }
    if (!ok) {
        if (failure)
            *failure = "it does not take 44100 Hz 16-bit stereo in blocks of 2048 frames";
        snd_pcm_close(pcm);
        return nullptr;
    }
    return std::unique_ptr<PcmStream>(new AlsaPcm(pcm, static_cast<long>(granted)));
}

AlsaPcm::~AlsaPcm()
{
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
}

long AlsaPcm::Write(const std::uint8_t* frames, long count)
{
    return snd_pcm_writei(pcm_, frames, static_cast<snd_pcm_uframes_t>(count));
}

long AlsaPcm::Avail()
{
    return snd_pcm_avail_update(pcm_);
}

bool AlsaPcm::Recover(long error)
{
    return snd_pcm_recover(pcm_, static_cast<int>(error), 1) == 0 && snd_pcm_state(pcm_) != SND_PCM_STATE_DISCONNECTED;
}

}  // namespace sonvale::linux_shell
