#include "spectrum/spectrum_analyzer.h"

#include <cmath>
#include <utility>

#include "spectrum/portable_math.h"

namespace sonvale {
namespace {

// Static initialisation builds the tables, so the first played block finds
// them ready and no block ever pays for them.
SpectrumAnalyzer processAnalyzer;

std::int32_t ReverseBits(std::int32_t value, std::int32_t bits)
{
    std::int32_t reversed = 0;
    for (std::int32_t b = 0; b < bits; ++b) {
        reversed = (reversed << 1) | (value & 1);
        value >>= 1;
    }
    return reversed;
}

// Two products of singles are exact in double; only their sum is rounded.
float DotRounded(float a, float b, float c, float d)
{
    return static_cast<float>(static_cast<double>(a) * b + static_cast<double>(c) * d);
}

}  // namespace

SpectrumAnalyzer& ProcessSpectrumAnalyzer()
{
    return processAnalyzer;
}

SpectrumAnalyzer::SpectrumAnalyzer()
    : size_(kSpectrumInputs), half_(kSpectrumInputs / 2)
{
    // ln N / ln 2 from single-precision logarithms gives exactly 11 for 2048.
    const float lnSize = static_cast<float>(PortableLog(size_));
    const float lnTwo = static_cast<float>(PortableLog(2.0));
    stages_ = static_cast<std::int32_t>(static_cast<double>(lnSize) / lnTwo);

    real_.assign(size_, 0.0f);
    imag_.assign(size_, 0.0f);
    amplitudes_.assign(half_, 0.0f);
    sine_.assign(static_cast<std::size_t>(stages_) * half_, 0.0f);
    cosine_.assign(static_cast<std::size_t>(stages_) * half_, 0.0f);
    reversed_.assign(size_, 0);

    // Not 2*pi: the single-precision value of 6.283185 is what the angles use.
    const float turn = 6.283185f;
    std::size_t t = 0;
    for (std::int32_t s = 1; s <= stages_; ++s) {
        const std::int32_t span = half_ >> (s - 1);
        const std::int32_t shift = stages_ - s;
        for (std::int32_t group = 0; group < size_; group += 2 * span) {
            for (std::int32_t j = 0; j < span; ++j) {
                const std::int32_t e = ReverseBits((group + j) >> shift, stages_);
                const float theta = static_cast<float>(static_cast<double>(e) * turn / size_);
                sine_[t] = static_cast<float>(PortableSin(theta));
                cosine_[t] = static_cast<float>(PortableCos(theta));
                ++t;
            }
        }
    }
    for (std::int32_t j = 0; j < size_; ++j)
        reversed_[j] = ReverseBits(j, stages_);
}

const float* SpectrumAnalyzer::Transform(const float* input)
{
    const std::int32_t stride = kSpectrumInputs / size_;
    for (std::int32_t i = 0; i < size_; ++i) {
        real_[i] = input[i * stride];
        imag_[i] = 0.0f;
    }

    std::size_t t = 0;
    for (std::int32_t span = half_; span >= 1; span >>= 1) {
        for (std::int32_t group = 0; group < size_; group += 2 * span) {
            for (std::int32_t j = 0; j < span; ++j, ++t) {
                const std::int32_t p = group + j;
                const std::int32_t q = p + span;
                const float c = cosine_[t];
                const float s = sine_[t];
                const float tr = DotRounded(c, real_[q], s, imag_[q]);
                const float ti = DotRounded(c, imag_[q], -s, real_[q]);
                real_[q] = static_cast<float>(static_cast<double>(real_[p]) - tr);
                imag_[q] = static_cast<float>(static_cast<double>(imag_[p]) - ti);
                real_[p] = static_cast<float>(static_cast<double>(real_[p]) + tr);
                imag_[p] = static_cast<float>(static_cast<double>(imag_[p]) + ti);
            }
        }
    }

    for (std::int32_t k = 0; k < size_; ++k) {
        if (k < reversed_[k]) {
            std::swap(real_[k], real_[reversed_[k]]);
            std::swap(imag_[k], imag_[reversed_[k]]);
        }
    }

    for (std::int32_t k = 0; k < half_; ++k) {
        const float squared = DotRounded(real_[k], real_[k], imag_[k], imag_[k]);
        const float root = static_cast<float>(std::sqrt(static_cast<double>(squared)));
        const double scale = k == 0 ? 1.0 : 2.0;
        amplitudes_[k] = static_cast<float>(scale * root / size_);
    }
    return amplitudes_.data();
}

}  // namespace sonvale
