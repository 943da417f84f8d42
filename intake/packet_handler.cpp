#include "intake/packet_handler.h"

#include "intake/decoder_binding.h"
#include "intake/pcm_queue.h"
#include "playback/audio_device.h"

namespace sonvale {

static_assert(RateConverter::kOutputCapacity <= kInterleaveCapacity);

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
    FinishConversion();
    gate_.Reset();
    decoder_.Restart();
    fruitlessBytes_ = 0;
    streamRate_ = streamChannels_ = streamFrameSamples_ = 0;
    drift_.Reset();
}

void PacketHandler::DecodeFrame(const std::uint8_t* frame, const Mp3FrameHeader& header)
{
    // The decoder locks onto the first format it sees and decodes nothing of
    // another one, so a change of format needs a fresh state.
    const bool newFormat = header.sampleRate != streamRate_ || header.channels != streamChannels_ ||
                           header.samplesPerFrame != streamFrameSamples_;
    if (streamRate_ != 0 && newFormat) {
        FinishConversion();
        decoder_.Restart();
        fruitlessBytes_ = 0;
        drift_.Reset();
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
        Queue(n, header);
        n = decoder_.DecodeOneFrame(frame, 0, left_, right_);
    }
    if (fruitlessBytes_ >= kFruitlessInputLimit) {
        decoder_.Restart();
        fruitlessBytes_ = 0;
        streamRate_ = streamChannels_ = streamFrameSamples_ = 0;
    }
}

void PacketHandler::Queue(int frames, const Mp3FrameHeader& header)
{
    // One decode call yields at most one frame; anything more is not audio.
    if (frames > kInterleaveCapacity)
        return;
    // The decoder writes only the left plane for mono streams.
    const short* right = header.channels == 1 ? left_ : right_;
    if (header.sampleRate == kSampleRate) {
        FinishConversion();
        Admit(left_, right, frames);
        return;
    }
    // A fresh decoder state after a restart of its own may bring another
    // format without the handler having seen the change.
    if (!converter_.Active() || converter_.InputRate() != header.sampleRate ||
        converter_.Channels() != header.channels) {
        FinishConversion();
        if (!converter_.Start(header.sampleRate, header.channels, header.samplesPerFrame))
            return;
    }
    converter_.Convert(left_, right, frames, [this](const short* l, const short* r, int n) { Admit(l, r, n); });
}

void PacketHandler::FinishConversion()
{
    converter_.Finish([this](const short* l, const short* r, int n) { Admit(l, r, n); });
}

void PacketHandler::Admit(const short* left, const short* right, int frames)
{
    std::uint8_t* out = interleaved_;
    for (int i = 0; i < frames; ++i) {
        const auto l = static_cast<std::uint16_t>(left[i]);
        const auto r = static_cast<std::uint16_t>(right[i]);
        *out++ = static_cast<std::uint8_t>(l);
        *out++ = static_cast<std::uint8_t>(l >> 8);
        *out++ = static_cast<std::uint8_t>(r);
        *out++ = static_cast<std::uint8_t>(r >> 8);
    }
    const int count = drift_.Correct(interleaved_, frames, kInterleaveCapacity);
    if (!queue_.Admit(interleaved_, count))
        drift_.Resettle();
}

}  // namespace sonvale
