#include "intake/packet_handler.h"

#include "intake/decoder_binding.h"
#include "intake/pcm_queue.h"

namespace sonvale {

void PacketHandler::Handle(const std::uint8_t* data, int count)
{
    if (count <= 0)
        return;
    // Without a decoder the data is read and dropped.
    if (!decoder_.Usable())
        return;
    gate_.Feed(data, static_cast<std::size_t>(count),
               [this](const std::uint8_t* frame, const Mp3FrameHeader& header) { DecodeFrame(frame, header); });
}

void PacketHandler::StartNewStream()
{
    gate_.Reset();
    decoder_.Restart();
    fruitlessBytes_ = 0;
    streamRate_ = streamChannels_ = streamFrameSamples_ = 0;
}

void PacketHandler::DecodeFrame(const std::uint8_t* frame, const Mp3FrameHeader& header)
{
    // The decoder locks onto the first format it sees and decodes nothing of
    // another one, so a change of format needs a fresh state.
    const bool newFormat = header.sampleRate != streamRate_ || header.channels != streamChannels_ ||
                           header.samplesPerFrame != streamFrameSamples_;
    if (streamRate_ != 0 && newFormat) {
        decoder_.Restart();
        fruitlessBytes_ = 0;
    }
    streamRate_ = header.sampleRate;
    streamChannels_ = header.channels;
    streamFrameSamples_ = header.samplesPerFrame;
    if (!decoder_.Usable())
        return;

    fruitlessBytes_ += static_cast<std::size_t>(header.frameBytes);
    int n = decoder_.DecodeOneFrame(frame, static_cast<std::size_t>(header.frameBytes), left_, right_);
    while (n > 0) {
        fruitlessBytes_ = 0;
        Queue(n, header.channels);
        n = decoder_.DecodeOneFrame(frame, 0, left_, right_);
    }
    if (fruitlessBytes_ >= kFruitlessInputLimit) {
        decoder_.Restart();
        fruitlessBytes_ = 0;
        streamRate_ = streamChannels_ = streamFrameSamples_ = 0;
    }
}

void PacketHandler::Queue(int frames, int channels)
{
    // One decode call yields at most one frame; anything more is not audio.
    if (frames > kInterleaveCapacity)
        return;
    // The decoder writes only the left plane for mono streams.
    const short* right = channels == 1 ? left_ : right_;
    std::uint8_t* out = interleaved_;
    for (int i = 0; i < frames; ++i) {
        const auto l = static_cast<std::uint16_t>(left_[i]);
        const auto r = static_cast<std::uint16_t>(right[i]);
        *out++ = static_cast<std::uint8_t>(l);
        *out++ = static_cast<std::uint8_t>(l >> 8);
        *out++ = static_cast<std::uint8_t>(r);
        *out++ = static_cast<std::uint8_t>(r >> 8);
    }
    queue_.Admit(interleaved_, frames);
}

}  // namespace sonvale
