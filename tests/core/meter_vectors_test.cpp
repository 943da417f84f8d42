// The bars every build lays out for the blocks in tests/data/meter_vectors.bin
// are the ones the Linux build wrote there, to the bit.
#include <gtest/gtest.h>

#include "spectrum/bar_meter.h"
#include "tests/spectrum/meter_vectors.h"

namespace sonvale::test {
namespace {

TEST(MeterVectors, EveryBuildLaysOutTheRecordedBars)
{
    const auto vectors = ReadMeterVectors(SONVALE_METER_VECTORS);
    ASSERT_TRUE(vectors) << "cannot read " << SONVALE_METER_VECTORS;
    ASSERT_GE(vectors->entries.size(), 60u);
    SpectrumAnalyzer analyzer;
    for (std::size_t b = 0; b < vectors->blocks.size(); ++b)
        EXPECT_EQ(HashBlockSpectrum(analyzer, vectors->blocks[b]), vectors->spectrumHashes[b]) << "spectrum of block " << b;
    int lit = 0;
    for (const MeterVector& entry : vectors->entries) {
        const MeterBars bars = LayOutBars(analyzer, vectors->blocks[entry.block].data(), entry.width, entry.height);
        for (int i = 0; i < kMeterBarCount; ++i) {
            const MeterBar& want = entry.bars[i];
            const MeterBar& got = bars[i];
            ASSERT_TRUE(got.left == want.left && got.top == want.top && got.right == want.right &&
                        got.bottom == want.bottom && got.red == want.red && got.green == want.green &&
                        got.blue == want.blue)
                << "block " << entry.block << " at " << entry.width << "x" << entry.height << ", bar " << i
                << ": top " << got.top << " green " << int(got.green) << ", recorded top " << want.top
                << " green " << int(want.green);
            lit += want.top < want.bottom;
        }
    }
    // The file is worth checking only if its bars stand at many heights.
    EXPECT_GT(lit, 500);
}

}  // namespace
}  // namespace sonvale::test
