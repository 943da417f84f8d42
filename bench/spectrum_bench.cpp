// What the meter costs per played block, beside the real FFTs of FFTW and
// KissFFT doing the same 2048 samples to 1024 amplitudes. Ours is a plain
// radix-2 complex transform with double-precision intermediates, so that both
// builds draw the same bars; this shows how far that is from libraries tuned
// for speed, and what the whole meter takes out of the 46 ms a block plays for.
//
// A console run ends with the medians and the ratios (CPU time, so that other
// work on a shared machine weighs less); other formats get them on stderr.
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <kiss_fftr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/new_counter.h"
#include "spectrum/bar_meter.h"
#include "spectrum/spectrum_analyzer.h"

namespace {

using namespace sonvale;

constexpr int kWidth = 362;
constexpr int kHeight = 41;
constexpr double kRate = 44100.0;
constexpr double kBlockMs = 1000.0 * kSpectrumInputs / kRate;

// Music-like rather than silence or one clean tone: three tones off the bin
// centres (so energy leaks into the bars around them, as with real songs), a
// little apart between the channels, over quiet white noise. Always the same
// bytes, from a fixed xorshift state.
std::array<std::uint8_t, kMeterBlockBytes> MakeBlock()
{
    std::array<std::uint8_t, kMeterBlockBytes> block{};
    std::uint32_t noise = 0x2545F491u;
    const auto nextNoise = [&noise] {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        return static_cast<double>(noise) / 4294967295.0 * 2.0 - 1.0;
    };
    const double pi = 3.14159265358979323846;
    for (int f = 0; f < kSpectrumInputs; ++f) {
        const double t = f / kRate;
        const double tones[2] = {
            0.30 * std::sin(2 * pi * 220.5 * t) + 0.15 * std::sin(2 * pi * 1003.0 * t) +
                0.05 * std::sin(2 * pi * 3517.0 * t),
            0.28 * std::sin(2 * pi * 220.5 * t + 0.4) + 0.17 * std::sin(2 * pi * 1003.0 * t + 1.1) +
                0.04 * std::sin(2 * pi * 3517.0 * t + 2.0),
        };
        for (int c = 0; c < 2; ++c) {
            const double value = tones[c] + 0.02 * nextNoise();
            const auto sample = static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
            const auto bits = static_cast<std::uint16_t>(sample);
            block[4 * f + 2 * c] = static_cast<std::uint8_t>(bits & 0xFF);
            block[4 * f + 2 * c + 1] = static_cast<std::uint8_t>(bits >> 8);
        }
    }
    return block;
}

const std::array<std::uint8_t, kMeterBlockBytes>& Block()
{
    static const auto block = MakeBlock();
    return block;
}

// The block mixed to mono exactly as the meter does, for the transforms alone.
const std::array<float, kSpectrumInputs>& Mono()
{
    static const auto mono = [] {
        std::array<float, kSpectrumInputs> out{};
        const auto& block = Block();
        for (int f = 0; f < kSpectrumInputs; ++f) {
            const std::uint8_t* frame = block.data() + 4 * f;
            const auto left = static_cast<std::int16_t>(frame[0] | frame[1] << 8);
            const auto right = static_cast<std::int16_t>(frame[2] | frame[3] << 8);
            out[f] = static_cast<float>((left + right) / 32767.0 * 0.5);
        }
        return out;
    }();
    return mono;
}

void ReportAllocations(benchmark::State& state, std::size_t before)
{
    const std::size_t calls = bench::OperatorNewCalls() - before;
    state.counters["allocs_per_block"] = benchmark::Counter(static_cast<double>(calls), benchmark::Counter::kAvgIterations);
}

// The whole of a block's meter work: mix, transform, thirty bars.
void MeterBlock(benchmark::State& state)
{
    SpectrumAnalyzer analyzer;
    const auto& block = Block();
    const std::size_t before = bench::OperatorNewCalls();
    for (auto _ : state) {
        auto bars = LayOutBars(analyzer, block.data(), kWidth, kHeight);
        benchmark::DoNotOptimize(bars);
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, before);
}

// Our transform alone, amplitudes included.
void OurTransform(benchmark::State& state)
{
    SpectrumAnalyzer analyzer;
    const auto& mono = Mono();
    const std::size_t before = bench::OperatorNewCalls();
    for (auto _ : state) {
        const float* amplitudes = analyzer.Transform(mono.data());
        benchmark::DoNotOptimize(amplitudes);
        benchmark::ClobberMemory();
    }
    ReportAllocations(state, before);
}

// Single precision, the scaling ours uses: 1/N for the mean, 2/N above it.
void Amplitudes(const float* re, const float* im, std::size_t stride, float* out)
{
    const float scale = 2.0f / kSpectrumInputs;
    for (int k = 0; k < kSpectrumBins; ++k) {
        const float r = re[k * stride];
        const float i = im[k * stride];
        out[k] = std::sqrt(r * r + i * i) * scale;
    }
    out[0] *= 0.5f;
}

// A library's amplitudes must be ours give or take single-precision rounding,
// or the comparison would be of different work.
void SameAmplitudes(benchmark::State& state, const float* theirs)
{
    SpectrumAnalyzer analyzer;
    const float* ours = analyzer.Transform(Mono().data());
    float worst = 0.0f;
    for (int k = 0; k < kSpectrumBins; ++k)
        worst = std::max(worst, std::fabs(ours[k] - theirs[k]));
    if (worst > 1e-4f)
        state.SkipWithError("amplitudes differ from ours");
}

struct FftwRig {
    float* in = fftwf_alloc_real(kSpectrumInputs);
    fftwf_complex* out = fftwf_alloc_complex(kSpectrumBins + 1);
    // Measured once per process: FFTW_MEASURE tries its codelets on this machine.
    fftwf_plan plan = fftwf_plan_dft_r2c_1d(kSpectrumInputs, in, out, FFTW_MEASURE);
    std::array<float, kSpectrumBins> amplitudes{};
    ~FftwRig()
    {
        fftwf_destroy_plan(plan);
        fftwf_free(out);
        fftwf_free(in);
    }
};

// FFTW's real transform of the same samples, then the amplitudes; the copy in
// stands for ours taking the samples into its own buffers.
void FftwReal(benchmark::State& state)
{
    static FftwRig rig;
    const auto& mono = Mono();
    for (auto _ : state) {
        std::copy(mono.begin(), mono.end(), rig.in);
        fftwf_execute(rig.plan);
        Amplitudes(&rig.out[0][0], &rig.out[0][1], 2, rig.amplitudes.data());
        benchmark::DoNotOptimize(rig.amplitudes.data());
        benchmark::ClobberMemory();
    }
    SameAmplitudes(state, rig.amplitudes.data());
}

void KissReal(benchmark::State& state)
{
    kiss_fftr_cfg config = kiss_fftr_alloc(kSpectrumInputs, 0, nullptr, nullptr);
    std::vector<kiss_fft_cpx> out(kSpectrumBins + 1);
    std::array<float, kSpectrumBins> amplitudes{};
    const auto& mono = Mono();
    for (auto _ : state) {
        kiss_fftr(config, mono.data(), out.data());
        Amplitudes(&out[0].r, &out[0].i, 2, amplitudes.data());
        benchmark::DoNotOptimize(amplitudes.data());
        benchmark::ClobberMemory();
    }
    kiss_fftr_free(config);
    SameAmplitudes(state, amplitudes.data());
}

BENCHMARK(MeterBlock)->Unit(benchmark::kMicrosecond);
BENCHMARK(OurTransform)->Unit(benchmark::kMicrosecond);
BENCHMARK(FftwReal)->Unit(benchmark::kMicrosecond);
BENCHMARK(KissReal)->Unit(benchmark::kMicrosecond);

// Passes everything on to the reporter the flags chose and keeps, per
// benchmark, the median CPU time (or the only run's, without repetitions).
class Medians : public benchmark::BenchmarkReporter {
public:
    explicit Medians(benchmark::BenchmarkReporter* display) : display_(display) {}

