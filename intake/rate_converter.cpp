#include "intake/rate_converter.h"

#include <soxr.h>

#include "playback/audio_device.h"

namespace sonvale {

namespace {

// Enough frames of silence at start for the library's buffers to reach the
// size that they keep for the rest of the stream: measured, their last growth
// comes with the 28th frame at 8000 Hz and by the 12th at the other rates.
// A multiple of 5 frames of 576 or 1152 samples is a whole multiple of 320
// input samples, so that at every rate it converts to a whole number of
// output frames, which are dropped.
constexpr int kWarmUpFrames = 35;
constexpr int kMaxFrameSamples = 1152;

soxr_t Soxr(void* state)
{
    return static_cast<soxr_t>(state);
}

}  // namespace

RateConverter::~RateConverter()
{
    Stop();
}

bool RateConverter::Start(int inputRate, int channels, int frameSamples)
{
    Stop();
    if (inputRate <= 0 || channels < 1 || channels > 2 || frameSamples <= 0 || frameSamples > kMaxFrameSamples)
        return false;
    // The decoder's samples come undithered; adding dither here would only
    // add noise, and would make the same stream convert differently each time.
    soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_S, SOXR_INT16_S);
    io.flags = SOXR_NO_DITHER;
    // High quality: flat to 91% of the lower rate's Nyquist frequency (20 kHz
    // from 48 kHz), over 120 dB down from there. Minimum phase and the
    // smallest transform blocks keep the audio that waits in the filters
    // short; linear phase with the default blocks holds back about three times
    // as much.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ | SOXR_MINIMUM_PHASE, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // one thread: the player has one
    runtime.log2_min_dft_size = 8;
    runtime.log2_large_dft_size = 8;
    soxr_error_t error = nullptr;
    soxr_t soxr = soxr_create(inputRate, kSampleRate, static_cast<unsigned>(channels), &error, &io, &quality, &runtime);
    if (error || !soxr) {
        soxr_delete(soxr);
        return false;
    }
    state_ = soxr;
    inputRate_ = inputRate;
    channels_ = channels;

    // Sized now, so that no frame of the stream itself waits for the heap.
    static const short silence[kMaxFrameSamples] = {};
    const long warmUp = static_cast<long>(kWarmUpFrames) * frameSamples;
    skip_ = warmUp * kSampleRate / inputRate;
    for (int i = 0; i < kWarmUpFrames && state_; ++i)
        Convert(silence, silence, frameSamples, [](const short*, const short*, int) {});
    return state_ != nullptr;
}

void RateConverter::Stop()
{
    soxr_delete(Soxr(state_));
    state_ = nullptr;
    inputRate_ = channels_ = 0;
    skip_ = 0;
}

int RateConverter::Step(const short* left, const short* right, int frames, int& used, int& skipped)
{
    const void* in[2] = {left, right};
    void* out[2] = {out_[0], out_[1]};
    std::size_t taken = 0;
    std::size_t made = 0;
    const soxr_error_t error =
        left ? soxr_process(Soxr(state_), in, static_cast<std::size_t>(frames), &taken, out, kOutputCapacity, &made)
             : soxr_process(Soxr(state_), nullptr, 0, nullptr, out, kOutputCapacity, &made);
    if (error) {
        Stop();
        used = frames;
        skipped = 0;
        return 0;
    }
    used = static_cast<int>(taken);
    skipped = static_cast<int>(skip_ < static_cast<long>(made) ? skip_ : static_cast<long>(made));
    skip_ -= skipped;
    return static_cast<int>(made);
}

}  // namespace sonvale
