#include "tests/intake/real_decoder.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "intake/decoder_binding.h"
#include "intake/mp3_frame.h"

namespace sonvale::test {

std::string TestDataPath(const std::string& name)
{
#ifdef _WIN32
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::filesystem::path exe(self);
#else
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe");
#endif
    return (exe.parent_path() / "testdata" / name).string();
}

std::vector<std::uint8_t> DecodeWhole(DecoderLibrary& library, const std::vector<std::uint8_t>& mp3, bool mono)
{
    library.Load();
    auto init = reinterpret_cast<DecoderBinding::InitEntry>(library.Resolve("hip_decode_init"));
    auto decode = reinterpret_cast<DecoderBinding::DecodeEntry>(library.Resolve("hip_decode"));
    auto exit = reinterpret_cast<DecoderBinding::ExitEntry>(library.Resolve("hip_decode_exit"));
    if (!init || !decode || !exit)
        return {};
    // The entry decodes all it is given at once, without an output bound:
    // room for every frame the file holds, and some.
    std::size_t samples = 16 * 1152;
    for (std::size_t at = 0; at + kMp3HeaderBytes <= mp3.size();) {
        const auto header = ParseMp3FrameHeader(mp3.data() + at);
        samples += header ? static_cast<std::size_t>(header->samplesPerFrame) : 0;
        at += header ? static_cast<std::size_t>(header->frameBytes) : 1;
    }
    std::vector<short> left(samples), right(samples);
    void* handle = init();
    std::vector<unsigned char> input(mp3.begin(), mp3.end());
    // The first call may stop at the stream's tag frame; calls with no new
    // bytes then decode the rest.
    std::vector<std::uint8_t> frames;
    int n = decode(handle, input.data(), input.size(), left.data(), right.data());
    for (int call = 0; call < 8 && frames.empty(); ++call) {
        if (n <= 0)
            n = decode(handle, input.data(), 0, left.data(), right.data());
        else
            break;
    }
    exit(handle);
    for (int i = 0; i < n; ++i) {
        const auto l = static_cast<std::uint16_t>(left[static_cast<std::size_t>(i)]);
        const auto r = static_cast<std::uint16_t>(mono ? left[static_cast<std::size_t>(i)] : right[static_cast<std::size_t>(i)]);
        frames.insert(frames.end(), {static_cast<std::uint8_t>(l), static_cast<std::uint8_t>(l >> 8),
                                     static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(r >> 8)});
    }
    return frames;
}

}  // namespace sonvale::test
