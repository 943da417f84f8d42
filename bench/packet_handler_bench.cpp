// Decoding cost of the packet handler with the real decoder: how many times
// faster than real time a stream is turned into queued audio, and what one
// full 8000-byte read costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "intake/decoder_binding.h"
#include "intake/linux/linux_decoder_library.h"
#include "intake/mp3_frame.h"
#include "intake/packet_handler.h"
#include "intake/pcm_queue.h"
#include "tests/intake/real_decoder.h"
#include "tests/support/fakes.h"

namespace {

using namespace sonvale;

struct Rig {
    test::RecordingBoxes boxes;
    linux_shell::LinuxDecoderLibrary library;
    DecoderBinding binding{library, boxes};
    PcmQueue queue;
    PacketHandler handler{binding, queue};
};

// A test stream as a player would get it: read after read of 8000 bytes.
void Decode(benchmark::State& state, const char* file)
{
    const auto mp3 = test::ReadFile(test::TestDataPath(file));
    if (mp3.empty()) {
        state.SkipWithError("test stream missing: build the tests first");
        return;
    }
    auto rig = std::make_unique<Rig>();
    const auto header = ParseMp3FrameHeader(mp3.data());
    double audioSeconds = 0;
    std::size_t reads = 0;
    for (auto _ : state) {
        rig->handler.StartNewStream();
        std::size_t queued = 0;
        for (std::size_t at = 0; at < mp3.size(); at += kReceiveChunk) {
            const std::size_t size = std::min<std::size_t>(kReceiveChunk, mp3.size() - at);
            std::copy_n(mp3.data() + at, size, rig->handler.ReceiveBuffer());
            rig->handler.HandleReceived(static_cast<int>(size));
            queued += static_cast<std::size_t>(rig->queue.Fill());
            rig->queue.Clear();
            ++reads;
        }
        benchmark::DoNotOptimize(queued);
        audioSeconds += static_cast<double>(queued) / (4.0 * (header ? header->sampleRate : 44100));
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    // Seconds per 8000-byte read.
    state.counters["per_read"] =
        benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Decode128(benchmark::State& state) { Decode(state, "stereo_44k_128.mp3"); }
void Decode320(benchmark::State& state) { Decode(state, "stereo_44k_320.mp3"); }
BENCHMARK(Decode128)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode320)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
