// Brings a stream at another MPEG audio rate to the 44100 Hz the output plays,
// one decoded frame at a time, with libsoxr. The rest of the player sees only
// this class: 16-bit planes in, 16-bit planes out.
#ifndef SONVALE_INTAKE_RATE_CONVERTER_H
#define SONVALE_INTAKE_RATE_CONVERTER_H

namespace sonvale {

class RateConverter {
public:
    // Most frames handed on at once; more output simply comes in more pieces.
    static constexpr int kOutputCapacity = 4096;

    RateConverter() = default;
    ~RateConverter();
    RateConverter(const RateConverter&) = delete;
    RateConverter& operator=(const RateConverter&) = delete;

    // Starts converting a stream of this rate and channel count (1 or 2) whose
    // decoded frames hold frameSamples samples per channel. Whatever an
    // earlier stream left is dropped. False if the library could not set up.
    bool Start(int inputRate, int channels, int frameSamples);
    bool Active() const { return state_ != nullptr; }
    int InputRate() const { return inputRate_; }
    int Channels() const { return channels_; }

    // Takes frames from the planes (right is not read for mono) and calls
    // onOutput(left, right, count) for each piece of converted audio ready so
    // far; for mono, right is left.
    template <class OnOutput>
    void Convert(const short* left, const short* right, int frames, OnOutput&& onOutput);
    // The stream has ended: hands on what the filters still hold, so that its
    // last milliseconds are not lost, and stops.
    template <class OnOutput>
    void Finish(OnOutput&& onOutput);
    // Stops and drops whatever is held.
    void Stop();

private:
    // One call of the library: takes up to `frames` input frames (none, and
    // flushes, when left is null) and returns how many output frames it
    // made, of which the first `skipped` are not to be handed on.
    int Step(const short* left, const short* right, int frames, int& used, int& skipped);

    void* state_ = nullptr;
    int inputRate_ = 0;
    int channels_ = 0;
    // Output frames that belong to the silence fed at start.
    long skip_ = 0;
    short out_[2][kOutputCapacity];
};

template <class OnOutput>
void RateConverter::Convert(const short* left, const short* right, int frames, OnOutput&& onOutput)
{
    while (state_) {
        int used = 0;
        int skipped = 0;
        const int made = Step(left, right, frames, used, skipped);
        if (made > skipped)
            onOutput(out_[0] + skipped, out_[channels_ - 1] + skipped, made - skipped);
        left += used;
        if (right)
            right += used;
        frames -= used;
        // The library takes input only as far as its output has room for, and
        // a full output buffer may mean that more is ready.
        if ((frames == 0 && made < kOutputCapacity) || (made == 0 && used == 0))
            break;
    }
}

template <class OnOutput>
void RateConverter::Finish(OnOutput&& onOutput)
{
    while (state_) {
        int used = 0;
        int skipped = 0;
        const int made = Step(nullptr, nullptr, 0, used, skipped);
        if (made > skipped)
            onOutput(out_[0] + skipped, out_[channels_ - 1] + skipped, made - skipped);
        if (made == 0)
            break;
    }
    Stop();
}

}  // namespace sonvale

#endif
