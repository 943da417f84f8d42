// The 30-bar spectrum meter: each played block mixed to mono, transformed and
// turned into bar rectangles and colours. The arithmetic is fixed to the bit
// (single-precision values, double-precision expressions, truncation toward
// zero) so that every build draws the same pixels for the same block.
#ifndef SONVALE_SPECTRUM_BAR_METER_H
#define SONVALE_SPECTRUM_BAR_METER_H

#include <array>
#include <cstdint>

#include "spectrum/spectrum_analyzer.h"

namespace sonvale {

inline constexpr int kMeterBarCount = 30;
inline constexpr int kMeterBinsPerBar = 34;
// One output block: 2048 frames of 16-bit little-endian stereo, left first.
inline constexpr int kMeterBlockBytes = 8192;

struct MeterBar { int left, top, right, bottom; std::uint8_t red, green, blue; };
using MeterBars = std::array<MeterBar, kMeterBarCount>;

// Mixes one 8192-byte block to mono, transforms it and lays out the 30 bars for a meter of width x height pixels.
std::array<MeterBar, 30> LayOutBars(SpectrumAnalyzer& analyzer, const std::uint8_t* block, int width, int height);

// The first step: frame f of the block becomes (L + R) / 32767 x 0.5.
void MixToMono(const std::uint8_t* block, float* mono);

// The layout's last steps on their own, for levels no real block hits exactly.
// The gain bands and the clamp applied to a bar's weighted energy:
float MeterLevel(float energy);
// Bar `index` of a meter whose bars are `barWidth` apart, drawn at `level`.
MeterBar PlaceBar(int index, float level, float barWidth, int height);

class MeterSurface;

// The meter of one window: its size taken once, then a redraw per block.
class BarMeter {
public:
    // Without a surface (no window to draw in) updates draw nothing.
    void Measure(MeterSurface* surface);
    // Only reads the block, which is about to go back to the device.
    void Update(const std::uint8_t* block);

private:
    MeterSurface* surface_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

}  // namespace sonvale

#endif
