// Blocks and the bars the Linux build lays out for them, kept in a file that
// every build checks, so that no build can drift from the others by a bit.
// Little-endian: "SVMETER1", block count, entry count (32-bit), the blocks of
// 8192 bytes, per block the FNV-1a hash (64-bit) of the bits of its 1024
// amplitudes, then per entry its block, width, height (32-bit) and 30 bars of
// left, top, right, bottom (32-bit) and red, green, blue (8-bit).
#ifndef SONVALE_TESTS_SPECTRUM_METER_VECTORS_H
#define SONVALE_TESTS_SPECTRUM_METER_VECTORS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "spectrum/bar_meter.h"

namespace sonvale::test {

struct MeterVector {
    int block = 0;
    int width = 0;
    int height = 0;
    MeterBars bars{};
};

struct MeterVectors {
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::uint64_t> spectrumHashes;  // one per block
    std::vector<MeterVector> entries;
};

// Bars are coarse; the hash of the analyser's output shows a difference in
// the last bit of any amplitude.
std::uint64_t HashSpectrum(const float* amplitudes);
// The hash of a block's spectrum as the meter computes it.
std::uint64_t HashBlockSpectrum(SpectrumAnalyzer& analyzer, const std::vector<std::uint8_t>& block);

bool WriteMeterVectors(const std::string& path, const MeterVectors& vectors);
std::optional<MeterVectors> ReadMeterVectors(const std::string& path);

}  // namespace sonvale::test

#endif
