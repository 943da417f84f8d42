// Decoding cost of the packet handler with the real decoder: how many times
// faster than real time a stream is turned into queued audio, and what one
// full 8000-byte read costs; for streams at other rates, decoding and
// conversion together, and the conversion alone on the decoded audio.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "intake/decoder_binding.h"
#include "intake/linux/linux_decoder_library.h"
#include "intake/mp3_frame.h"
#include "intake/packet_handler.h"
#include "intake/pcm_queue.h"
#include "intake/rate_converter.h"
#include "playback/audio_device.h"
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

// A test stream as a player would get it: read after read of 8000 bytes, or
// fewer where one read would decode to more than the queue admits.
void Decode(benchmark::State& state, const char* file, std::size_t readSize = kReceiveChunk)
{
    const auto mp3 = test::ReadFile(test::TestDataPath(file));
    if (mp3.empty()) {
        state.SkipWithError("test stream missing: build the tests first");
        return;
    }
    auto rig = std::make_unique<Rig>();
    double audioSeconds = 0;
    std::size_t reads = 0;
    for (auto _ : state) {
        rig->handler.StartNewStream();
        std::size_t queued = 0;
        for (std::size_t at = 0; at < mp3.size(); at += readSize) {
            const std::size_t size = std::min<std::size_t>(readSize, mp3.size() - at);
            std::copy_n(mp3.data() + at, size, rig->handler.ReceiveBuffer());
            rig->handler.HandleReceived(static_cast<int>(size));
            queued += static_cast<std::size_t>(rig->queue.Fill());
            rig->queue.Clear();
            ++reads;
        }
        rig->handler.StartNewStream();  // the converter's tail
        queued += static_cast<std::size_t>(rig->queue.Fill());
        rig->queue.Clear();
        benchmark::DoNotOptimize(queued);
        audioSeconds += static_cast<double>(queued) / (4.0 * kSampleRate);
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
    // Seconds per 8000-byte read.
    state.counters["per_read"] =
        benchmark::Counter(static_cast<double>(reads), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// The conversion alone, frame by frame as the handler feeds it, on what the
// decoder makes of the stream; the converter's set-up, once per stream, is
// left out here and timed on its own below.
void Convert(benchmark::State& state, const char* file, bool mono)
{
    const auto mp3 = test::ReadFile(test::TestDataPath(file));
    const auto header = mp3.empty() ? std::nullopt : ParseMp3FrameHeader(mp3.data());
    if (!header) {
        state.SkipWithError("test stream missing: build the tests first");
        return;
    }
    linux_shell::LinuxDecoderLibrary library;
    const auto decoded = test::DecodeWhole(library, mp3, mono);
    std::vector<short> left(decoded.size() / 4), right(decoded.size() / 4);
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = static_cast<short>(decoded[4 * i] | decoded[4 * i + 1] << 8);
        right[i] = static_cast<short>(decoded[4 * i + 2] | decoded[4 * i + 3] << 8);
    }
    const int frame = header->samplesPerFrame;
    auto converter = std::make_unique<RateConverter>();
    double audioSeconds = 0;
    for (auto _ : state) {
        std::size_t made = 0;
        auto count = [&](const short*, const short*, int frames) { made += static_cast<std::size_t>(frames); };
        state.PauseTiming();
        converter->Start(header->sampleRate, header->channels, frame);
        state.ResumeTiming();
        for (std::size_t at = 0; at + static_cast<std::size_t>(frame) <= left.size(); at += static_cast<std::size_t>(frame))
            converter->Convert(left.data() + at, right.data() + at, frame, count);
        converter->Finish(count);
        benchmark::DoNotOptimize(made);
        audioSeconds += static_cast<double>(made) / kSampleRate;
    }
    state.counters["x_realtime"] = benchmark::Counter(audioSeconds, benchmark::Counter::kIsRate);
}

// What a stream's first frame costs the converter: the filters' design and the
// silence that sizes its buffers.
void ConverterStart(benchmark::State& state)
{
    auto converter = std::make_unique<RateConverter>();
    for (auto _ : state)
        converter->Start(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
}

void Decode128(benchmark::State& state) { Decode(state, "stereo_44k_128.mp3"); }
void Decode320(benchmark::State& state) { Decode(state, "stereo_44k_320.mp3"); }
void Decode48k320(benchmark::State& state) { Decode(state, "stereo_48k_320.mp3"); }
// At 32 kbit/s, 8000 bytes are 2 s of audio: more than the queue's limit.
void Decode22kMono(benchmark::State& state) { Decode(state, "mono_22k.mp3", 2000); }
void Convert48k320(benchmark::State& state) { Convert(state, "stereo_48k_320.mp3", false); }
void Convert22kMono(benchmark::State& state) { Convert(state, "mono_22k.mp3", true); }
BENCHMARK(Decode128)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode320)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode48k320)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode22kMono)->Unit(benchmark::kMillisecond);
BENCHMARK(Convert48k320)->Unit(benchmark::kMillisecond);
BENCHMARK(Convert22kMono)->Unit(benchmark::kMillisecond);
BENCHMARK(ConverterStart)->Args({48000, 2, 1152})->Args({22050, 1, 576})->Args({8000, 2, 576})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
