#include "playback/output_cycle.h"

#include <cstring>

#include "intake/pcm_queue.h"

namespace sonvale {

OutputCycle::OutputCycle(AudioDevice& device, PcmQueue& queue) : device_(device), queue_(queue) {}

OutputCycle::~OutputCycle()
{
    Stop();
}

bool OutputCycle::Start()
{
    if (running_)
        return true;
    const bool opened = device_.Open(*this);
    running_ = true;
    device_.Write(0, blocks_[0]);
    device_.Write(1, blocks_[1]);
    return opened;
}

void OutputCycle::Stop()
{
    if (!running_)
        return;
    running_ = false;
    device_.Close();
}

void OutputCycle::OnBlockDone(int index)
{
    if (!running_ || index < 0 || index > 1)
        return;
    std::uint8_t* block = blocks_[index];
    // A partial block waits for more data; what plays meanwhile is silence,
    // never the block's old contents.
    const bool took = queue_.Take(block, kBlockBytes);
    if (!took)
        std::memset(block, 0, kBlockBytes);
    if (refillObserver_)
        refillObserver_(queue_.Fill() / kBytesPerFrame, took);
    if (observer_)
        observer_(block);
    device_.Write(index, block);
}

}  // namespace sonvale
