// Synthetic Layer III frames: a real header and a tag byte, for tests that
// need frames the gate accepts without needing real audio in them.
#ifndef SONVALE_TESTS_SUPPORT_FRAMES_H
#define SONVALE_TESTS_SUPPORT_FRAMES_H

#include <cstdint>
#include <vector>

#include "intake/mp3_frame.h"

namespace sonvale::test {

inline constexpr std::uint8_t kStereo44k128[4] = {0xFF, 0xFB, 0x90, 0x00};  // 417 bytes
inline constexpr std::uint8_t kMono44k128[4] = {0xFF, 0xFB, 0x90, 0xC0};
inline constexpr std::uint8_t kMono22k32[4] = {0xFF, 0xF3, 0x40, 0xC0};     // MPEG-2, 104 bytes
inline constexpr std::uint8_t kLayer1[4] = {0xFF, 0xFF, 0x90, 0x00};

// One frame with the header; byte 4 holds the tag, the rest is filler.
inline std::vector<std::uint8_t> Frame(const std::uint8_t (&header)[4], std::uint8_t tag)
{
    const auto parsed = ParseMp3FrameHeader(header);
    std::vector<std::uint8_t> frame(parsed ? static_cast<std::size_t>(parsed->frameBytes) : 200, 0x55);
    std::copy(header, header + 4, frame.begin());
    frame[4] = tag;
    return frame;
}

inline std::vector<std::uint8_t> Frames(const std::uint8_t (&header)[4], std::uint8_t firstTag, int count)
{
    std::vector<std::uint8_t> stream;
    for (int i = 0; i < count; ++i) {
        const auto frame = Frame(header, static_cast<std::uint8_t>(firstTag + i));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    return stream;
}

inline std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace sonvale::test

#endif
