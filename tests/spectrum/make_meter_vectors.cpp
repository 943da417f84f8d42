// Writes the meter's test vectors: a spread of blocks (silence, full scale,
// tones placed in each gain band, noise, sweeps) with the bars this build lays
// out for them at several meter sizes. Run by hand after a deliberate change
// to the meter; tests/data/meter_vectors.bin is its output.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numbers>

#include "spectrum/bar_meter.h"
#include "tests/spectrum/meter_vectors.h"

namespace {

using sonvale::test::MeterVectors;
using Block = std::vector<std::uint8_t>;
constexpr int kFrames = 2048;
constexpr double kRate = 44100.0;

// channel 0 left, 1 right; full scale 1.0.
Block Make(const std::function<double(int frame, int channel)>& signal)
{
    Block block(sonvale::kMeterBlockBytes);
    for (int f = 0; f < kFrames; ++f) {
        for (int c = 0; c < 2; ++c) {
            const long v = std::clamp(std::lround(signal(f, c) * 32767.0), -32768L, 32767L);
            block[4 * f + 2 * c] = static_cast<std::uint8_t>(v & 0xFF);
            block[4 * f + 2 * c + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
        }
    }
    return block;
}

double Tone(double hz, int frame, double phase = 0.0)
{
    return std::sin(2.0 * std::numbers::pi * hz * frame / kRate + phase);
}

// A tone at the centre of bar `bar` that gives it the energy `energy`.
double BarTone(int bar, double energy, int frame)
{
    const double bin = sonvale::kMeterBinsPerBar * bar + 17;
    return energy / std::log(bar + 2.0) * std::sin(2.0 * std::numbers::pi * bin * frame / kFrames);
}

struct Random {
    std::uint32_t state;
    double Next()  // -1 .. 1
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<double>(state) / 2147483648.0 - 1.0;
    }
};

std::vector<Block> Blocks()
{
    std::vector<Block> blocks;
    blocks.push_back(Make([](int, int) { return 0.0; }));
    blocks.push_back(Make([](int, int) { return 1.0; }));
    blocks.push_back(Make([](int, int) { return -2.0; }));
    blocks.push_back(Make([](int, int c) { return c ? -0.61 : 0.61; }));
    blocks.push_back(Make([](int f, int) {
        return BarTone(2, 0.007, f) + BarTone(3, 0.0095, f) + BarTone(5, 0.05, f) + BarTone(7, 0.2, f) +
               BarTone(9, 0.4, f) + BarTone(12, 0.735, f) + BarTone(25, 1.3, f);
    }));
    // Energies spread over every band and the gaps, on and between bins.
    for (std::uint32_t start : {1u, 77u, 4242u, 99991u}) {
        Random random{start};
        double level[30], offset[30], phase[30];
        for (int i = 0; i < 30; ++i) {
            level[i] = std::pow(10.0, -2.6 + 2.8 * (random.Next() + 1.0) / 2.0) / 8.0;
            offset[i] = 17.0 + 15.0 * random.Next();
            phase[i] = std::numbers::pi * random.Next();
        }
        blocks.push_back(Make([&](int f, int c) {
            double sum = 0;
            for (int i = 0; i < 30; ++i)
                sum += level[i] / std::log(i + 2.0) *
                       std::sin(2.0 * std::numbers::pi * (34 * i + offset[i]) * f / kFrames + phase[i] + 0.2 * c);
            return sum;
        }));
    }
    Random noise{2024};
    blocks.push_back(Make([&](int, int) { return noise.Next(); }));
    blocks.push_back(Make([&](int, int) { return 0.01 * noise.Next(); }));
    blocks.push_back(Make([](int f, int) { return Tone(441.0, f) >= 0 ? 0.9 : -0.9; }));
    blocks.push_back(Make([](int f, int) {
        const double t = f / kRate;
        const double seconds = kFrames / kRate;
        return 0.7 * std::sin(2.0 * std::numbers::pi * (20.0 * t + (20000.0 - 20.0) * t * t / (2.0 * seconds)));
    }));
    blocks.push_back(Make([](int f, int) { return f % 100 == 0 ? 0.95 : 0.0; }));
    blocks.push_back(Make([](int f, int c) { return 0.5 * (c ? Tone(5000.0, f) : Tone(1000.0, f, 1.0)); }));
    blocks.push_back(Make([](int f, int) { return BarTone(0, 0.0051, f) + BarTone(14, 0.00505, f); }));
    return blocks;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output file>\n", argv[0]);
        return 2;
    }
    MeterVectors vectors;
    vectors.blocks = Blocks();
    sonvale::SpectrumAnalyzer analyzer;
    for (const Block& block : vectors.blocks)
        vectors.spectrumHashes.push_back(sonvale::test::HashBlockSpectrum(analyzer, block));
    const int sizes[][2] = {{338, 60}, {300, 60}, {100, 40}, {31, 7}, {1, 1}};
    for (int b = 0; b < static_cast<int>(vectors.blocks.size()); ++b) {
        for (const auto& size : sizes)
            vectors.entries.push_back({b, size[0], size[1],
                                       sonvale::LayOutBars(analyzer, vectors.blocks[b].data(), size[0], size[1])});
    }
    if (!sonvale::test::WriteMeterVectors(argv[1], vectors)) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu blocks, %zu layouts\n", vectors.blocks.size(), vectors.entries.size());
    return 0;
}
