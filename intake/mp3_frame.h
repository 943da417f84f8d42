// MPEG audio Layer III frame headers: the only frames the player lets through
// to the decoder.
#ifndef SONVALE_INTAKE_MP3_FRAME_H
#define SONVALE_INTAKE_MP3_FRAME_H

#include <cstddef>
#include <cstdint>
#include <optional>

namespace sonvale {

struct Mp3FrameHeader {
    int bitrateKbps;       // 8 ... 320
    int sampleRate;        // 8000 ... 48000
    int channels;          // 1 or 2
    int frameBytes;        // whole frame, header included
    int samplesPerFrame;   // per channel: 1152 (MPEG-1) or 576 (MPEG-2 and 2.5)
};

inline constexpr std::size_t kMp3HeaderBytes = 4;
// 320 kbit/s at 32 kHz with padding, or 160 kbit/s at 8 kHz with padding.
inline constexpr int kMaxMp3FrameBytes = 1441;

// The header at p (4 bytes), if it starts a Layer III frame of any MPEG version
// with a valid bit-rate index (free format excluded) and sample-rate index.
std::optional<Mp3FrameHeader> ParseMp3FrameHeader(const std::uint8_t* p);

// True when two headers belong to one stream: same version, sample rate and
// channel count.
bool SameStreamFormat(const std::uint8_t* a, const std::uint8_t* b);

}  // namespace sonvale

#endif
