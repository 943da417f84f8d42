// sonvale-send: its frame reader on encoder output wrapped in tags and damage,
// its pacing and datagram arithmetic, and the built tool against loopback sockets.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "tools/sonvale_send/frame_reader.h"
#include "tools/sonvale_send/pacer.h"

namespace sonvale::send {
namespace {

using Bytes = std::vector<std::uint8_t>;
using SteadyTime = std::chrono::steady_clock::time_point;

Bytes Join(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Join(std::vector<Frame>::const_iterator begin, std::vector<Frame>::const_iterator end)
{
    Bytes all;
    for (; begin != end; ++begin)
        all.insert(all.end(), begin->bytes.begin(), begin->bytes.end());
    return all;
}

Bytes Junk(std::size_t size)
{
    std::mt19937 random(7);
    Bytes junk(size);
    std::generate(junk.begin(), junk.end(), [&] { return static_cast<std::uint8_t>(random()); });
    return junk;
}

struct Read {
    std::vector<Frame> frames;
    ReadStatus status;
    Bytes Joined() const { return Join(frames.begin(), frames.end()); }
};

Read ReadAll(int fd)
{
    FrameReader reader(fd);
    Read read;
    Frame frame;
    while ((read.status = reader.Next(frame)) == ReadStatus::kFrame)
        read.frames.push_back(frame);
    return read;
}

// A loopback socket on an ephemeral port, listening if it is a TCP one.
int Socket(int type, std::string& port, bool listening = true)
{
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    EXPECT_TRUE(type != SOCK_STREAM || !listening || listen(fd, 1) == 0);
    port = std::to_string(ntohs(address.sin_port));
    return fd;
}

bool Ready(int fd, int milliseconds = 10'000)
{
    pollfd ready{fd, POLLIN, 0};
    return poll(&ready, 1, milliseconds) == 1;
}

Bytes ReceiveAll(int listener)
{
    const int connection = Ready(listener) ? accept(listener, nullptr, nullptr) : -1;
    Bytes received;
    std::uint8_t chunk[4096];
    for (ssize_t got = 1; got > 0 && Ready(connection);) {
        got = recv(connection, chunk, sizeof chunk, 0);
        received.insert(received.end(), chunk, chunk + std::max<ssize_t>(got, 0));
    }
    close(connection);
    return received;
}

// Datagrams with their arrival times, until `size` bytes or a pause of 3 s.
std::vector<std::pair<SteadyTime, Bytes>> ReceiveDatagrams(int udp, std::size_t size)
{
    std::vector<std::pair<SteadyTime, Bytes>> datagrams;
    std::uint8_t datagram[65536];
    for (std::size_t total = 0; total < size && Ready(udp, 3000);) {
        const ssize_t got = std::max<ssize_t>(recv(udp, datagram, sizeof datagram, 0), 0);
        datagrams.emplace_back(std::chrono::steady_clock::now(), Bytes(datagram, datagram + got));
        total += static_cast<std::size_t>(got);
    }
    return datagrams;
}

// The exit code, or -1 when a signal ended the process.
int Wait(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One encoding per stream for the whole suite: sox and lame take a moment.
class SenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/sonvale-send-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        for (const auto& [name, format, seconds, kbps] :
             {std::tuple{"stereo", "-r 44100 -c 2", "1", "128"}, {"mono", "-r 22050 -c 1", "1", "64"},
              {"long", "-r 44100 -c 2", "2", "128"}}) {
            const std::string wav = Path(name) + ".wav";
            const std::string command = std::string("sox -n ") + format + " " + wav + " synth " + seconds +
                                        " sine 440 && lame --quiet -b " + kbps + " " + wav + " " + Path(name);
            ASSERT_EQ(std::system(command.c_str()), 0) << command;
        }
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(dir_); }

    static std::string Path(const std::string& name) { return dir_ + "/" + name; }
    static Bytes Load(const std::string& name)
    {
        std::ifstream in(Path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }
    static std::string Text(const std::string& name)
    {
        const Bytes bytes = Load(name);
        return std::string(bytes.begin(), bytes.end());
    }
    static void Save(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    static Read ReadFile(const std::string& name)
    {
        const int fd = open(Path(name).c_str(), O_RDONLY);
        Read read = ReadAll(fd);
        close(fd);
        return read;
    }
    // The built tool, its standard error going to the file `errors`.
    static pid_t Start(std::vector<std::string> args, const std::string& errors)
    {
        args.insert(args.begin(), SONVALE_SEND);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, Path(errors).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    static inline std::string dir_;
};

TEST_F(SenderTest, EncoderOutputComesOutFrameByFrameFromFilesAndPipes)
{
    // Five copies outgrow the read buffer; the pipe hands them over in odd pieces.
    const Bytes stereo = Load("stereo");
    Save("stereo5", Join({stereo, stereo, stereo, stereo, stereo}));
    for (const char* name : {"stereo5", "mono"}) {
        const Read read = ReadFile(name);
        EXPECT_EQ(read.status, ReadStatus::kEnd);
        EXPECT_EQ(read.Joined(), Load(name)) << name;
        for (const Frame& frame : read.frames)
            EXPECT_EQ(frame.bytes.size(), static_cast<std::size_t>(frame.header.frameBytes)) << name;
    }
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const Bytes stream = Load("stereo5");
    std::thread writer([&] {
        for (std::size_t at = 0; at < stream.size(); at += 777)
            EXPECT_GT(write(pipeFds[1], stream.data() + at, std::min<std::size_t>(777, stream.size() - at)), 0);
        close(pipeFds[1]);
    });
    const Read piped = ReadAll(pipeFds[0]);
    writer.join();
    close(pipeFds[0]);
    EXPECT_EQ(piped.status, ReadStatus::kEnd);
    EXPECT_EQ(piped.Joined(), stream);
}

TEST_F(SenderTest, Id3v2TagsAreSkippedByTheirSizeEvenWhenTheyHoldFrames)
{
    // Frames inside the tag would be found by a scan.
    const std::vector<Frame> frames = ReadFile("stereo").frames;
    const Bytes body = Join({Join(frames.begin(), frames.begin() + 3), Bytes(300)});
    const auto size = static_cast<std::uint32_t>(body.size());
    const Bytes synchsafeSize = {std::uint8_t(size >> 21 & 0x7F), std::uint8_t(size >> 14 & 0x7F),
                                 std::uint8_t(size >> 7 & 0x7F), std::uint8_t(size & 0x7F)};
    Save("tagged", Join({{'I', 'D', '3', 4, 0, 0}, synchsafeSize, body, Load("stereo")}));
    Save("footed", Join({{'I', 'D', '3', 4, 0, 0x10}, synchsafeSize, body, {'3', 'D', 'I', 4, 0, 0x10}, synchsafeSize,
                         Load("stereo")}));
    for (const char* name : {"tagged", "footed"})
        EXPECT_EQ(ReadFile(name).Joined(), Load("stereo")) << name;
}

TEST_F(SenderTest, JunkAndCutFramesAreLeftOutAndNothingElse)
{
    const std::vector<Frame> f = ReadFile("stereo").frames;
    const auto at = [&](std::size_t i) { return f.begin() + static_cast<std::ptrdiff_t>(i); };
    const auto half = [&](std::size_t i) { return Bytes(f[i].bytes.begin(), f[i].bytes.begin() + 200); };
    const std::size_t n = f.size();
    Save("damaged", Join({Join(at(0), at(10)), Junk(500), Join(at(10), at(20)), half(20), Join(at(21), at(30)),
                          {0xFF, 0xFB, 0x90, 0x64}, Junk(300), Join(at(30), at(n - 1)), half(n - 1)}));
    EXPECT_EQ(ReadFile("damaged").Joined(), Join({Join(at(0), at(20)), Join(at(21), at(n - 1))}));
    // An ID3v1 tag at the end costs no frame.
    Bytes id3v1 = {'T', 'A', 'G'};
    id3v1.resize(128, ' ');
    Save("id3v1", Join({Load("stereo"), id3v1}));
    EXPECT_EQ(ReadFile("id3v1").Joined(), Load("stereo"));
}

TEST_F(SenderTest, StreamsWithoutAFrameInTheirFirst64KiBAreNotMp3)
{
    const Bytes stereo = Load("stereo");
    Save("empty", {});
    Save("junk", Junk(100'000));
    Save("late", Join({Junk(kMp3ProbeBytes), stereo}));
    for (const char* name : {"empty", "junk", "late", "stereo.wav"})
        EXPECT_EQ(ReadFile(name).status, ReadStatus::kNotMp3) << name;
    Save("just-in-time", Join({Junk(kMp3ProbeBytes - 1), stereo}));
    EXPECT_EQ(ReadFile("just-in-time").Joined(), stereo);
}

TEST(PacerTest, KeepsToTheFramesPlayingTimeWithoutDrift)
{
    const Mp3FrameHeader cd{128, 44100, 2, 418, 1152};
    const Mp3FrameHeader half{64, 22050, 1, 209, 576};
    const Clock::time_point t0 = Clock::now();
    Pacer pacer;
    EXPECT_EQ(pacer.Due(t0), t0 - kLead);
    // Ten hours: a per-frame rounding of the 26.12 ms would be milliseconds off.
    for (int i = 0; i < 1'378'125; ++i)
        pacer.Sent(cd);
    const Clock::time_point tenHours = t0 + 36000s - kLead;
    EXPECT_EQ(pacer.Due(tenHours + 500ms), tenHours) << "a late sender catches up on the same schedule";
    for (int i = 0; i < 10; ++i)
        pacer.Sent(half);
    EXPECT_EQ(pacer.Due(tenHours), tenHours + 261'224'489ns);

    // Stalled for longer than kMaxLag: a new schedule from now on.
    const Clock::time_point stalled = tenHours + 5s;
    EXPECT_EQ(pacer.Due(stalled), stalled - kLead);
    pacer.Sent(cd);
    EXPECT_EQ(pacer.Due(stalled), stalled - kLead + 26'122'448ns);
}

TEST(PacerTest, DriftScalesTheScheduleByItsRatioWithoutRoundingBuildingUp)
{
    // 137200 frames are 3584 s; a rounding per frame would be up to 137 us off.
    const Mp3FrameHeader cd{128, 44100, 2, 418, 1152};
    const Clock::time_point t0 = Clock::now();
    for (const int ppm : {300, -300}) {
        Pacer pacer(ppm);
        EXPECT_EQ(pacer.Due(t0), t0 - kLead);
        for (int i = 0; i < 137'200; ++i)
            pacer.Sent(cd);
        const auto exact = static_cast<__int128>(3584'000'000'000) * 1'000'000 / (1'000'000 + ppm);
        const std::int64_t due = (pacer.Due(t0) - (t0 - kLead)).count();
        EXPECT_LE(std::abs(due - static_cast<std::int64_t>(exact)), 1) << ppm << " ppm";
    }
}

TEST_F(SenderTest, DatagramsHoldWholeFramesUpToTheLimits)
{
    const Read read = ReadFile("long");
    for (const std::chrono::nanoseconds limit : {std::chrono::nanoseconds::max(), kLead}) {
        DatagramPacker packer(limit);
        std::vector<Bytes> datagrams;
        for (const Frame& frame : read.frames) {
            if (!packer.Fits(frame)) {
                datagrams.push_back(packer.Bytes());
                packer.Clear();
            }
            packer.Add(frame);
        }
        datagrams.push_back(packer.Bytes());
        EXPECT_EQ(Join(datagrams), read.Joined());
        for (const Bytes& datagram : datagrams)
            EXPECT_LE(datagram.size(), kMaxDatagramBytes);
        // Full datagrams when unpaced: 19 frames of 417 or 418 bytes; about the lead's worth when paced.
        EXPECT_EQ(datagrams.size(), limit == kLead ? (read.frames.size() + 3) / 4 : (read.frames.size() + 18) / 19);
    }
}

TEST_F(SenderTest, ToolDeliversTheFramesOverTcpAndUdp)
{
    Save("wrapped", Join({{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 4, 1, 2, 3, 4}, Load("stereo"), Junk(1000)}));
    std::string port;
    const int listener = Socket(SOCK_STREAM, port);
    const pid_t tcp = Start({"--fast", "--drift", "-10000", "--port", port, "127.0.0.1", Path("wrapped")}, "tcp.err");
    EXPECT_EQ(ReceiveAll(listener), Load("stereo"));
    EXPECT_EQ(Wait(tcp), 0) << Text("tcp.err");
    close(listener);

    const int udp = Socket(SOCK_DGRAM, port);
    EXPECT_EQ(Wait(Start({"--udp", "--fast", "--port", port, "127.0.0.1", Path("wrapped")}, "udp.err")), 0)
        << Text("udp.err");
    std::vector<Bytes> datagrams;
    for (const auto& [arrival, datagram] : ReceiveDatagrams(udp, Load("stereo").size())) {
        EXPECT_LE(datagram.size(), kMaxDatagramBytes);
        EXPECT_TRUE(datagram.size() >= kMp3HeaderBytes && ParseMp3FrameHeader(datagram.data()));
        datagrams.push_back(datagram);
    }
    EXPECT_EQ(Join(datagrams), Load("stereo"));
    close(udp);
}

TEST_F(SenderTest, ToolPacesInRealTimeAndReportsALostConnection)
{
    std::string port;
    std::string udpPort;
    const int listener = Socket(SOCK_STREAM, port);
    const int udp = Socket(SOCK_DGRAM, udpPort);
    const auto start = std::chrono::steady_clock::now();
    const pid_t tcp = Start({"--port", port, "127.0.0.1", Path("long")}, "paced.err");
    const pid_t datagrams = Start({"--udp", "--port", udpPort, "127.0.0.1", Path("long")}, "paced-udp.err");
    std::vector<std::pair<SteadyTime, Bytes>> arrivals;
    std::thread receiver([&] { arrivals = ReceiveDatagrams(udp, Load("long").size()); });
    EXPECT_EQ(ReceiveAll(listener), Load("long"));
    EXPECT_EQ(Wait(tcp), 0) << Text("paced.err");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(took.count(), 1.7);
    EXPECT_LT(took.count(), 2.6);

    // Each datagram against the playing time of the frames before it, from the first arrival on.
    receiver.join();
    EXPECT_EQ(Wait(datagrams), 0) << Text("paced-udp.err");
    std::map<std::size_t, double> playingTimeAt;
    std::size_t offset = 0;
    double seconds = 0;
    for (const Frame& frame : ReadFile("long").frames) {
        playingTimeAt[offset] = seconds;
        offset += frame.bytes.size();
        seconds += double(frame.header.samplesPerFrame) / frame.header.sampleRate;
    }
    double lateness = 0;
    offset = 0;
    for (const auto& [arrival, datagram] : arrivals) {
        ASSERT_TRUE(playingTimeAt.contains(offset)) << "datagram cut inside a frame at " << offset;
        lateness += std::chrono::duration<double>(arrival - arrivals[0].first).count() - playingTimeAt[offset];
        offset += datagram.size();
    }
    EXPECT_EQ(offset, Load("long").size());
    // About the lead ahead; datagrams held back until the next frame overfills them would come on time at best.
    EXPECT_LT(lateness / arrivals.size(), -0.05);
    close(udp);

    // Closed the way a quitting player closes it, end of stream and then a reset for the data left unread, which
    // makes the next send raise SIGPIPE: that must come out as an error rather than a silent death.
    const pid_t cut = Start({"--port", port, "127.0.0.1", Path("long")}, "cut.err");
    const int dropped = Ready(listener) ? accept(listener, nullptr, nullptr) : -1;
    shutdown(dropped, SHUT_WR);
    close(dropped);
    EXPECT_EQ(Wait(cut), 1);
    EXPECT_EQ(Text("cut.err").rfind("sonvale-send: lost the connection to 127.0.0.1:" + port + ": ", 0), 0u);
    close(listener);
}

TEST_F(SenderTest, ToolFailsWithAMessage)
{
    std::string port;
    const int closed = Socket(SOCK_STREAM, port, false);
    const std::vector<std::pair<std::vector<std::string>, std::string>> failures = {
        {{"--port", port, "127.0.0.1", Path("stereo")},
         "sonvale-send: cannot connect to 127.0.0.1:" + port + ": Connection refused\n"},
        {{"nosuchhost.invalid", Path("stereo")}, "sonvale-send: unknown host nosuchhost.invalid: "},
        {{"127.0.0.1", Path("missing")}, "sonvale-send: cannot open " + Path("missing") + ": No such file"},
        {{"127.0.0.1", Path("stereo.wav")}, "sonvale-send: " + Path("stereo.wav") + " is not an MP3 stream\n"},
    };
    for (const auto& [args, message] : failures) {
        EXPECT_EQ(Wait(Start(args, "fail.err")), 1) << message;
        EXPECT_EQ(Text("fail.err").substr(0, message.size()), message);
    }
    using Args = std::vector<std::string>;
    for (const Args& args : {Args{"h"}, Args{"h", "f", "g"}, Args{"--tcp", "h", "f"}, Args{"h", "f", "--port"},
                             Args{"--port", "0", "h", "f"}, Args{"--port", "9e4", "h", "f"},
                             Args{"--drift", "10001", "h", "f"}, Args{"--drift", "1.5", "h", "f"},
                             Args{"--drift", "+-3", "h", "f"}, Args{"h", "f", "--drift"}}) {
        EXPECT_EQ(Wait(Start(args, "usage.err")), 2);
        EXPECT_EQ(Text("usage.err").rfind("usage: sonvale-send", 0), 0u);
    }
    close(closed);
}

}  // namespace
}  // namespace sonvale::send
