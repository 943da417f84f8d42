#include "tests/spectrum/meter_vectors.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace sonvale::test {
namespace {

constexpr char kMagic[8] = {'S', 'V', 'M', 'E', 'T', 'E', 'R', '1'};

void Put32(std::vector<std::uint8_t>& out, std::int64_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

class Reader {
public:
    explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
    bool Take(std::size_t count, const std::uint8_t** at)
    {
        if (bytes_.size() - offset_ < count)
            return false;
        *at = bytes_.data() + offset_;
        offset_ += count;
        return true;
    }
    bool Int(int* value)
    {
        const std::uint8_t* p;
        if (!Take(4, &p))
            return false;
        *value = static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24);
        return true;
    }
    bool AtEnd() const { return offset_ == bytes_.size(); }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t offset_ = 0;
};

}  // namespace

std::uint64_t HashSpectrum(const float* amplitudes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (int k = 0; k < kSpectrumBins; ++k) {
        std::uint32_t bits;
        std::memcpy(&bits, &amplitudes[k], sizeof bits);
        for (int shift = 0; shift < 32; shift += 8) {
            hash ^= (bits >> shift) & 0xFF;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

std::uint64_t HashBlockSpectrum(SpectrumAnalyzer& analyzer, const std::vector<std::uint8_t>& block)
{
    std::vector<float> mono(kSpectrumInputs);
    MixToMono(block.data(), mono.data());
    return HashSpectrum(analyzer.Transform(mono.data()));
}

bool WriteMeterVectors(const std::string& path, const MeterVectors& vectors)
{
    std::vector<std::uint8_t> out(std::begin(kMagic), std::end(kMagic));
    Put32(out, static_cast<std::int64_t>(vectors.blocks.size()));
    Put32(out, static_cast<std::int64_t>(vectors.entries.size()));
    for (const auto& block : vectors.blocks)
        out.insert(out.end(), block.begin(), block.end());
    for (std::uint64_t hash : vectors.spectrumHashes) {
        Put32(out, static_cast<std::int64_t>(hash & 0xFFFFFFFFu));
        Put32(out, static_cast<std::int64_t>(hash >> 32));
    }
    for (const MeterVector& entry : vectors.entries) {
        Put32(out, entry.block);
        Put32(out, entry.width);
        Put32(out, entry.height);
        for (const MeterBar& bar : entry.bars) {
            for (int v : {bar.left, bar.top, bar.right, bar.bottom})
                Put32(out, v);
            out.insert(out.end(), {bar.red, bar.green, bar.blue});
        }
    }
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

std::optional<MeterVectors> ReadMeterVectors(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    Reader in(bytes);
    const std::uint8_t* p;
    int blocks = 0, entries = 0;
    if (!in.Take(sizeof kMagic, &p) || std::memcmp(p, kMagic, sizeof kMagic) != 0 || !in.Int(&blocks) ||
        !in.Int(&entries) || blocks < 0 || entries < 0)
        return std::nullopt;
    MeterVectors vectors;
    for (int b = 0; b < blocks; ++b) {
        if (!in.Take(kMeterBlockBytes, &p))
            return std::nullopt;
        vectors.blocks.emplace_back(p, p + kMeterBlockBytes);
    }
    for (int b = 0; b < blocks; ++b) {
        int low = 0, high = 0;
        if (!in.Int(&low) || !in.Int(&high))
            return std::nullopt;
        vectors.spectrumHashes.push_back(static_cast<std::uint32_t>(low) |
                                         static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32);
    }
    for (int e = 0; e < entries; ++e) {
        MeterVector entry;
        if (!in.Int(&entry.block) || !in.Int(&entry.width) || !in.Int(&entry.height) || entry.block < 0 ||
            entry.block >= blocks)
            return std::nullopt;
        for (MeterBar& bar : entry.bars) {
            if (!in.Int(&bar.left) || !in.Int(&bar.top) || !in.Int(&bar.right) || !in.Int(&bar.bottom) ||
                !in.Take(3, &p))
                return std::nullopt;
            bar.red = p[0];
            bar.green = p[1];
            bar.blue = p[2];
        }
        vectors.entries.push_back(entry);
    }
    if (!in.AtEnd())
        return std::nullopt;
    return vectors;
}

}  // namespace sonvale::test
