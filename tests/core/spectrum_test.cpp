// The analyser against a plain DFT and its known answers; the meter's bands,
// clamp, geometry and colours through blocks made to land in them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

Samples Sine(double amplitude, double bin)
{
    Samples x(kN);
    for (int n = 0; n < kN; ++n)
        x[n] = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * bin * n / kN));
    return x;
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

TEST(SpectrumAnalyzer, KnownInputsGiveTheirKnownSpectra)
{
    SpectrumAnalyzer analyzer;
    for (float v : {0.75f, -0.5f}) {
        const auto amp = Amplitudes(analyzer, Samples(kN, v));
        EXPECT_FLOAT_EQ(amp[0], std::fabs(v));
        for (int k = 1; k < kSpectrumBins; ++k)
            ASSERT_LT(amp[k], 1e-6f) << "constant " << v << ", bin " << k;
    }

    Samples impulse(kN, 0.0f);
    impulse[0] = 1.0f;
    const auto spike = Amplitudes(analyzer, impulse);
    EXPECT_FLOAT_EQ(spike[0], 1.0f / kN);
    for (int k = 1; k < kSpectrumBins; ++k)
        ASSERT_FLOAT_EQ(spike[k], 2.0f / kN) << "bin " << k;

    // All of an alternating signal sits at N/2, which is not reported.
    Samples alternating(kN);
    for (int n = 0; n < kN; ++n)
        alternating[n] = n % 2 ? -1.0f : 1.0f;
    for (float a : Amplitudes(analyzer, alternating))
        ASSERT_LT(a, 1e-6f);

    for (int bin : {1, 34, 500, 1023}) {
        const auto amp = Amplitudes(analyzer, Sine(0.8, bin));
        EXPECT_NEAR(amp[bin], 0.8f, 1e-5f) << "bin " << bin;
        EXPECT_LT(amp[bin - 1], 1e-5f);
        if (bin + 1 < kSpectrumBins) {
            EXPECT_LT(amp[bin + 1], 1e-5f);
        }
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

TEST(SpectrumAnalyzer, CarriesNothingFromOneTransformToTheNext)
{
    SpectrumAnalyzer analyzer;
    const Samples tone = Sine(0.3, 77.5);
    const auto first = Amplitudes(analyzer, tone);
    Amplitudes(analyzer, Samples(kN, 1.0f));
    const auto again = Amplitudes(analyzer, tone);
    EXPECT_EQ(std::memcmp(first.data(), again.data(), first.size() * sizeof(float)), 0);
    // The process-wide analyser is the same computation.
    EXPECT_EQ(std::memcmp(first.data(), ProcessSpectrumAnalyzer().Transform(tone.data()), first.size() * sizeof(float)), 0);
}

// A block of identical channels holding `mono` (full scale 1.0).
Block StereoBlock(const Samples& mono)
{
    Block block(kMeterBlockBytes);
    for (int f = 0; f < kN; ++f) {
        const auto v = static_cast<std::int16_t>(std::lround(std::clamp(mono[f], -1.0f, 1.0f) * 32767.0f));
        for (int c = 0; c < 2; ++c) {
            block[4 * f + 2 * c] = static_cast<std::uint8_t>(v & 0xFF);
            block[4 * f + 2 * c + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
        }
    }
    return block;
}

MeterBars LayOut(const Block& block, int width, int height)
{
    static SpectrumAnalyzer analyzer;
    return LayOutBars(analyzer, block.data(), width, height);
}

TEST(BarMeterLevels, GainBandsAndClampAtTheirEdges)
{
    EXPECT_EQ(MeterLevel(0.005f), 0.005f);
    EXPECT_NEAR(MeterLevel(0.0051f), 0.1442f, 1e-4f);
    EXPECT_EQ(MeterLevel(0.009f), 0.009f);
    EXPECT_EQ(MeterLevel(0.01f), 0.01f);
    EXPECT_EQ(MeterLevel(0.05f), static_cast<float>(0.05f * 9.424778));
    EXPECT_EQ(MeterLevel(0.1f), 0.1f);
    EXPECT_EQ(MeterLevel(0.3f), static_cast<float>(0.3f * 3.1415925));
    EXPECT_EQ(MeterLevel(0.4f), 0.9f);  // 1.2566 after the gain
    EXPECT_EQ(MeterLevel(0.5f), 0.5f);
    EXPECT_EQ(MeterLevel(1.0f), 1.0f);
    EXPECT_EQ(MeterLevel(1.01f), 0.9f);
    EXPECT_EQ(MeterLevel(0.0f), 0.0f);

    const MeterBar clamped = PlaceBar(0, MeterLevel(0.4f), 10.0f, 100);
    EXPECT_EQ(clamped.green, 229);
    EXPECT_EQ(clamped.top, 10);  // (1 - 0.9f) x 100 = 10.0000024
    const MeterBar half = PlaceBar(0, MeterLevel(0.5f), 10.0f, 100);
    EXPECT_EQ(half.green, 127);
    EXPECT_EQ(half.top, 50);
    const MeterBar full = PlaceBar(0, MeterLevel(1.0f), 10.0f, 57);
    EXPECT_EQ(full.top, 0);
    EXPECT_EQ(full.green, 255);
    const MeterBar over = PlaceBar(0, MeterLevel(1.01f), 10.0f, 57);
    EXPECT_EQ(over.top, 5);
    EXPECT_EQ(over.green, 229);
}

TEST(BarMeterLayout, SilenceIsAnEmptyMeterWithBarsWhereTheyBelong)
{
    const MeterBars wide = LayOut(Block(kMeterBlockBytes, 0), 300, 60);
    for (int i = 0; i < kMeterBarCount; ++i) {
        EXPECT_EQ(wide[i].left, 10 * i);
        EXPECT_EQ(wide[i].right, 10 * i + 8);  // columns 10i .. 10i+7, two black after
        EXPECT_EQ(wide[i].top, 60);
        EXPECT_EQ(wide[i].bottom, 60);
        EXPECT_EQ(wide[i].green, 0);
    }
    const MeterBars narrow = LayOut(Block(kMeterBlockBytes, 0), 100, 60);
    EXPECT_EQ(narrow[3].left, 9);  // 3 x 3.3333333f = 9.9999998, cut
    EXPECT_EQ(narrow[3].right, 10);
    EXPECT_EQ(narrow[4].left, 13);
    EXPECT_EQ(narrow[4].right, 14);
    EXPECT_EQ(narrow[29].right, 97);
}

TEST(BarMeterLayout, ChannelsAreMixedAndTheLowestBarWeighedByLnTwo)
{
    // Full scale on both channels is a mono 1.0: bar 0 holds amp[0] = 1, so
    // E = ln 2 = 0.693, above every band, drawn as it is.
    const MeterBars dc = LayOut(StereoBlock(Samples(kN, 1.0f)), 300, 100);
    EXPECT_EQ(dc[0].top, 30);
    EXPECT_EQ(dc[0].green, 176);
    EXPECT_EQ(dc[0].red, 255);
    EXPECT_EQ(dc[0].blue, 50);
    // -32768 on both is slightly beyond -1.0 and lands on the same pixels.
    Block negative(kMeterBlockBytes);
    for (int i = 0; i < kMeterBlockBytes; i += 2) {
        negative[i] = 0x00;
        negative[i + 1] = 0x80;
    }
    EXPECT_EQ(LayOut(negative, 300, 100)[0].top, 30);

    // Opposite channels cancel to silence.
    Block cancelling(kMeterBlockBytes);
    for (int f = 0; f < kN; ++f) {
        cancelling[4 * f + 0] = 0x20;  // +20000 left, -20000 right
        cancelling[4 * f + 1] = 0x4E;
        cancelling[4 * f + 2] = 0xE0;
        cancelling[4 * f + 3] = 0xB1;
    }
    for (const MeterBar& bar : LayOut(cancelling, 300, 100))
        EXPECT_EQ(bar.top, 100);
}

TEST(BarMeterLayout, TonesLandInEachBandOfTheGain)
{
    // A tone at the centre of bar i, of amplitude E / ln(i + 2), gives that
    // bar the energy E (within the noise of 16-bit samples).
    struct Case { int bar; double energy; int top; int green; };
    const Case cases[] = {
        {2, 0.007, 80, 50},     // x 28.274332 = 0.198
        {3, 0.0095, 99, 2},     // between the bands: unchanged
        {5, 0.05, 52, 120},     // x 9.424778 = 0.471
        {7, 0.2, 37, 160},      // x 3.1415925 = 0.628
        {9, 0.4, 10, 229},      // 1.2566, clamped to 0.9
        {12, 0.735, 26, 187},   // above the bands: unchanged
        {25, 1.3, 10, 229},     // above 1.0: 0.9
    };
    Samples mono(kN, 0.0f);
    for (const Case& c : cases) {
        const Samples tone = Sine(c.energy / std::log(c.bar + 2.0), kMeterBinsPerBar * c.bar + 17);
        for (int n = 0; n < kN; ++n)
            mono[n] += tone[n];
    }
    const MeterBars bars = LayOut(StereoBlock(mono), 300, 100);
    for (const Case& c : cases) {
        EXPECT_EQ(bars[c.bar].top, c.top) << "bar " << c.bar;
        EXPECT_EQ(bars[c.bar].green, c.green) << "bar " << c.bar;
    }
    // The rest carry only rounding noise: at most the bottom row.
    for (int i = 0; i < kMeterBarCount; ++i) {
        if (std::none_of(std::begin(cases), std::end(cases), [i](const Case& c) { return c.bar == i; })) {
            EXPECT_GE(bars[i].top, 99) << "bar " << i;
        }
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

    const Block loud = StereoBlock(Samples(kN, 1.0f));
    ProcessPcmQueue().Admit(loud.data(), kN);
    fakes.audio.Done(0);
    fakes.audio.Done(1);  // the queue is empty again: silence
    ASSERT_EQ(host.surface.painted.size(), 2u);
    EXPECT_EQ(host.surface.painted[0].second.width, 300);
    EXPECT_EQ(host.surface.painted[0].second.height, 60);
    EXPECT_EQ(host.surface.painted[0].first[0].top, LayOut(loud, 300, 60)[0].top);
    EXPECT_LT(host.surface.painted[0].first[0].top, 60);
    EXPECT_EQ(host.surface.painted[1].first[0].top, 60);
    dialog.OnDestroy();
}

}  // namespace
}  // namespace sonvale::test
