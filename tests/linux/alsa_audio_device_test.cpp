// The ALSA device over a stand-in stream that grants less than two blocks,
// takes at most a few hundred frames a call, says -EAGAIN when full and runs
// dry when the UI thread is late, as a busy sound server may: what plays must
// still be every written block, whole and in order, and playing must go on.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "playback/qt/alsa_audio_device.h"

namespace sonvale::test {
namespace {

using Clock = std::chrono::steady_clock;

class MeagreStream final : public linux_shell::PcmStream {
public:
    MeagreStream(std::vector<std::uint8_t>& played, const bool& gone = kHere) : played_(played), gone_(gone) {}

    long BufferFrames() const override { return kBuffer; }
    long Write(const std::uint8_t* frames, long count) override
    {
        Drain();
        if (gone_)
            return -ENODEV;
        if (ranDry_)
            return -EPIPE;
        running_ = true;
        const long room = kBuffer - level_;
        if (room == 0)
            return -EAGAIN;
        const long taken = std::min({count, room, kMostPerCall});
        played_.insert(played_.end(), frames, frames + taken * 4);
        level_ += taken;
        return taken;
    }
    long Avail() override
    {
        Drain();
        if (gone_)
            return -ENODEV;
        return ranDry_ ? -EPIPE : kBuffer - level_;
    }
    bool Recover(long) override
    {
        if (gone_)
            return false;
        ranDry_ = running_ = false;
        level_ = 0;
        return true;
    }

private:
    static constexpr bool kHere = false;
    static constexpr long kBuffer = 3000;
    static constexpr long kMostPerCall = 700;

    // Plays in real time; running dry is an underrun, reported until the
    // stream is prepared again, as ALSA does.
    void Drain()
    {
        const Clock::time_point now = Clock::now();
        const long frames = static_cast<long>(std::chrono::duration<double>(now - last_).count() * kSampleRate);
        if (frames == 0)
            return;
        if (running_ && frames > level_)
            ranDry_ = true;
        level_ = std::max(0L, level_ - frames);
        last_ = now;
    }

    std::vector<std::uint8_t>& played_;
    const bool& gone_;
    long level_ = 0;
    bool running_ = false;
    bool ranDry_ = false;
    Clock::time_point last_ = Clock::now();
};

class NumberedBlocks final : public AudioDeviceClient {
public:
    explicit NumberedBlocks(AudioDevice& device) : device_(device) {}

    void Start()
    {
        for (int index : {0, 1})
            Refill(index);
    }
    void OnBlockDone(int index) override
    {
        done.push_back(index);
        // A busy moment of the UI thread: the device runs dry.
        if (done.size() == 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        if (written.size() < 12 * kBlockBytes)
            Refill(index);
    }

    std::vector<std::uint8_t> written;
    std::vector<int> done;

private:
    void Refill(int index)
    {
        for (int i = 0; i < kBlockBytes; ++i)
            blocks_[index][i] = static_cast<std::uint8_t>(written.size() / 3 + i * 7);
        written.insert(written.end(), blocks_[index], blocks_[index] + kBlockBytes);
        device_.Write(index, blocks_[index]);
    }

    AudioDevice& device_;
    std::uint8_t blocks_[2][kBlockBytes];
};

TEST(AlsaOutput, PlaysEveryBlockWholeThroughShortWritesAFullBufferAndAnUnderrun)
{
    std::vector<std::uint8_t> played;
    qt::AlsaAudioDevice device("meagre", [&](std::string*) { return std::make_unique<MeagreStream>(played); });
    NumberedBlocks blocks(device);
    ASSERT_TRUE(device.Open(blocks));
    blocks.Start();

    QDeadlineTimer deadline(5000);
    while (blocks.done.size() < 12 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    device.Close();

    ASSERT_EQ(blocks.done.size(), 12u);
    for (std::size_t i = 0; i < blocks.done.size(); ++i)
        EXPECT_EQ(blocks.done[i], static_cast<int>(i % 2));
    ASSERT_EQ(played.size(), blocks.written.size());
    EXPECT_TRUE(std::equal(played.begin(), played.end(), blocks.written.begin()));
}

// A sound server that hangs keeps an open waiting for half a minute: the
// player must go on (the meter, the intake) while the device comes back.
TEST(AlsaOutput, AReopenThatTakesItsTimeDoesNotHoldUpTheEventLoop)
{
    std::vector<std::uint8_t> played;
    bool gone = false;
    std::atomic<int> opens = 0;
    qt::AlsaAudioDevice device("slow", [&](std::string*) {
        if (opens++ > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return std::make_unique<MeagreStream>(played, gone);
    });
    NumberedBlocks blocks(device);
    ASSERT_TRUE(device.Open(blocks));
    blocks.Start();

    QTimer tick;
    Clock::time_point last = Clock::now();
    Clock::duration longest{};
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, Clock::now() - last);
        last = Clock::now();
    });
    tick.start(10);
    QDeadlineTimer deadline(8000);
    while (blocks.done.size() < 8 && !deadline.hasExpired()) {
        gone = blocks.done.size() >= 3 && opens == 1;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    device.Close();

    EXPECT_EQ(opens, 2);
    EXPECT_GE(blocks.done.size(), 8u) << "never played again";
    EXPECT_LT(longest, std::chrono::milliseconds(300));
}

}  // namespace
}  // namespace sonvale::test
