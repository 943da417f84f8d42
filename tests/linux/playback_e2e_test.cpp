// The whole path: sonvale-send over TCP and then UDP, the player, its output
// device, the test's PulseAudio null sink, and its monitor recorded with
// parec. The recording must hold the decoded streams block after block, with
// only silence around them: bit for bit through ALSA; through Wine, whose
// mixer goes by way of floating point, within a few units of the last bit.
// Streams at the other MPEG rates must play at their own speed, whole and
// without a click.
//
// SONVALE_E2E_PLAYER runs another player instead of the Linux one (the
// Windows build under Wine), SONVALE_E2E_TOLERANCE allows that many units of
// difference per sample. SONVALE_E2E_LINUX_PLAYER runs another Linux player
// (the one a package installs), headless like the built one.
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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <random>
#include <thread>
#include <utility>

#include "intake/drift_controller.h"
#include "intake/pcm_queue.h"
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

// A run of sound in the recording: frames [begin, end) where either channel
// passes the threshold, with no pause of 2 ms or more inside.
struct Segment {
    std::size_t begin;
    std::size_t end;
};

constexpr int kSoundThreshold = 1500;

std::vector<Segment> Segments(const Bytes& pcm)
{
    std::vector<Segment> segments;
    const std::size_t frames = pcm.size() / 4;
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::abs(Sample(pcm, 4 * i)) <= kSoundThreshold && std::abs(Sample(pcm, 4 * i + 2)) <= kSoundThreshold)
            continue;
        if (segments.empty() || i - segments.back().end >= 88)
            segments.push_back({i, i + 1});
        else
            segments.back().end = i + 1;
    }
    return segments;
}

// Whether a frame in [from, to) passes the sound threshold on the left.
bool Loud(const Bytes& pcm, std::size_t from, std::size_t to)
{
    for (std::size_t i = from; i < to && 4 * i + 4 <= pcm.size(); ++i)
        if (std::abs(Sample(pcm, 4 * i)) > kSoundThreshold)
            return true;
    return false;
}

// Wine's mixer now and then lets the sink run dry for a few milliseconds and
// plays on where it was, and so does PulseAudio over minutes of playing: the
// recording without such holes (runs of 8 to 2047
// silent frames with a tone's sound within a period on both sides; a tone is
// never silent for two samples running), how many frames they held, and
// where in what is kept each one was.
// Holes may be let through up to `longest` frames; a run of silence of whole
// blocks, what the player plays when its queue runs dry, is then kept.
Bytes WithoutHoles(const Bytes& pcm, std::size_t& holeFrames, std::vector<std::size_t>* joins = nullptr,
                   std::size_t longest = kBlockFrames - 1)
{
    auto hole = [longest](std::size_t run) {
        const std::size_t overBlock = run % kBlockFrames;
        const bool wholeBlocks = run >= kBlockFrames && (overBlock < 16 || overBlock > kBlockFrames - 16);
        return run >= 8 && run <= longest && !wholeBlocks;
    };
    Bytes kept;
    const std::size_t frames = pcm.size() / 4;
    for (std::size_t i = 0; i < frames;) {
        std::size_t run = i;
        while (run < frames && Silent(pcm, 4 * run, 4 * run + 4))
            ++run;
        if (hole(run - i) && i >= 45 && Loud(pcm, i - 45, i) && Loud(pcm, run, run + 45)) {
            holeFrames += run - i;
            if (joins)
                joins->push_back(kept.size() / 4);
        } else {
            kept.insert(kept.end(), pcm.begin() + static_cast<std::ptrdiff_t>(4 * i),
                        pcm.begin() + static_cast<std::ptrdiff_t>(4 * run));
        }
        if (run < frames)
            kept.insert(kept.end(), pcm.begin() + static_cast<std::ptrdiff_t>(4 * run),
                        pcm.begin() + static_cast<std::ptrdiff_t>(4 * run + 4));
        i = run + 1;
    }
    return kept;
}

