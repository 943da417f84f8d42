// The one first-in-first-out store of decoded audio between intake and
// playback: interleaved 16-bit little-endian stereo frames, oldest byte always
// at offset 0, never more than kQueueLimit bytes.
#ifndef SONVALE_INTAKE_PCM_QUEUE_H
#define SONVALE_INTAKE_PCM_QUEUE_H

#include <cstddef>
#include <cstdint>

namespace sonvale {

inline constexpr int kQueueCapacity = 1000000;
inline constexpr int kQueueLimit = 150000;
inline constexpr int kBytesPerFrame = 4;

class PcmQueue {
public:
    PcmQueue() = default;
    PcmQueue(const PcmQueue&) = delete;
    PcmQueue& operator=(const PcmQueue&) = delete;

    // Admits the frames of one decode call. A backlog that would pass the limit
    // (counted at 8 bytes per new frame) empties the queue and drops the new
    // frames, which bounds the delay between sender and speaker; false then.
    bool Admit(const std::uint8_t* frames, int frameCount);
    // Moves the oldest count bytes to out if that many are queued.
    bool Take(std::uint8_t* out, int count);

    int Fill() const { return fill_; }
    const std::uint8_t* Data() const { return storage_; }
    void Clear() { fill_ = 0; }

private:
    std::uint8_t storage_[kQueueCapacity];
    int fill_ = 0;
};

// The process-wide queue.
PcmQueue& ProcessPcmQueue();

}  // namespace sonvale

#endif
