// The platform's real LAME library, for tests that decode real streams.
#ifndef SONVALE_TESTS_INTAKE_REAL_DECODER_H
#define SONVALE_TESTS_INTAKE_REAL_DECODER_H

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include "intake/win32/win32_decoder_library.h"
#else
#include "intake/linux/linux_decoder_library.h"
#endif

namespace sonvale::test {

#ifdef _WIN32
using RealDecoderLibrary = win32::Win32DecoderLibrary;
#else
using RealDecoderLibrary = linux_shell::LinuxDecoderLibrary;
#endif

// Test streams made at build time, in testdata/ beside the test executables.
std::string TestDataPath(const std::string& name);

inline std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// What decoding the whole file in one hip_decode call gives, interleaved as the
// player queues it (mono on both channels).
std::vector<std::uint8_t> DecodeWhole(DecoderLibrary& library, const std::vector<std::uint8_t>& mp3, bool mono);

}  // namespace sonvale::test

#endif
