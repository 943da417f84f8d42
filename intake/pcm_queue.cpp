#include "intake/pcm_queue.h"

#include <cstring>

namespace sonvale {

bool PcmQueue::Admit(const std::uint8_t* frames, int frameCount)
{
    if (frameCount <= 0)
        return true;
    if (fill_ + 8 * frameCount > kQueueLimit) {
        fill_ = 0;
        return false;
    }
    const int bytes = frameCount * kBytesPerFrame;
    std::memcpy(storage_ + fill_, frames, static_cast<std::size_t>(bytes));
    fill_ += bytes;
    return true;
}

bool PcmQueue::Take(std::uint8_t* out, int count)
{
    if (count <= 0 || fill_ < count)
        return false;
    std::memcpy(out, storage_, static_cast<std::size_t>(count));
    std::memmove(storage_, storage_ + count, static_cast<std::size_t>(fill_ - count));
    fill_ -= count;
    return true;
}

PcmQueue& ProcessPcmQueue()
{
    static PcmQueue queue;
    return queue;
}

}  // namespace sonvale
