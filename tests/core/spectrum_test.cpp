// The analyser against a plain DFT, the meter's gain bands and clamp at their
// exact edges, and the window drawing each block it plays. Whole layouts, to
// the bit, are the business of the recorded meter vectors.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "app/main_window.h"
#include "app/window_host.h"
#include "intake/pcm_queue.h"
#include "spectrum/bar_meter.h"
#include "spectrum/meter_surface.h"
#include "spectrum/portable_math.h"
#include "spectrum/spectrum_analyzer.h"
#include "tests/support/fakes.h"

namespace sonvale::test {
namespace {

constexpr int kN = kSpectrumInputs;
using Samples = std::vector<float>;
using Block = std::vector<std::uint8_t>;

std::vector<float> Amplitudes(SpectrumAnalyzer& analyzer, const Samples& input)
{
    const float* amp = analyzer.Transform(input.data());
    return {amp, amp + kSpectrumBins};
}

TEST(PortableMath, GivesTheLibraryValuesEveryTableAndWeightUses)
{
    // Every angle the twiddle tables use is e x 6.283185f / 2048 for some e.
    for (int e = 0; e < kN; ++e) {
        const double theta = static_cast<float>(e * static_cast<double>(6.283185f) / kN);
        ASSERT_EQ(static_cast<float>(PortableSin(theta)), static_cast<float>(std::sin(theta))) << "e = " << e;
        ASSERT_EQ(static_cast<float>(PortableCos(theta)), static_cast<float>(std::cos(theta))) << "e = " << e;
        ASSERT_NEAR(PortableSin(theta), std::sin(theta), 4e-16);
        ASSERT_NEAR(PortableCos(theta), std::cos(theta), 4e-16);
    }
    for (double x : {2.0, 2048.0, 3.0, 17.0, 31.0, 0.001, 1.0, 1e6}) {
        EXPECT_EQ(static_cast<float>(PortableLog(x)), static_cast<float>(std::log(x))) << x;
        EXPECT_NEAR(PortableLog(x), std::log(x), 4e-16 * std::max(1.0, std::fabs(std::log(x)))) << x;
    }
}

TEST(SpectrumAnalyzer, MatchesADoublePrecisionDftWithinSinglePrecisionRounding)
{
    // Music-like input: a few tones off the bin centres plus noise.
    Samples x(kN);
    std::uint32_t state = 12345;
    for (int n = 0; n < kN; ++n) {
        state = state * 1664525u + 1013904223u;
        const double noise = (static_cast<double>(state >> 8) / (1 << 24) - 0.5) * 0.2;
        x[n] = static_cast<float>(0.4 * std::sin(0.0913 * n) + 0.25 * std::cos(1.7 * n + 0.3) + noise);
    }
    SpectrumAnalyzer analyzer;
    const auto amp = Amplitudes(analyzer, x);

    double worst = 0;
    for (int k = 0; k < kSpectrumBins; ++k) {
        double re = 0, im = 0;
        for (int n = 0; n < kN; ++n) {
            const double angle = 2.0 * std::numbers::pi * static_cast<double>((static_cast<long>(k) * n) % kN) / kN;
            re += x[n] * std::cos(angle);
            im -= x[n] * std::sin(angle);
        }
        const double expected = std::hypot(re, im) / kN * (k == 0 ? 1 : 2);
        worst = std::max(worst, std::fabs(amp[k] - expected));
    }
    // Every step rounds to single precision and the angles use 6.283185, not
    // 2 pi: about one single-precision step of the largest amplitude (0.4) is
    // expected (3.3e-8 measured); a wrong twiddle or order is far above.
    EXPECT_LT(worst, 3e-7) << "largest deviation from the DFT";
}

TEST(BarMeterLevels, GainBandsAndClampAtTheirEdges)
{
    // Each band's gain starts just above its lower edge; past 1.0 after the
    // gain, the level is 0.9.
    const std::pair<float, float> levels[] = {
        {0.0f, 0.0f}, {0.005f, 0.005f}, {0.009f, 0.009f}, {0.01f, 0.01f},
        {0.05f, static_cast<float>(0.05f * 9.424778)}, {0.1f, 0.1f},
        {0.3f, static_cast<float>(0.3f * 3.1415925)}, {0.4f, 0.9f} /* 1.2566 after the gain */,
        {0.5f, 0.5f}, {1.0f, 1.0f}, {1.01f, 0.9f}};
    for (const auto& [energy, level] : levels)
        EXPECT_EQ(MeterLevel(energy), level) << energy;
    EXPECT_NEAR(MeterLevel(0.0051f), 0.1442f, 1e-4f);

    struct Case { float level; int height, top, green; };
    const Case bars[] = {
        {0.9f, 100, 10, 229},  // (1 - 0.9f) x 100 = 10.0000024
        {0.5f, 100, 50, 127},
        {1.0f, 57, 0, 255},
        {0.9f, 57, 5, 229},
    };
    for (const Case& c : bars) {
        const MeterBar bar = PlaceBar(0, c.level, 10.0f, c.height);
        EXPECT_EQ(bar.top, c.top) << c.level << " of " << c.height;
        EXPECT_EQ(bar.green, c.green) << c.level << " of " << c.height;
    }
}

// Paints recorded as they come.
class RecordingSurface final : public MeterSurface {
public:
    MeterSize Measure() override
    {
        ++measured;
        return {300, 60};
    }
    void Paint(const MeterBars& bars, MeterSize size) override { painted.push_back({bars, size}); }

    int measured = 0;
    std::vector<std::pair<MeterBars, MeterSize>> painted;
};

TEST(BarMeterInWindow, EveryRefilledBlockIsDrawnAtTheMeasuredSize)
{
    FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    struct Host final : WindowHost {
        void EndModal(int) override {}
        MeterSurface* Meter() override { return &surface; }
        RecordingSurface surface;
    } host;
    dialog.OnInitDialog(host);
    EXPECT_EQ(host.surface.measured, 1);
    EXPECT_TRUE(host.surface.painted.empty());  // the two first silent blocks are not drawn

    Block loud(kMeterBlockBytes);
    for (std::size_t i = 0; i < loud.size(); i += 2) {
        loud[i] = 0xFF;  // 32767 on both channels
        loud[i + 1] = 0x7F;
    }
    ProcessPcmQueue().Admit(loud.data(), kN);
    fakes.audio.Done(0);
    fakes.audio.Done(1);  // the queue is empty again: silence
    ASSERT_EQ(host.surface.painted.size(), 2u);
    EXPECT_EQ(host.surface.painted[0].second.width, 300);
    EXPECT_EQ(host.surface.painted[0].second.height, 60);
    SpectrumAnalyzer analyzer;
    EXPECT_EQ(host.surface.painted[0].first[0].top, LayOutBars(analyzer, loud.data(), 300, 60)[0].top);
    EXPECT_LT(host.surface.painted[0].first[0].top, 60);
    EXPECT_EQ(host.surface.painted[1].first[0].top, 60);
    dialog.OnDestroy();
}

}  // namespace
}  // namespace sonvale::test
