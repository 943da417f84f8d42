// How the two ways of correcting a clock drift sound and what they cost:
// dropping or repeating single frames where the sound changes least (what the
// player does), against libsoxr's variable-rate resampler at the same ratio.
// A tone goes through each for a minute; every 2048-frame window of the
// output is fitted with the tone at the frequency it has there, and what the
// fit leaves over (noise and distortion) is given against the tone, in dB.
// A window that holds a dropped or repeated frame shows the one-frame step
// in time as residual.
#include <soxr.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "intake/drift_controller.h"

namespace {

constexpr double kRate = 44100;
constexpr int kFrame = 1152;
constexpr int kSeconds = 60;
constexpr double kPi = 3.14159265358979323846;

std::vector<std::int16_t> Tone(double hz)
{
    std::vector<std::int16_t> pcm(static_cast<std::size_t>(kRate * kSeconds) * 2);
    for (std::size_t i = 0; i < pcm.size() / 2; ++i)
        pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(16384 * std::sin(2 * kPi * hz * i / kRate)));
    return pcm;
}

// Residual of the best fit a*sin + b*cos + c at hz over each window, left
// channel; worst and median window, in dB below the tone.
void Residual(const std::vector<std::int16_t>& pcm, double hz, double skipFrames, double& worst, double& median)
{
    const int window = 2048;
    std::vector<double> levels;
    for (std::size_t at = static_cast<std::size_t>(skipFrames); at + window <= pcm.size() / 2; at += window) {
        double ss = 0, sc = 0, cc = 0, s1 = 0, c1 = 0, n = window, ys = 0, yc = 0, y1 = 0, yy = 0;
        for (int i = 0; i < window; ++i) {
            const double phase = 2 * kPi * hz * double(i) / kRate;
            const double s = std::sin(phase), c = std::cos(phase), y = pcm[2 * (at + i)];
            ss += s * s; sc += s * c; cc += c * c; s1 += s; c1 += c;
            ys += y * s; yc += y * c; y1 += y; yy += y * y;
        }
        // Normal equations of the 3-parameter fit, solved by Cramer's rule.
        const double m[3][3] = {{ss, sc, s1}, {sc, cc, c1}, {s1, c1, n}};
        const double v[3] = {ys, yc, y1};
        auto det = [](const double a[3][3]) {
            return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                   a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        };
        const double d = det(m);
        double p[3];
        for (int k = 0; k < 3; ++k) {
            double mk[3][3];
            for (int r = 0; r < 3; ++r)
                for (int col = 0; col < 3; ++col)
                    mk[r][col] = col == k ? v[r] : m[r][col];
            p[k] = det(mk) / d;
        }
        double residual = 0, tone = 0;
        for (int i = 0; i < window; ++i) {
            const double phase = 2 * kPi * hz * double(i) / kRate;
            const double fit = p[0] * std::sin(phase) + p[1] * std::cos(phase) + p[2];
            const double e = pcm[2 * (at + i)] - fit;
            residual += e * e;
            tone += fit * fit;
        }
        levels.push_back(10 * std::log10(std::max(residual, 1e-9) / tone));
    }
    std::sort(levels.begin(), levels.end());
    worst = levels.back();
    median = levels[levels.size() / 2];
}

struct Outcome {
    std::vector<std::int16_t> pcm;
    double cpuMs = 0;
    double delayFrames = 0;
};

Outcome Stuffed(const std::vector<std::int16_t>& in, double ppm)
{
    sonvale::DriftController controller;
    controller.Hold(ppm);
    Outcome out;
    std::vector<std::uint8_t> frames((kFrame + 1) * 4);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at + 2 * kFrame <= in.size(); at += 2 * kFrame) {
        std::copy_n(reinterpret_cast<const std::uint8_t*>(in.data() + at), kFrame * 4, frames.begin());
        const int n = controller.Correct(frames.data(), kFrame, kFrame + 1);
        const auto* samples = reinterpret_cast<const std::int16_t*>(frames.data());
        out.pcm.insert(out.pcm.end(), samples, samples + 2 * n);
    }
    out.cpuMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return out;
}

Outcome Resampled(const std::vector<std::int16_t>& in, double ppm)
{
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_VR);
    soxr_t soxr = soxr_create(2, 1, 2, &error, &io, &quality, nullptr);
    Outcome out;
    if (error) {
        std::fprintf(stderr, "soxr: %s\n", error);
        return out;
    }
    // Input frames per output frame: dropping ppm of the frames.
    soxr_set_io_ratio(soxr, 1 / (1 - ppm * 1e-6), 0);
    std::vector<std::int16_t> buffer(2 * 2 * kFrame);
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t at = 0; at + 2 * kFrame <= in.size(); at += 2 * kFrame) {
        std::size_t used = 0, made = 0;
        soxr_process(soxr, in.data() + at, kFrame, &used, buffer.data(), 2 * kFrame, &made);
        out.pcm.insert(out.pcm.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(2 * made));
    }
    out.cpuMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    out.delayFrames = soxr_delay(soxr);
    soxr_delete(soxr);
    return out;
}

}  // namespace

int main()
{
    std::printf("| tone | ppm | method | residual, worst window | median window | CPU per minute of audio | delay |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (const double hz : {1000.0, 8000.0}) {
        const auto tone = Tone(hz);
        for (const double ppm : {100.0, -100.0, 500.0}) {
            const double played = hz * (1 + ppm * 1e-6);
            double worst = 0, median = 0;
            const Outcome stuffed = Stuffed(tone, ppm);
            // Between two corrections the tone keeps its own frequency.
            Residual(stuffed.pcm, hz, 0, worst, median);
            std::printf("| %.0f Hz | %+.0f | single frames | %.1f dB | %.1f dB | %.2f ms | 0 ms |\n", hz, ppm, worst,
                        median, stuffed.cpuMs);
            const Outcome resampled = Resampled(tone, ppm);
            // The resampler's own start-up is not the correction's doing.
            Residual(resampled.pcm, played, 4096, worst, median);
            std::printf("| %.0f Hz | %+.0f | soxr variable rate | %.1f dB | %.1f dB | %.2f ms | %.1f ms |\n", hz, ppm,
                        worst, median, resampled.cpuMs, 1000 * resampled.delayFrames / kRate);
        }
    }
    return 0;
}
