// An hour of listening in simulated time: a sender whose clock runs fast or
// slow against the device's, packets late by up to 40 ms, the packet handler,
// the queue and the output cycle as the player wires them.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "intake/decoder_binding.h"
#include "intake/packet_handler.h"
#include "intake/pcm_queue.h"
#include "playback/output_cycle.h"
#include "tests/support/fakes.h"
#include "tests/support/frames.h"

namespace sonvale::test {
namespace {

// Takes blocks and gives them back when the simulation says; keeps nothing.
class ClockedDevice final : public AudioDevice {
public:
    bool Open(AudioDeviceClient& client) override
    {
        client_ = &client;
        return true;
    }
    void Write(int, const std::uint8_t*) override {}
    void Close() override { client_ = nullptr; }
    void Done(int index) { client_->OnBlockDone(index); }

private:
    AudioDeviceClient* client_ = nullptr;
};

struct Listening {
    int silentBlocks = 0;    // inside the stream, once it has started playing
    int flushes = 0;
    double startFill = 0;    // mean frames queued over the stream's 3rd to 23rd second
    double worstDeviation = 0;  // of a 10-second mean from startFill, in frames
    double lastMean = 0;
    std::int64_t corrected = 0;
    double learntPpm = 0;
};

constexpr double kFrameSeconds = 1152.0 / kSampleRate;
constexpr double kBlockSeconds = double(kBlockFrames) / kSampleRate;

// driftPpm > 0: the sender's frames come that much faster than the device
// plays them.
Listening Listen(double driftPpm, bool controlled, double seconds = 3600, std::uint32_t draws = 1)
{
    FakeServices fakes;
    fakes.decoder.samplesPerCall = 1152;
    DecoderBinding binding(fakes.decoder, fakes.boxes);
    auto queue = std::make_unique<PcmQueue>();
    PacketHandler handler(binding, *queue);
    handler.Drift().SetEnabled(controlled);
    ClockedDevice device;
    OutputCycle output(device, *queue);

    Listening result;
    const double streamStart = 0.5;
    bool playing = false;
    double playingSince = 0;
    double now = 0;
    double windowSum = 0;
    int windowBlocks = 0;
    bool haveStart = false;
    output.SetRefillObserver([&](int queuedFrames, bool tookBlock) {
        handler.Drift().OnRefill(queuedFrames, tookBlock);
        if (!playing) {
            playing = tookBlock;
            playingSince = now;
            return;
        }
        if (!tookBlock)
            ++result.silentBlocks;
        const double at = now - playingSince;
        if (at < 3)
            return;
        windowSum += queuedFrames;
        if (++windowBlocks < static_cast<int>((haveStart ? 10 : 20) / kBlockSeconds))
            return;
        const double mean = windowSum / windowBlocks;
        if (!haveStart)
            result.startFill = mean;
        else
            result.worstDeviation = std::max(result.worstDeviation, std::abs(mean - result.startFill));
        haveStart = true;
        result.lastMean = mean;
        windowSum = 0;
        windowBlocks = 0;
    });
    output.Start();

    std::mt19937 random(draws);
    std::uniform_real_distribution<double> lateness(0, 0.040);
    const auto frame = Frame(kStereo44k128, 1);
    const double framePeriod = kFrameSeconds / (1 + driftPpm * 1e-6);
    const auto frames = static_cast<std::int64_t>(seconds / framePeriod);
    std::int64_t sent = 0;
    double nextArrival = streamStart + lateness(random);
    double nextBlock = kBlockSeconds;
    int nextIndex = 0;
    while (sent < frames) {
        if (nextArrival < nextBlock) {
            now = nextArrival;
            const int before = queue->Fill();
            std::copy(frame.begin(), frame.end(), handler.ReceiveBuffer());
            handler.HandleReceived(static_cast<int>(frame.size()));
            if (queue->Fill() < before)
                ++result.flushes;
            ++sent;
            // In order, as over TCP: a packet cannot overtake the one before.
            nextArrival = std::max(nextArrival, streamStart + sent * framePeriod + lateness(random));
        } else {
            now = nextBlock;
            device.Done(nextIndex);
            nextIndex ^= 1;
            nextBlock += kBlockSeconds;
        }
    }
    result.corrected = handler.Drift().Dropped() + handler.Drift().Repeated();
    result.learntPpm = handler.Drift().DriftPpm();
    return result;
}

constexpr double kTenMs = 0.010 * kSampleRate;

// What a drifting sender costs without correction is what the arithmetic
// says: a block of silence each time a block's worth has been lost, a flush
// each time the queue has grown to its bound, and a delay that creeps.
TEST(ClockDrift, UncorrectedTheQueueRunsDryOrOverflowsOnSchedule)
{
    const double lostPerSecond = 100e-6 * kSampleRate;
    const Listening slow = Listen(-100, false);
    EXPECT_NEAR(slow.silentBlocks, 3600 * lostPerSecond / kBlockFrames, 1.0);  // one every 7.7 minutes
    EXPECT_EQ(slow.flushes, 0);

    const Listening fast = Listen(100, false);
    EXPECT_EQ(fast.silentBlocks, 0);
    EXPECT_EQ(fast.flushes, 0);  // the bound is two hours away
    EXPECT_NEAR(fast.lastMean - fast.startFill, 3600 * lostPerSecond, 0.02 * 3600 * lostPerSecond);  // 0.36 s

    // At 1000 ppm the queue reaches its bound (150000 bytes less room for one
    // more frame, at 8 bytes a frame) in about 13 minutes.
    const Listening faster = Listen(1000, false);
    const double boundFrames = (kQueueLimit - 8 * 1152) / 4.0;
    EXPECT_NEAR(faster.flushes, 3600 / (boundFrames / (10 * lostPerSecond)), 1.0);
    EXPECT_GE(faster.silentBlocks, faster.flushes);  // the refills after each flush find nothing
    EXPECT_EQ(slow.corrected + fast.corrected + faster.corrected, 0);
}

TEST(ClockDrift, CorrectedAnHourPlaysWithoutAGapOrAFlushAtAFlatDelay)
{
    for (const double ppm : {-100.0, 100.0}) {
        SCOPED_TRACE(ppm);
        const Listening heard = Listen(ppm, true);
        EXPECT_EQ(heard.silentBlocks, 0);
        EXPECT_EQ(heard.flushes, 0);
        EXPECT_LT(heard.worstDeviation, kTenMs);
        // About one frame in ten thousand, each dropped or repeated once.
        EXPECT_NEAR(heard.corrected, 3600 * 100e-6 * kSampleRate, 0.05 * 3600 * 100e-6 * kSampleRate);
    }
}

TEST(ClockDrift, WithoutDriftNothingIsTouched)
{
    for (const std::uint32_t draws : {1u, 2u, 3u}) {
        const Listening heard = Listen(0, true, 3600, draws);
        EXPECT_EQ(heard.corrected, 0) << draws;
        EXPECT_EQ(heard.silentBlocks, 0) << draws;
    }
}

// Beyond what the correction may do it does all it may, steadily, and the
// rest shows as it would have: half as often.
TEST(ClockDrift, BeyondItsRangeTheCorrectionHalvesTheDamage)
{
    const Listening uncorrected = Listen(-1000, false);
    const Listening heard = Listen(-1000, true);
    EXPECT_NEAR(heard.learntPpm, -kMaxCorrectionPpm, 1);
    EXPECT_NEAR(heard.silentBlocks, uncorrected.silentBlocks / 2.0, 2.0);
}

}  // namespace
}  // namespace sonvale::test

