// The whole path: sonvale-send over TCP and then UDP, the player, its output
// device, the test's PulseAudio null sink, and its monitor recorded with
// parec. The recording must hold the decoded streams block after block, with
// only silence around them: bit for bit through ALSA; through Wine, whose
// mixer goes by way of floating point, within a few units of the last bit.
//
// SONVALE_E2E_PLAYER runs another player instead of the Linux one (the
// Windows build under Wine), SONVALE_E2E_TOLERANCE allows that many units of
// difference per sample.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <utility>

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

int Send(const std::vector<std::string>& args)
{
    std::string command = SONVALE_SEND;
    for (const auto& arg : args)
        command += " " + arg;
    return std::system(command.c_str());
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
    static const char* OtherPlayer() { return std::getenv("SONVALE_E2E_PLAYER"); }
    void StartPlayer()
    {
        // The Linux player headless; another (Wine) keeps the display it needs.
        std::vector<std::string> command = {SONVALE_PLAYER};
        std::map<std::string, std::string> environment = {
            {"XDG_RUNTIME_DIR", folder_}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
        if (OtherPlayer()) {
            command = {"/bin/sh", "-c", std::string("exec ") + OtherPlayer()};
            environment = {};
        }
        ASSERT_FALSE(PlayerPortsOpen()) << "another player holds the ports";
        player_ = std::make_unique<PlayerProcess>(environment, command);
        // Wine takes seconds to start a program, more on a busy machine. The
        // output opens right after the endpoints, and what arrives meanwhile
        // waits in the queue.
        WaitFor(30s, [&] { return PlayerPortsOpen() || !player_->Running(); });
        ASSERT_TRUE(player_->Running()) << player_->StandardError();
        ASSERT_TRUE(PlayerPortsOpen()) << "the player never opened its ports";
        std::this_thread::sleep_for(1s);
    }

    std::string folder_;
    std::string recording_;
    pid_t parec_ = -1;
    std::unique_ptr<PlayerProcess> player_;
};

TEST_F(RecordedPlayback, PlaysWhatWasSentBitForBitThenSilence)
{
    StartPlayer();
    ASSERT_FALSE(HasFatalFailure());
    PlayerProcess& player = *player_;

    const std::string file = TestDataPath("stereo_44k_128.mp3");
    ASSERT_EQ(Send({"127.0.0.1", file}), 0);
    std::this_thread::sleep_for(1s);
    ASSERT_EQ(Send({"--udp", "127.0.0.1", file}), 0);
    std::this_thread::sleep_for(1500ms);
    const Bytes recording = StopRecording();
    player.Signal(SIGTERM);
    // Only the Linux player makes a clean exit of SIGTERM.
    if (!OtherPlayer()) {
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

// As fast as loopback takes it, from a thread of its own, until it goes out
// of scope: random bytes on both ports (a sender of garbage), or datagrams
// too long to be audio and connections dropped at once (a sender that keeps
// the player busy without touching the stream it plays).
class Flood {
public:
    enum Kind { kGarbage, kNoise };
    explicit Flood(Kind kind) : thread_([this, kind] { Run(kind); }) {}
    ~Flood()
    {
        stop_ = true;
        thread_.join();
    }

private:
    void Run(Kind kind)
    {
        // Last in line for the processor: on a small machine the flood would
        // otherwise starve the sender and the sound server, and the stream
        // would falter for reasons not the player's.
        setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
        std::mt19937 random(7);
        std::vector<std::uint8_t> bytes(1 << 20);
        for (auto& byte : bytes)
            byte = static_cast<std::uint8_t>(random());
        const std::size_t datagram = kind == kGarbage ? 8000 : 9000;
        sockaddr_in tcp{}, udp{};
        tcp.sin_family = udp.sin_family = AF_INET;
        tcp.sin_addr.s_addr = udp.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        tcp.sin_port = htons(52166);
        udp.sin_port = htons(52168);
        const int datagrams = socket(AF_INET, SOCK_DGRAM, 0);
        int stream = -1;
        for (std::size_t at = 0; !stop_; at = (at + datagram) % (bytes.size() - datagram)) {
            if (stream < 0) {
                stream = socket(AF_INET, SOCK_STREAM, 0);
                if (connect(stream, reinterpret_cast<sockaddr*>(&tcp), sizeof tcp) != 0)
                    close(std::exchange(stream, -1));
            }
            if (stream >= 0 && (kind == kNoise ||
                                (send(stream, bytes.data() + at, datagram, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 &&
                                 errno != EAGAIN)))
                close(std::exchange(stream, -1));
            sendto(datagrams, bytes.data() + at, datagram, 0, reinterpret_cast<sockaddr*>(&udp), sizeof udp);
        }
        if (stream >= 0)
            close(stream);
        close(datagrams);
    }

    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

std::size_t ResidentBytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoul(line.substr(6)) * 1024;
    return 0;
}

// Senders faster than the player reads, on both ports, must neither make it
// grow nor hold up its output, whose block notices come through the same
// event loop as theirs.
TEST_F(RecordedPlayback, KeepsItsSizeAndItsRhythmThroughAFlood)
{
    StartPlayer();
    ASSERT_FALSE(HasFatalFailure());
    const std::size_t before = ResidentBytes(player_->Pid());
    {
        Flood garbage(Flood::kGarbage);
        std::this_thread::sleep_for(2s);
    }
    const std::size_t after = ResidentBytes(player_->Pid());
    std::printf("player's resident size: %zu KiB before the flood, %zu KiB after\n", before / 1024, after / 1024);
    if (!OtherPlayer()) {
        EXPECT_LT(after, before + 1024 * 1024);
    }
    // Until the player has read the garbage connection to its end and let it go.
    EXPECT_TRUE(WaitFor(20s, [] { return !PlayerConnectionOpen(); }));

    const std::string file = TestDataPath("stereo_44k_128.mp3");
    {
        Flood noise(Flood::kNoise);
        ASSERT_EQ(Send({"127.0.0.1", file}), 0);
    }
    std::this_thread::sleep_for(1500ms);
    const Bytes recording = StopRecording();
    ASSERT_TRUE(player_->Running());

    // The stream's every block in turn, at the device's pace: a silent
    // moment longer than a block inside it is a block that went out late.
    // (Whether it plays bit for bit is the plain test's business; a flood
    // that starves the sound server of processor time may cost a few frames
    // that are not the player's to keep.)
    RealDecoderLibrary library;
    const Bytes stream = DecodeWhole(library, ReadFile(file), false);
    const std::size_t at = Locate(recording, stream, 0);
    ASSERT_LT(at, recording.size()) << "stream not found";
    EXPECT_TRUE(Silent(recording, 0, at)) << "sound out of garbage";
    std::size_t last = at, longest = 0;
    for (std::size_t next = at; next + 4 <= recording.size(); next += 4) {
        if (!Silent(recording, next, next + 4)) {
            longest = std::max(longest, (next - last) / 4);
            last = next;
        }
    }
    EXPECT_LE(longest, static_cast<std::size_t>(kBlockFrames)) << "frames of silence in a row";
    EXPECT_GE(last - at + kBlockBytes, stream.size() / kBlockBytes * kBlockBytes) << "played too little";
}

// Started at log-on, the player may be up before the sound server. It says
// once that it cannot play, and plays as soon as the server is there.
TEST_F(RecordedPlayback, PlaysOnceTheSoundServerComesUpAfterIt)
{
    if (OtherPlayer())
        GTEST_SKIP() << "the Linux player's own";
    const std::string socket = folder_ + "/late.sock";
    const std::string home = folder_ + "/late";
    std::filesystem::create_directory(home);
    std::map<std::string, std::string> environment = {{"XDG_RUNTIME_DIR", home}, {"HOME", home},
        {"PULSE_SERVER", "unix:" + socket}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    ASSERT_FALSE(PlayerPortsOpen()) << "another player holds the ports";
    PlayerProcess player(environment, {SONVALE_PLAYER});
    EXPECT_TRUE(WaitFor(10s, [&] { return player.StandardError().find("cannot play") != std::string::npos; }))
        << player.StandardError();
    ASSERT_TRUE(player.Running());

    PlayerProcess server(environment, {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
        "-L", "module-null-sink sink_name=late", "-L", "module-native-protocol-unix socket=" + socket,
        "-L", "module-always-sink"});
    ASSERT_TRUE(WaitFor(10s, [&] { return std::filesystem::exists(socket); }));
    const std::string recording = folder_ + "/late.raw";
    PlayerProcess recorder(environment, {"parec", "-d", "late.monitor", "--format=s16le", "--rate=44100",
        "--channels=2", "--latency-msec=20", "--file-format=raw", recording});
    // The player looks for the device once a second.
    EXPECT_TRUE(WaitFor(5s, [&] { return player.StandardError().find("is there now") != std::string::npos; }));
    std::this_thread::sleep_for(1s);
    const std::string file = TestDataPath("stereo_44k_128.mp3");
    ASSERT_EQ(Send({"127.0.0.1", file}), 0);
    std::this_thread::sleep_for(1s);
    recorder.Signal(SIGINT);
    recorder.WaitForExit(5s);

    RealDecoderLibrary library;
    Bytes stream = DecodeWhole(library, ReadFile(file), false);
    stream.resize(stream.size() / kBlockBytes * kBlockBytes);
    const Bytes recorded = ReadFile(recording);
    std::size_t gaps = 0;
    const std::size_t at = Locate(recorded, stream, 0);
    ASSERT_LT(at, recorded.size()) << "nothing played";
    EXPECT_TRUE(Follow(stream, recorded, at, gaps)) << "stream differs";
    EXPECT_EQ(gaps, 0u);
}

}  // namespace
}  // namespace sonvale::test