    bool ReportContext(const Context& context) override { return display_->ReportContext(context); }
    void Finalize() override { display_->Finalize(); }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!median && run.run_type != Run::RT_Iteration)
                continue;
            Figure& figure = figures_[run.run_name.function_name];
            if (figure.median && !median)
                continue;
            figure = {run.GetAdjustedCPUTime(), median, -1.0};
            if (const auto allocs = run.counters.find("allocs_per_block"); allocs != run.counters.end())
                figure.allocs = allocs->second.value;
        }
        display_->ReportRuns(runs);
    }

    void PrintSummary(std::FILE* out) const
    {
        if (figures_.empty())
            return;
        std::fprintf(out, "\nper block of %.1f ms, %s CPU time:\n", kBlockMs,
                     std::any_of(figures_.begin(), figures_.end(), [](const auto& f) { return f.second.median; })
                         ? "median"
                         : "single run");
        const char* labels[][2] = {{"MeterBlock", "mix + transform + layout"},
                                   {"OurTransform", "our transform alone"},
                                   {"FftwReal", "FFTW r2c + amplitudes"},
                                   {"KissReal", "KissFFT r2c + amplitudes"}};
        for (const auto& [name, label] : labels) {
            const auto found = figures_.find(name);
            if (found == figures_.end())
                continue;
            std::fprintf(out, "  %-26s %8.2f us  %6.3f%% of the block", label, found->second.time,
                         100.0 * found->second.time / (kBlockMs * 1000.0));
            if (found->second.allocs >= 0)
                std::fprintf(out, "  heap allocations: %g", found->second.allocs);
            std::fprintf(out, "\n");
        }
        const char* libraries[][2] = {{"FftwReal", "FFTW"}, {"KissReal", "KissFFT"}};
        for (const auto& [library, label] : libraries) {
            const auto theirs = figures_.find(library);
            if (theirs == figures_.end() || theirs->second.time <= 0)
                continue;
            std::fprintf(out, "  ours / %s:", label);
            if (const auto mine = figures_.find("OurTransform"); mine != figures_.end())
                std::fprintf(out, " transform %.1fx", mine->second.time / theirs->second.time);
            if (const auto mine = figures_.find("MeterBlock"); mine != figures_.end())
                std::fprintf(out, "  whole block %.1fx", mine->second.time / theirs->second.time);
            std::fprintf(out, "\n");
        }
    }

private:
    struct Figure {
        double time = 0;
        bool median = false;
        double allocs = -1.0;
    };
    benchmark::BenchmarkReporter* display_;
    std::map<std::string, Figure> figures_;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    // Owned by the library, which hands out the same one every time.
    benchmark::BenchmarkReporter* display = benchmark::CreateDefaultDisplayReporter();
    Medians medians(display);
    benchmark::RunSpecifiedBenchmarks(&medians);
    medians.PrintSummary(dynamic_cast<benchmark::ConsoleReporter*>(display) ? stdout : stderr);
    benchmark::Shutdown();
    return 0;
}
