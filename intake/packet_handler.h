// Turns what one read brings (up to 8000 bytes of MP3) into stereo frames in
// the PCM queue. The decoder is fed one whole, checked frame at a time, so no
// input of any kind can make it write past the planes. Streams at another
// rate than the output's are converted to it on the way; 44100 Hz streams are
// queued exactly as decoded.
#ifndef SONVALE_INTAKE_PACKET_HANDLER_H
#define SONVALE_INTAKE_PACKET_HANDLER_H

#include <cstddef>
#include <cstdint>

#include "intake/drift_controller.h"
#include "intake/frame_gate.h"
#include "intake/rate_converter.h"

namespace sonvale {

class DecoderBinding;
class PcmQueue;

inline constexpr int kReceiveChunk = 8000;
inline constexpr int kDecodeCapacity = 40000;
inline constexpr int kInterleaveCapacity = 5000;
// Fed this much without a single sample out, the decoder is holding on to
// something it will never decode: start it afresh.
inline constexpr std::size_t kFruitlessInputLimit = 64 * 1024;

class PacketHandler {
public:
    PacketHandler(DecoderBinding& decoder, PcmQueue& queue) : decoder_(decoder), queue_(queue) {}
    PacketHandler(const PacketHandler&) = delete;
    PacketHandler& operator=(const PacketHandler&) = delete;

    // Where the endpoints read into; kReceiveChunk bytes.
    std::uint8_t* ReceiveBuffer() { return receive_; }
    // Decodes the first count bytes of the receive buffer.
    void HandleReceived(int count) { Handle(receive_, count); }
    void Handle(const std::uint8_t* data, int count);

    // A new sender: nothing of the previous stream carries over, but what the
    // rate converter still holds of it is queued first.
    void StartNewStream();

    // Sees the queue at every refill, and corrects what is queued.
    DriftController& Drift() { return drift_; }

private:
    void DecodeFrame(const std::uint8_t* frame, const Mp3FrameHeader& header);
    void Queue(int frames, const Mp3FrameHeader& header);
    void FinishConversion();
    void Admit(const short* left, const short* right, int frames);

    DecoderBinding& decoder_;
    PcmQueue& queue_;
    FrameGate gate_;
    RateConverter converter_;
    DriftController drift_;
    std::size_t fruitlessBytes_ = 0;
    int streamRate_ = 0;  // format the decoder state has seen; 0 when fresh
    int streamChannels_ = 0;
    int streamFrameSamples_ = 0;

    std::uint8_t receive_[kReceiveChunk];
    short left_[kDecodeCapacity];
    short right_[kDecodeCapacity];
    std::uint8_t interleaved_[kInterleaveCapacity * 4];
};

}  // namespace sonvale

#endif
