#include "spectrum/bar_meter.h"

#include "spectrum/meter_surface.h"
#include "spectrum/portable_math.h"

namespace sonvale {
namespace {

// Higher bands carry less energy; the weights lift them, ln 2 to ln 31.
// Computed once, so a block costs no logarithm.
const std::array<float, kMeterBarCount>& BarWeights()
{
    static const std::array<float, kMeterBarCount> weights = [] {
        std::array<float, kMeterBarCount> w;
        for (int i = 0; i < kMeterBarCount; ++i)
            w[i] = static_cast<float>(PortableLog(static_cast<double>(static_cast<float>(i)) + 2.0));
        return w;
    }();
    return weights;
}

}  // namespace

void MixToMono(const std::uint8_t* block, float* mono)
{
    for (int f = 0; f < kSpectrumInputs; ++f) {
        const std::uint8_t* frame = block + 4 * f;
        const auto left = static_cast<std::int16_t>(frame[0] | frame[1] << 8);
        const auto right = static_cast<std::int16_t>(frame[2] | frame[3] << 8);
        mono[f] = static_cast<float>((left + right) / 32767.0 * 0.5);
    }
}

MeterBars LayOutBars(SpectrumAnalyzer& analyzer, const std::uint8_t* block, int width, int height)
{
    std::array<float, kSpectrumInputs> mono;
    MixToMono(block, mono.data());
    const float* amp = analyzer.Transform(mono.data());

    const float barWidth = static_cast<float>(static_cast<double>(width) / kMeterBarCount);
    const auto& weights = BarWeights();
    MeterBars bars;
    for (int i = 0; i < kMeterBarCount; ++i) {
        float sum = 0.0f;
        for (int k = kMeterBinsPerBar * i; k < kMeterBinsPerBar * (i + 1); ++k)
            sum = static_cast<float>(static_cast<double>(sum) + amp[k]);
        const float energy = static_cast<float>(static_cast<double>(sum) * weights[i]);
        bars[i] = PlaceBar(i, MeterLevel(energy), barWidth, height);
    }
    return bars;
}

float MeterLevel(float energy)
{
    // Quiet bands are lifted so that soft music still moves the bars. The
    // gaps between the bands and the clamp to 0.9 rather than 1.0 are the
    // meter's look as users know it, kept as it is.
    float level = energy;
    if (0.005f < level && level < 0.009f)
        level = static_cast<float>(static_cast<double>(level) * 28.274332f);
    else if (0.01f < level && level < 0.1f)
        level = static_cast<float>(static_cast<double>(level) * 9.424778f);
    else if (0.1f < level && level < 0.5f)
        level = static_cast<float>(static_cast<double>(level) * 3.1415925f);
    if (level > 1.0f)
        level = 0.9f;
    return level;
}

MeterBar PlaceBar(int index, float level, float barWidth, int height)
{
    MeterBar bar;
    // Products are cut straight from double precision: 3 x 3.3333333f is
    // 9.9999998 and must give 9, not a rounded-up 10.
    bar.left = static_cast<int>(index * static_cast<double>(barWidth));
    bar.top = static_cast<int>((1.0 - level) * height);
    bar.right = bar.left + static_cast<int>(barWidth) - 2;
    bar.bottom = height;
    bar.red = 255;
    bar.green = static_cast<std::uint8_t>(static_cast<int>(static_cast<double>(level) * 255.0) & 0xFF);
    bar.blue = 50;
    return bar;
}

void BarMeter::Measure(MeterSurface* surface)
{
    surface_ = surface;
    if (!surface_)
        return;
    const MeterSize size = surface_->Measure();
    width_ = size.width;
    height_ = size.height;
}

void BarMeter::Update(const std::uint8_t* block)
{
    if (!surface_)
        return;
    surface_->Paint(LayOutBars(ProcessSpectrumAnalyzer(), block, width_, height_), {width_, height_});
}

}  // namespace sonvale
