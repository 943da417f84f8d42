// The whole Linux path: sonvale-send over TCP and then UDP, the headless
// player, ALSA, the test's PulseAudio null sink, and its monitor recorded with
// parec. The recording must hold the decoded streams bit for bit, block after
// block, with only silence around them.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "playback/audio_device.h"
#include "tests/intake/real_decoder.h"
#include "tests/linux/player_process.h"

namespace sonvale::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::size_t FirstSound(const Bytes& pcm, std::size_t from = 0)
{
    for (std::size_t at = from - from % 4; at + 4 <= pcm.size(); at += 4)
        if (pcm[at] | pcm[at + 1] | pcm[at + 2] | pcm[at + 3])
            return at;
    return pcm.size();
}

bool Silent(const Bytes& pcm, std::size_t from, std::size_t to)
{
    return std::all_of(pcm.begin() + static_cast<std::ptrdiff_t>(from), pcm.begin() + static_cast<std::ptrdiff_t>(to),
                       [](std::uint8_t b) { return b == 0; });
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
    PlayerProcess player({{"XDG_RUNTIME_DIR", folder_}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(player.Running()) << player.StandardError();

    const std::string file = TestDataPath("stereo_44k_128.mp3");
    ASSERT_EQ(Send({"127.0.0.1", file}), 0);
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(Send({"--udp", "127.0.0.1", file}), 0);
    std::this_thread::sleep_for(1500ms);
    const Bytes recording = StopRecording();
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitForExit(10s), std::optional(0));
    EXPECT_EQ(player.StandardError(), "");

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

    const std::size_t at1 = Locate(recording, first, 0);
    ASSERT_LE(at1 + first.size(), recording.size()) << "first stream not found";
    EXPECT_TRUE(Silent(recording, 0, at1));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), recording.begin() + static_cast<std::ptrdiff_t>(at1)))
        << "TCP stream differs";

    const std::size_t at2 = Locate(recording, second, at1 + first.size());
    ASSERT_LE(at2 + second.size(), recording.size()) << "second stream not found";
    EXPECT_TRUE(Silent(recording, at1 + first.size(), at2));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), recording.begin() + static_cast<std::ptrdiff_t>(at2)))
        << "UDP stream differs";
    // When the stream stops, silence: never a block played again.
    EXPECT_TRUE(Silent(recording, at2 + second.size(), recording.size()));
}

}  // namespace
}  // namespace sonvale::test
