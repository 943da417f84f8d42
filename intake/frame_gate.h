// Stands in front of the decoder and lets through only whole Layer III frames.
// Anything else (garbage, other layers, free-format frames, a truncated frame
// cut by a reconnect) is dropped here, so the decoder never keeps bytes it
// cannot use and never locks onto something that is not our stream.
#ifndef SONVALE_INTAKE_FRAME_GATE_H
#define SONVALE_INTAKE_FRAME_GATE_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "intake/mp3_frame.h"

namespace sonvale {

class FrameGate {
public:
    // Takes the next bytes of the stream and calls onFrame(frame, header) for
    // every whole frame that passes, in order. A frame found after lost sync
    // passes only once the next frame's header confirms it.
    template <class OnFrame>
    void Feed(const std::uint8_t* data, std::size_t size, OnFrame&& onFrame);

    // Forgets the partial frame and the lock, as for a new stream.
    void Reset()
    {
        fill_ = 0;
        locked_ = false;
    }

    bool Locked() const { return locked_; }

private:
    // A frame and the next header, whatever the position of the frame.
    static constexpr std::size_t kCapacity = 2 * kMaxMp3FrameBytes + kMp3HeaderBytes;

    template <class OnFrame>
    void Scan(OnFrame& onFrame);

    std::uint8_t buffer_[kCapacity];
    std::size_t fill_ = 0;
    bool locked_ = false;
};

template <class OnFrame>
void FrameGate::Feed(const std::uint8_t* data, std::size_t size, OnFrame&& onFrame)
{
    while (size > 0) {
        const std::size_t take = size < kCapacity - fill_ ? size : kCapacity - fill_;
        std::memcpy(buffer_ + fill_, data, take);
        fill_ += take;
        data += take;
        size -= take;
        Scan(onFrame);
    }
}

template <class OnFrame>
void FrameGate::Scan(OnFrame& onFrame)
{
    std::size_t pos = 0;
    while (fill_ - pos >= kMp3HeaderBytes) {
        const auto header = ParseMp3FrameHeader(buffer_ + pos);
        if (!header) {
            locked_ = false;
            ++pos;
            continue;
        }
        const auto frameBytes = static_cast<std::size_t>(header->frameBytes);
        if (locked_) {
            if (fill_ - pos < frameBytes)
                break;
        } else {
            if (fill_ - pos < frameBytes + kMp3HeaderBytes)
                break;
            const std::uint8_t* next = buffer_ + pos + frameBytes;
            if (!ParseMp3FrameHeader(next) || !SameStreamFormat(buffer_ + pos, next)) {
                ++pos;
                continue;
            }
            locked_ = true;
        }
        onFrame(buffer_ + pos, *header);
        pos += frameBytes;
    }
    std::memmove(buffer_, buffer_ + pos, fill_ - pos);
    fill_ -= pos;
}

}  // namespace sonvale

#endif
