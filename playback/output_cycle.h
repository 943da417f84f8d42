// Two blocks always in flight on the output device. Each block the device
// gives back is refilled from the front of the PCM queue, or with silence
// when the queue holds less than a block, shown to the meter and handed back.
#ifndef SONVALE_PLAYBACK_OUTPUT_CYCLE_H
#define SONVALE_PLAYBACK_OUTPUT_CYCLE_H

#include <cstdint>
#include <functional>

#include "playback/audio_device.h"

namespace sonvale {

class PcmQueue;

class OutputCycle final : public AudioDeviceClient {
public:
    using BlockObserver = std::function<void(const std::uint8_t* block)>;
    using RefillObserver = std::function<void(int queuedFrames, bool tookBlock)>;

    OutputCycle(AudioDevice& device, PcmQueue& queue);
    // Stops the device first: the blocks must outlive its use of them.
    ~OutputCycle() override;
    OutputCycle(const OutputCycle&) = delete;
    OutputCycle& operator=(const OutputCycle&) = delete;

    // Opens the device and starts both blocks (silent at first). False when
    // the device cannot be opened now; the cycle runs all the same, and
    // plays once the device, trying again meanwhile, is there.
    bool Start();
    void Stop();
    bool Running() const { return running_; }

    // Called with every refilled block before it goes back to the device.
    void SetObserver(BlockObserver observer) { observer_ = std::move(observer); }
    // Told after every refill what the queue still holds: the pace at which
    // it fills against the pace of the device is the only clock comparison.
    void SetRefillObserver(RefillObserver observer) { refillObserver_ = std::move(observer); }

    void OnBlockDone(int index) override;

private:
    AudioDevice& device_;
    PcmQueue& queue_;
    BlockObserver observer_;
    RefillObserver refillObserver_;
    bool running_ = false;
    std::uint8_t blocks_[2][kBlockBytes] = {};
};

}  // namespace sonvale

#endif