// What the recording says of a 1 kHz tone on one channel of a segment.
struct ToneReport {
    int peak = 0;
    double frequency = 0;
    double worstPeriodError = 0;  // samples, against 44.1
    int largestStep = 0;
};

ToneReport AnalyseTone(const Bytes& pcm, Segment segment, int channel)
{
    ToneReport report;
    auto at = [&](std::size_t frame) { return Sample(pcm, 4 * frame + 2 * static_cast<std::size_t>(channel)); };
    for (std::size_t i = segment.begin; i < segment.end; ++i) {
        report.peak = std::max(report.peak, std::abs(at(i)));
        if (i + 1 < segment.end)
            report.largestStep = std::max(report.largestStep, std::abs(at(i + 1) - at(i)));
    }
    // Rising zero crossings, between samples, away from the fades.
    std::vector<double> crossings;
    for (std::size_t i = segment.begin + 882; i + 882 < segment.end; ++i) {
        const int a = at(i);
        const int b = at(i + 1);
        if (a < 0 && b >= 0)
            crossings.push_back(static_cast<double>(i) + static_cast<double>(-a) / (b - a));
    }
    if (crossings.size() < 2)
        return report;
    report.frequency = kSampleRate * static_cast<double>(crossings.size() - 1) / (crossings.back() - crossings.front());
    for (std::size_t k = 1; k < crossings.size(); ++k)
        report.worstPeriodError = std::max(report.worstPeriodError, std::abs(crossings[k] - crossings[k - 1] - 44.1));
    return report;
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
    // The files as one stream, over TCP or in datagrams.
    static int SendOneAfterAnother(const std::vector<std::string>& files, bool udp)
    {
        std::string command = "cat";
        for (const auto& file : files)
            command += " '" + file + "'";
        command += std::string(" | ") + SONVALE_SEND + (udp ? " --udp" : "") + " 127.0.0.1 -";
        return std::system(command.c_str());
    }
    static const char* OtherPlayer() { return std::getenv("SONVALE_E2E_PLAYER"); }
    static std::string LinuxPlayer()
    {
        const char* player = std::getenv("SONVALE_E2E_LINUX_PLAYER");
        return player ? player : SONVALE_PLAYER;
    }
    void StartPlayer()
    {
        // The Linux player headless (the one built here, or another build of
        // it); another (Wine) keeps the display it needs.
        std::vector<std::string> command = {LinuxPlayer()};
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
        auto sent = std::async(std::launch::async, [&] { return Send({"127.0.0.1", file}); });
        // The noise starts once the stream holds the slot: a noise connection
        // still open when the sender comes would rightly turn it away.
        ASSERT_TRUE(WaitFor(10s, [] { return PlayerConnectionOpen(); }));
        Flood noise(Flood::kNoise);
        ASSERT_EQ(sent.get(), 0);
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
    PlayerProcess player(environment, {LinuxPlayer()});
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

// A 1 kHz tone from every rate, mono and stereo, one after another, the first
// half over TCP and the rest in datagrams: each one a change of format within
// the stream, and the switch of endpoint too. Each must play at 1000 Hz, as
// long as it was sent, and in one piece. The 44.1 kHz ones, each right after a
// 48 kHz stream, stay bit for bit what was decoded. Under Wine, 48 kHz stereo
// and 22.05 kHz mono only.
TEST_F(RecordedPlayback, EveryRatePlaysAtItsOwnSpeedWholeAndWithoutAClick)
{
    struct Tone {
        int rate;
        bool mono;
    };
    std::vector<Tone> tones = {{8000, true},   {8000, false},  {11025, true}, {11025, false}, {12000, true},
                               {12000, false}, {16000, true},  {16000, false}, {22050, true}, {22050, false},
                               {24000, true},  {24000, false}, {32000, true},  {32000, false}, {48000, false},
                               {44100, false}, {48000, true},  {44100, true}};
    if (OtherPlayer())
        tones = {{48000, false}, {22050, true}};
    auto file = [](const Tone& tone) {
        return TestDataPath("tone_" + std::to_string(tone.rate) + (tone.mono ? "_mono.mp3" : "_stereo.mp3"));
    };

    // One paced sender per endpoint: a chain of separate senders, each
    // starting 100 ms ahead of the clock, would pile up a backlog.
    std::vector<std::string> paths;
    for (const Tone& tone : tones)
        paths.push_back(file(tone));
    paths.push_back(TestDataPath("silence_44k.mp3"));
    const auto half = static_cast<std::ptrdiff_t>(paths.size() / 2);
    StartPlayer();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(SendOneAfterAnother({paths.begin(), paths.begin() + half}, false), 0);
    ASSERT_EQ(SendOneAfterAnother({paths.begin() + half, paths.end()}, true), 0);
    std::this_thread::sleep_for(1s);
    Bytes recording = StopRecording();
    if (Tolerance() > 0) {
        std::size_t holeFrames = 0;
        recording = WithoutHoles(recording, holeFrames);
        std::printf("silent frames inside the recording: %zu\n", holeFrames);
    }

    const auto segments = Segments(recording);
    ASSERT_EQ(segments.size(), tones.size()) << "a tone is missing, or one was cut in two";
    for (std::size_t i = 0; i < tones.size(); ++i) {
        const Tone& tone = tones[i];
        const Segment segment = segments[i];
        const std::string name = std::to_string(tone.rate) + (tone.mono ? " Hz mono" : " Hz stereo");
        const double length = static_cast<double>(segment.end - segment.begin);
        EXPECT_NEAR(length, 0.3 * kSampleRate, kBlockFrames) << name;
        ToneReport channels[2] = {AnalyseTone(recording, segment, 0), AnalyseTone(recording, segment, 1)};
        for (const ToneReport& report : channels) {
            EXPECT_NEAR(report.frequency, 1000.0, 1.0) << name;
            EXPECT_LT(report.worstPeriodError, 1.0) << name;
            // A 1 kHz sine moves at most 2 sin(pi / 44.1) of its peak from one
            // sample to the next; coding noise adds a little.
            EXPECT_LE(report.largestStep, 1.2 * 2 * std::sin(M_PI / 44.1) * report.peak + 100) << name;
        }
        EXPECT_NEAR(static_cast<double>(channels[1].peak) / channels[0].peak, tone.mono ? 1.0 : 0.5, 0.05) << name;

        if (tone.rate != kSampleRate)
            continue;
        // The decoded stream from its first sound to its last whole block
        // (what is left of a block waits for the next stream).
        RealDecoderLibrary library;
        const Bytes decoded = DecodeWhole(library, ReadFile(file(tone)), tone.mono);
        const auto decodedSegments = Segments(decoded);
        ASSERT_FALSE(decodedSegments.empty());
        const std::size_t from = decodedSegments.front().begin;
        const std::size_t frames = decoded.size() / 4 - from - kBlockFrames;
        std::size_t differing = 0;
        for (std::size_t k = 0; k < frames; ++k)
            differing += !SameFrame(decoded, 4 * (from + k), recording, 4 * (segment.begin + k));
        EXPECT_EQ(differing, 0u) << name << " is not what was decoded";
    }
}

// A sender whose clock runs 300 ppm fast for two minutes, then another one
// 300 ppm slow. Unheeded, the queue would grow until it is flushed, or run
// dry into a block of silence; the player must instead play each whole, in
// one piece, and make up for the drift by single frames. The queue's margin
// before it runs dry depends on where the first frames fall against the
// blocks (36 to 124 ms measured), so two minutes of drift alone need not end
// in a dropout: the pitch in the recording says how much the player makes up
// once it has settled, which without a correction is none at all.
TEST_F(RecordedPlayback, SenderClockDriftIsMadeUpWithoutAGapOrAJump)
{
    if (OtherPlayer())
        GTEST_SKIP() << "four minutes of playing: the Linux player's only";
    const std::string file = TestDataPath("tone_44100_2min.mp3");
    RealDecoderLibrary library;
    const Bytes decoded = DecodeWhole(library, ReadFile(file), false);
    const auto sentSegments = Segments(decoded);
    ASSERT_EQ(sentSegments.size(), 1u);
    const double sent = static_cast<double>(sentSegments[0].end - sentSegments[0].begin);

    // In one piece: each period 44.1 samples within the one sample that a
    // dropped or repeated frame makes, and no step beyond that of a frame
    // dropped at a zero crossing, twice a sine's steepest.
    auto smooth = [](const Bytes& pcm, Segment segment) {
        for (int channel : {0, 1}) {
            const ToneReport report = AnalyseTone(pcm, segment, channel);
            if (report.worstPeriodError > 1.5 || report.largestStep > 2.4 * std::sin(M_PI / 44.1) * report.peak + 100)
                return false;
        }
        return true;
    };
    // What the check lets through, on two seconds of the tone: a frame dropped
    // or repeated at a crest, but not a block dropped, a block of silence or a
    // whole queue flushed.
    const std::size_t second = sentSegments[0].begin + kSampleRate;
    std::size_t crest = second;
    for (std::size_t i = second; i < second + 44; ++i)
        crest = Sample(decoded, 4 * i) > Sample(decoded, 4 * crest) ? i : crest;
    const auto at = decoded.begin() + static_cast<std::ptrdiff_t>(4 * crest);
    const Bytes before(at - 4 * kSampleRate, at);
    auto edited = [&](int dropFrames, int silentFrames) {
        Bytes pcm = before;
        pcm.insert(pcm.end(), 4 * static_cast<std::size_t>(silentFrames), 0);
        if (dropFrames < 0)
            pcm.insert(pcm.end(), at, at + 4);
        pcm.insert(pcm.end(), at + 4 * std::max(dropFrames, 0), at + 4 * (std::max(dropFrames, 0) + kSampleRate));
        return pcm;
    };
    for (const auto& [drop, silence, passes] : {std::tuple{1, 0, true}, {-1, 0, true}, {kBlockFrames, 0, false},
                                                {0, kBlockFrames, false}, {kQueueLimit / 4, 0, false}}) {
        const Bytes pcm = edited(drop, silence);
        const auto segments = Segments(pcm);
        EXPECT_EQ(segments.size() == 1 && smooth(pcm, segments[0]), passes) << drop << " dropped, " << silence;
    }

    // The null sink is the sound card here, and its clock is not quite the
    // sender's: it counts whole microseconds per chunk it renders, and runs
    // tens of ppm fast (200 ppm with 5 ms chunks). Its rate against the
    // monotonic clock, from how fast the recording grows.
    std::atomic<bool> playing = true;
    std::vector<std::pair<double, double>> growth;  // seconds, frames
    std::thread probe([&] {
        const auto start = std::chrono::steady_clock::now();
        for (; playing; std::this_thread::sleep_for(100ms)) {
            std::error_code error;
            const auto size = std::filesystem::file_size(recording_, error);
            const std::chrono::duration<double> time = std::chrono::steady_clock::now() - start;
            if (!error)
                growth.push_back({time.count(), static_cast<double>(size / 4)});
        }
    });
    StartPlayer();
    const int drifts[] = {300, -300};
    if (!HasFatalFailure()) {
        EXPECT_EQ(Send({"--drift", "+300", "127.0.0.1", file}), 0);
        std::this_thread::sleep_for(3s);
        EXPECT_EQ(Send({"--drift", "-300", "127.0.0.1", file}), 0);
        std::this_thread::sleep_for(1s);
    }
    playing = false;
    probe.join();
    ASSERT_FALSE(HasFailure());
    // Over minutes of playing, the sound server lets the sink run dry now and
    // then, for a few to some tens of milliseconds, and plays on a few frames
    // past where it was. Such holes are taken out and the tone is checked
    // between them; a queue that runs dry plays whole blocks of silence, 2048
    // frames each, which stay.
    std::size_t holeFrames = 0;
    std::vector<std::size_t> joins;
    const Bytes recording = WithoutHoles(StopRecording(), holeFrames, &joins, kSampleRate / 2);
    std::printf("%zu holes inside the recording, %zu frames\n", joins.size(), holeFrames);
    // Seconds of the tone, between holes, with a step in them. The sound
    // server now and then skips a few frames of its own too, with the
    // correction on or off (up to two a part seen on an idle machine): a few
    // such seconds are its doing, while frames dropped or repeated at the
    // wrong place, 13 a second at 300 ppm, would show in every second.
    auto roughSeconds = [&](Segment segment) {
        std::vector<std::size_t> cuts;
        for (const std::size_t join : joins)
            if (join > segment.begin && join < segment.end)
                cuts.push_back(join);
        cuts.push_back(segment.end);
        int rough = 0;
        std::size_t from = segment.begin;
        for (const std::size_t cut : cuts) {
            for (std::size_t second = from; second + kSampleRate / 10 < cut; second += kSampleRate)
                rough += smooth(recording, Segment{second, std::min(cut, second + kSampleRate)}) ? 0 : 1;
            from = cut;
        }
        return rough;
    };
    double mt = 0, mf = 0, covariance = 0, variance = 0;
    for (const auto& [t, f] : growth) {
        mt += t / static_cast<double>(growth.size());
        mf += f / static_cast<double>(growth.size());
    }
    for (const auto& [t, f] : growth) {
        covariance += (t - mt) * (f - mf);
        variance += (t - mt) * (t - mt);
    }
    const double sinkPpm = 1e6 * (covariance / variance / kSampleRate - 1);
    std::printf("the sink runs %+.1f ppm against the monotonic clock\n", sinkPpm);

    const auto segments = Segments(recording);
    for (std::size_t i = 0; i < segments.size(); ++i)
        std::printf("tone from %.3f s for %zu frames, then %zu frames of silence\n",
                    static_cast<double>(segments[i].begin) / kSampleRate, segments[i].end - segments[i].begin,
                    i + 1 < segments.size() ? segments[i + 1].begin - segments[i].end : 0);
    ASSERT_EQ(segments.size(), 2u) << "a gap inside the tone";
    for (std::size_t i = 0; i < 2; ++i) {
        const Segment segment = segments[i];
        const double played = static_cast<double>(segment.end - segment.begin);
        const int rough = roughSeconds(segment);
        std::printf("%+d ppm: %d seconds with a step in the tone\n", drifts[i], rough);
        EXPECT_LE(rough, 10) << drifts[i] << " ppm: the tone is not whole";
        // Nothing flushed: what the correction may take, and what it took to
        // undo the delay the sink's stalls added.
        EXPECT_NEAR(played, sent, 500e-6 * sent + 64 + static_cast<double>(holeFrames)) << drifts[i] << " ppm";
        // From 45 s on: settled, the player drops (or repeats) frames as fast
        // as the sender's clock gains (or loses) on the sink's, which raises
        // (or lowers) the tone by as much: at least half of 300 ppm, or the
        // latency drifts, and never more than the correction may.
        const Segment settled{segment.begin + 45 * kSampleRate, segment.end};
        const double pitch = AnalyseTone(recording, settled, 0).frequency;
        const double madeUpPpm = (pitch / 1000 * (1 + sinkPpm * 1e-6) - 1) * 1e6;
        std::printf("%+d ppm: played %+.1f ms against what was sent, tone at %.4f Hz after 45 s, %+.0f ppm made up\n",
                    drifts[i], 1000 * (played - sent) / kSampleRate, pitch, madeUpPpm);
        EXPECT_GE(madeUpPpm * (drifts[i] > 0 ? 1 : -1), 150) << drifts[i] << " ppm: not made up";
        EXPECT_LE(std::abs(madeUpPpm), kMaxCorrectionPpm + 20) << drifts[i] << " ppm";
    }
}

}  // namespace
}  // namespace sonvale::test
