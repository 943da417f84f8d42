// The whole path: sonvale-send over TCP and then UDP, the player, its output
// device, the test's PulseAudio null sink, and its monitor recorded with
// parec. The recording must hold the decoded streams block after block, with
// only silence around them: bit for bit through ALSA; through Wine, whose
// mixer goes by way of floating point, within a few units of the last bit.
//
// SONVALE_E2E_PLAYER runs another player instead of the Linux one (the
// Windows build under Wine), SONVALE_E2E_TOLERANCE allows that many units of
// difference per sample. SONVALE_E2E_LINUX_PLAYER runs another Linux player
// (the one a package installs), headless like the built one.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "playback/audio_device.h"
#include "tests/intake/real_decoder.h"
#include "tests/linux/player_process.h"

namespace sonvale::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

int Tolerance()
{
    const char* value = std::getenv("SONVALE_E2E_TOLERANCE");
    return value ? std::atoi(value) : 0;
}

int Sample(const Bytes& pcm, std::size_t at)
{
    return static_cast<std::int16_t>(pcm[at] | pcm[at + 1] << 8);
}

// A sound louder than the tolerance, on either channel.
std::size_t FirstSound(const Bytes& pcm, std::size_t from = 0)
{
    for (std::size_t at = from - from % 4; at + 4 <= pcm.size(); at += 4)
        if (std::abs(Sample(pcm, at)) > Tolerance() || std::abs(Sample(pcm, at + 2)) > Tolerance())
            return at;
    return pcm.size();
}

bool Silent(const Bytes& pcm, std::size_t from, std::size_t to)
{
    for (std::size_t at = from; at + 2 <= to; at += 2)
        if (std::abs(Sample(pcm, at)) > Tolerance())
            return false;
    return true;
}

bool SameFrame(const Bytes& expected, std::size_t i, const Bytes& recording, std::size_t j)
{
    return std::abs(Sample(expected, i) - Sample(recording, j)) <= Tolerance() &&
           std::abs(Sample(expected, i + 2) - Sample(recording, j + 2)) <= Tolerance();
}

// Follows `expected` through the recording from `at`, frame by frame, both
// channels. A device that ran dry may have put silence in between; those
// silent frames are counted in gaps. Returns where the stream ends in the
// recording, or nothing if it is not there in order.
std::optional<std::size_t> Follow(const Bytes& expected, const Bytes& recording, std::size_t at, std::size_t& gaps)
{
    std::size_t j = at;
    for (std::size_t i = 0; i + 4 <= expected.size();) {
        if (j + 4 > recording.size())
            return std::nullopt;
        if (SameFrame(expected, i, recording, j)) {
            i += 4;
        } else if (Silent(recording, j, j + 4)) {
            ++gaps;
        } else {
            return std::nullopt;
        }
        j += 4;
    }
    return j;
}

// Where `expected` stands in `recording`, found by its first sound after `from`.
std::size_t Locate(const Bytes& recording, const Bytes& expected, std::size_t from)
{
    const std::size_t sound = FirstSound(recording, from);
    const std::size_t lead = FirstSound(expected);
    return sound >= lead ? sound - lead : recording.size();
}

class RecordedPlayback : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "needs the test's own PulseAudio; scripts/test.sh starts it";
        char pattern[] = "/tmp/sonvale-e2e-XXXXXX";
        folder_ = mkdtemp(pattern);
        recording_ = folder_ + "/monitor.raw";
        parec_ = fork();
        if (parec_ == 0) {
            execlp("parec", "parec", "-d", "out.monitor", "--format=s16le", "--rate=44100", "--channels=2",
                   "--latency-msec=20", ("--file-format=raw"), recording_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // The monitor's first fraction of a second can be missed.
        std::this_thread::sleep_for(2s);
    }
    void TearDown() override
    {
        if (parec_ > 0) {
            kill(parec_, SIGINT);
            waitpid(parec_, nullptr, 0);
        }
        // A failed recording stays for a look.
        if (HasFailure())
            std::printf("recording kept in %s\n", recording_.c_str());
        else
            std::filesystem::remove_all(folder_);
    }
    Bytes StopRecording()
    {
        kill(parec_, SIGINT);
        waitpid(parec_, nullptr, 0);
        parec_ = -1;
        return ReadFile(recording_);
    }
    static int Send(const std::vector<std::string>& args)
    {
        std::string command = SONVALE_SEND;
        for (const auto& arg : args)
            command += " " + arg;
        return std::system(command.c_str());
    }

    std::string folder_;
    std::string recording_;
    pid_t parec_ = -1;
};

