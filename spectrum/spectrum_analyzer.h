// A radix-2 FFT of 2048 real samples to 1024 amplitudes. Every value it stores
// is single precision and every intermediate is formed in double precision and
// rounded where it is stored, so that all builds (32-bit SSE2 Windows, 64-bit
// Linux) produce the same bits for the same input.
#ifndef SONVALE_SPECTRUM_SPECTRUM_ANALYZER_H
#define SONVALE_SPECTRUM_SPECTRUM_ANALYZER_H

#include <cstdint>
#include <vector>

namespace sonvale {

inline constexpr int kSpectrumInputs = 2048;
inline constexpr int kSpectrumBins = kSpectrumInputs / 2;

class SpectrumAnalyzer {
public:
    SpectrumAnalyzer();                          // N = 2048, tables built
    const float* Transform(const float* input);  // 2048 inputs -> 1024 amplitudes, owned by the analyser

private:
    // Twiddles are stored stage after stage, in the order the butterflies use them.
    std::vector<float> real_;
    std::vector<float> imag_;
    std::vector<float> amplitudes_;
    std::vector<float> sine_;
    std::vector<float> cosine_;
    std::vector<std::int32_t> reversed_;
    std::int32_t size_;
    std::int32_t half_;
    std::int32_t stages_;
};

// The one analyser of the process, built before the application starts.
SpectrumAnalyzer& ProcessSpectrumAnalyzer();

}  // namespace sonvale

#endif
