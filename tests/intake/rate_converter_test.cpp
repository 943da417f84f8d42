// Once a stream's converter is set up, converting its frames never calls the
// heap: not our code, and not the library's buffers, which the converter sizes
// when it starts.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bench/new_counter.h"
#include "intake/rate_converter.h"

namespace sonvale::test {
namespace {

TEST(RateConverter, ConvertsFrameAfterFrameWithoutTheHeapAtEveryRate)
{
    if (!bench::MallocCounted())
        GTEST_SKIP() << "malloc cannot be counted in this build";
    const int rates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 48000};
    for (const int rate : rates) {
        const int frameSamples = rate >= 32000 ? 1152 : 576;
        for (const int channels : {1, 2}) {
            RateConverter converter;
            ASSERT_TRUE(converter.Start(rate, channels, frameSamples)) << rate;
            std::vector<short> left(static_cast<std::size_t>(frameSamples));
            std::vector<short> right(left.size());
            long long in = 0;
            long long out = 0;
            const std::size_t before = bench::MallocCalls() + bench::OperatorNewCalls();
            for (int frame = 0; frame < 200; ++frame) {
                for (std::size_t i = 0; i < left.size(); ++i, ++in) {
                    left[i] = static_cast<short>(9000 * std::sin(2 * M_PI * 1000 * static_cast<double>(in) / rate));
                    right[i] = static_cast<short>(-left[i] / 2);
                }
                converter.Convert(left.data(), right.data(), frameSamples,
                                  [&](const short*, const short*, int frames) { out += frames; });
            }
            EXPECT_EQ(bench::MallocCalls() + bench::OperatorNewCalls(), before) << rate << " Hz, " << channels << " ch";
            // Whatever it waited for comes at the end, and nothing more.
            converter.Finish([&](const short*, const short*, int frames) { out += frames; });
            EXPECT_NEAR(static_cast<double>(out), static_cast<double>(in) * 44100 / rate, 1.0) << rate;
        }
    }
}

}  // namespace
}  // namespace sonvale::test