TEST_F(RecordedPlayback, PlaysWhatWasSentBitForBitThenSilence)
{
    // The Linux player headless; another (Wine) keeps the display it needs.
    const char* linuxPlayer = std::getenv("SONVALE_E2E_LINUX_PLAYER");
    std::vector<std::string> command = {linuxPlayer ? linuxPlayer : SONVALE_PLAYER};
    std::map<std::string, std::string> environment = {
        {"XDG_RUNTIME_DIR", folder_}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    if (const char* other = std::getenv("SONVALE_E2E_PLAYER")) {
        command = {"/bin/sh", "-c", std::string("exec ") + other};
        environment = {};
    }
    ASSERT_FALSE(PlayerPortsOpen()) << "another player holds the ports";
    PlayerProcess player(environment, command);
    // Wine takes seconds to start a program, more on a busy machine. The
    // output opens right after the endpoints, and what arrives meanwhile waits
    // in the queue.
    WaitFor(30s, [&] { return PlayerPortsOpen() || !player.Running(); });
    ASSERT_TRUE(player.Running()) << player.StandardError();
    ASSERT_TRUE(PlayerPortsOpen()) << "the player never opened its ports";
    std::this_thread::sleep_for(1s);

    const std::string file = TestDataPath("stereo_44k_128.mp3");
    ASSERT_EQ(Send({"127.0.0.1", file}), 0);
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(Send({"--udp", "127.0.0.1", file}), 0);
    std::this_thread::sleep_for(1500ms);
    const Bytes recording = StopRecording();
    player.Signal(SIGTERM);
    // Only the Linux player makes a clean exit of SIGTERM.
    if (command.size() == 1) {
        EXPECT_EQ(player.WaitForExit(10s), std::optional(0));
        EXPECT_EQ(player.StandardError(), "");
    }

    RealDecoderLibrary library;
    const Bytes stream = DecodeWhole(library, ReadFile(file), false);
    ASSERT_FALSE(stream.empty());
    // Only whole blocks play: the first stream's last partial block waits in
    // the queue and goes out ahead of the second stream.
    const std::size_t whole = stream.size() / kBlockBytes * kBlockBytes;
    const Bytes first(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(whole));
    Bytes second(stream.begin() + static_cast<std::ptrdiff_t>(whole), stream.end());
    second.insert(second.end(), stream.begin(), stream.end());
    second.resize(second.size() / kBlockBytes * kBlockBytes);

    // Through ALSA nothing may come between the samples; Wine's mixer may let
    // the sink run dry for a moment, which shows as silence in the middle.
    std::size_t gaps = 0;
    const std::size_t at1 = Locate(recording, first, 0);
    ASSERT_LT(at1, recording.size()) << "first stream not found";
    EXPECT_TRUE(Silent(recording, 0, at1));
    const auto end1 = Follow(first, recording, at1, gaps);
    ASSERT_TRUE(end1) << "TCP stream differs";

    const std::size_t at2 = Locate(recording, second, *end1);
    ASSERT_LT(at2, recording.size()) << "second stream not found";
    EXPECT_TRUE(Silent(recording, *end1, at2));
    const auto end2 = Follow(second, recording, at2, gaps);
    ASSERT_TRUE(end2) << "UDP stream differs";
    // When the stream stops, silence: never a block played again.
    EXPECT_TRUE(Silent(recording, *end2, recording.size()));
    if (Tolerance() == 0) {
        EXPECT_EQ(gaps, 0u);
    } else {
        std::printf("silent frames inside the streams: %zu\n", gaps);
    }
}

}  // namespace
}  // namespace sonvale::test
