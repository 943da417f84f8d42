#include "intake/mp3_frame.h"

namespace sonvale {

namespace {

constexpr int kBitratesMpeg1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
constexpr int kBitratesMpeg2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
constexpr int kSampleRatesMpeg1[3] = {44100, 48000, 32000};

enum Version { kMpeg25 = 0, kReserved = 1, kMpeg2 = 2, kMpeg1 = 3 };

}  // namespace

std::optional<Mp3FrameHeader> ParseMp3FrameHeader(const std::uint8_t* p)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (p[1] >> 3) & 3;
    const int layer = (p[1] >> 1) & 3;  // 1 is Layer III
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (version == kReserved || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;

    Mp3FrameHeader header{};
    const bool mpeg1 = version == kMpeg1;
    header.bitrateKbps = mpeg1 ? kBitratesMpeg1[bitrateIndex] : kBitratesMpeg2[bitrateIndex];
    header.sampleRate = kSampleRatesMpeg1[rateIndex] >> (mpeg1 ? 0 : version == kMpeg2 ? 1 : 2);
    header.channels = (p[3] >> 6) == 3 ? 1 : 2;
    header.samplesPerFrame = mpeg1 ? 1152 : 576;
    const int padding = (p[2] >> 1) & 1;
    header.frameBytes = (mpeg1 ? 144000 : 72000) * header.bitrateKbps / header.sampleRate + padding;
    return header;
}

bool SameStreamFormat(const std::uint8_t* a, const std::uint8_t* b)
{
    // Version, layer, sample-rate index and the mono bit.
    return (a[1] & 0x1E) == (b[1] & 0x1E) && (a[2] & 0x0C) == (b[2] & 0x0C) && ((a[3] >> 6) == 3) == ((b[3] >> 6) == 3);
}

}  // namespace sonvale
