// What a screen grab of the meter must show while a stream plays: the bars of
// one of the stream's blocks, pixel for pixel. Portable, so that the Windows
// screenshot test compares the same way.
#ifndef SONVALE_TESTS_LINUX_METER_PIXELS_H
#define SONVALE_TESTS_LINUX_METER_PIXELS_H

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "spectrum/bar_meter.h"

namespace sonvale::test {

// 0xRRGGBB per pixel, row after row; empty when a grab failed.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;
};

struct Layout {
    int block;  // index of the 8192-byte block in the decoded stream
    MeterBars bars;
};

// The layouts of the stream's whole blocks, cut from its first sample as a
// fresh player queues them, leaving out those with no bar to see.
std::vector<Layout> LitLayouts(const std::vector<std::uint8_t>& pcm, int width, int height);

// Grabs until three show the layouts of three different blocks exactly, or the
// time is up. A grab may catch the meter before the stream arrives (or, under
// Wine, half redrawn), so a mismatch alone does not fail.
::testing::AssertionResult ShowsPlayedBlocks(const std::function<Pixels()>& grab, const std::vector<Layout>& layouts,
                                             std::chrono::milliseconds timeout);

}  // namespace sonvale::test

#endif
