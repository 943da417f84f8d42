// sonvale-send: its frame reader on encoder output wrapped in tags and damage,
// its pacing and datagram arithmetic, and the built tool against loopback sockets.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "tools/sonvale_send/frame_reader.h"
#include "tools/sonvale_send/pacer.h"

namespace sonvale::send {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Join(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Junk(std::size_t size)
{
    std::mt19937 random(7);
    Bytes junk(size);
    for (auto& byte : junk)
        byte = static_cast<std::uint8_t>(random());
    return junk;
}

struct Read {
    std::vector<Frame> frames;
    ReadStatus status;
    Bytes Joined() const
    {
        std::vector<Bytes> parts;
        for (const Frame& frame : frames)
            parts.push_back(frame.bytes);
        return Join(parts);
    }
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

// One encoding per stream for the whole suite: sox and lame take a moment.
class SenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/sonvale-send-test-XXXXXX";
        dir_ = mkdtemp(pattern);
        for (const auto& [name, rate, channels, seconds, kbps] :
             {std::tuple{"stereo", 44100, 2, 1, 128}, {"mono", 22050, 1, 1, 64}, {"long", 44100, 2, 2, 128}}) {
            const std::string wav = Path(name) + ".wav";
            const std::string command = "sox -n -r " + std::to_string(rate) + " -c " + std::to_string(channels) + " " +
                                        wav + " synth " + std::to_string(seconds) + " sine 440 && lame --quiet -b " +
                                        std::to_string(kbps) + " " + wav + " " + Path(name);
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
    static std::string Save(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(Path(name), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return Path(name);
    }
    static Read ReadFile(const std::string& name)
    {
        const int fd = open(Path(name).c_str(), O_RDONLY);
        Read read = ReadAll(fd);
        close(fd);
        return read;
    }
    static std::vector<Bytes> Frames(const std::string& name)
    {
        std::vector<Bytes> frames;
        for (const Frame& frame : ReadFile(name).frames)
            frames.push_back(frame.bytes);
        return frames;
    }

    static inline std::string dir_;
};

TEST_F(SenderTest, EncoderOutputComesOutFrameByFrameFromFilesAndPipes)
{
    // Five copies outgrow the read buffer; the pipe hands them over in odd pieces.
    const Bytes stereo = Load("stereo");
    Save("stereo5", Join({stereo, stereo, stereo, stereo, stereo}));
    for (const auto& [name, rate, channels, copies] : {std::tuple{"stereo5", 44100, 2, 5}, {"mono", 22050, 1, 1}}) {
        const Read read = ReadFile(name);
        EXPECT_EQ(read.status, ReadStatus::kEnd);
        EXPECT_EQ(read.Joined(), Load(name)) << name;
        double seconds = 0;
        for (const Frame& frame : read.frames) {
            EXPECT_EQ(frame.bytes.size(), static_cast<std::size_t>(frame.header.frameBytes));
            EXPECT_EQ(frame.header.sampleRate, rate);
            EXPECT_EQ(frame.header.channels, channels);
            seconds += double(frame.header.samplesPerFrame) / frame.header.sampleRate;
        }
        // One second of audio, plus the encoder's delay and padding and its Info frame.
        EXPECT_NEAR(seconds / copies, 1.05, 0.05) << name;
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
    const std::vector<Bytes> frames = Frames("stereo");
    // Frames inside the tag would be found by a scan.
    const Bytes body = Join({frames[1], frames[2], frames[3], Bytes(300)});
    for (bool footer : {false, true}) {
        const auto size = static_cast<std::uint32_t>(body.size());
        Bytes tag = {'I', 'D', '3', 4, 0, std::uint8_t(footer ? 0x10 : 0), std::uint8_t(size >> 21 & 0x7F),
                     std::uint8_t(size >> 14 & 0x7F), std::uint8_t(size >> 7 & 0x7F), std::uint8_t(size & 0x7F)};
        tag.insert(tag.end(), body.begin(), body.end());
        if (footer)
            tag.insert(tag.end(), {'3', 'D', 'I', 4, 0, 0x10, tag[6], tag[7], tag[8], tag[9]});
        Save("tagged", Join({tag, Load("stereo")}));
        const Read read = ReadFile("tagged");
        EXPECT_EQ(read.status, ReadStatus::kEnd);
        EXPECT_EQ(read.Joined(), Load("stereo")) << "footer " << footer;
    }
}

TEST_F(SenderTest, JunkAndCutFramesAreLeftOutAndNothingElse)
{
    const std::vector<Bytes> f = Frames("stereo");
    const std::size_t n = f.size();
    auto range = [&](std::size_t from, std::size_t to) { return Join(std::vector<Bytes>(f.begin() + from, f.begin() + to)); };
    auto half = [&](std::size_t i) { return Bytes(f[i].begin(), f[i].begin() + f[i].size() / 2); };
    const Bytes fakeHeader = {0xFF, 0xFB, 0x90, 0x64};
    Bytes id3v1 = {'T', 'A', 'G'};
    id3v1.resize(128, ' ');

    const Bytes damaged = Join({range(0, 10), Junk(500), range(10, 20), half(20), range(21, 30), fakeHeader,
                                Junk(300), range(30, n - 1), half(n - 1)});
    Save("damaged", damaged);
    EXPECT_EQ(ReadFile("damaged").Joined(), Join({range(0, 20), range(21, n - 1)}));
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

// The built tool, its standard error caught in a file.
struct Sender {
    Sender(std::vector<std::string> args, const std::string& errors) : errorPath(errors)
    {
        args.insert(args.begin(), SONVALE_SEND);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    // The exit code, or -1 when a signal ended it.
    int Wait()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Error() const
    {
        std::ifstream in(errorPath);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    pid_t pid = -1;
    std::string errorPath;
};

// A loopback socket on an ephemeral port; TCP ones listen if asked.
int Socket(int type, bool listening, std::string& port)
{
    const int fd = socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);
    EXPECT_TRUE(!listening || listen(fd, 1) == 0);
    port = std::to_string(ntohs(address.sin_port));
    return fd;
}

int Accept(int listener)
{
    pollfd ready{listener, POLLIN, 0};
    return poll(&ready, 1, 10'000) == 1 ? accept(listener, nullptr, nullptr) : -1;
}

Bytes ReceiveAll(int connection)
{
    Bytes received;
    std::uint8_t chunk[4096];
    pollfd ready{connection, POLLIN, 0};
    for (ssize_t got = 1; got > 0 && poll(&ready, 1, 10'000) == 1;) {
        got = recv(connection, chunk, sizeof chunk, 0);
        received.insert(received.end(), chunk, chunk + std::max<ssize_t>(got, 0));
    }
    return received;
}

TEST_F(SenderTest, ToolDeliversTheFramesOverTcpAndUdp)
{
    Save("tagged-damaged", Join({{'I', 'D', '3', 3, 0, 0, 0, 0, 0, 4, 1, 2, 3, 4}, Load("stereo"), Junk(1000)}));
    std::string port;
    const int listener = Socket(SOCK_STREAM, true, port);
    Sender tcp({"--fast", "--port", port, "127.0.0.1", Path("tagged-damaged")}, Path("tcp.err"));
    const int connection = Accept(listener);
    ASSERT_GE(connection, 0);
    EXPECT_EQ(ReceiveAll(connection), Load("stereo"));
    EXPECT_EQ(tcp.Wait(), 0) << tcp.Error();
    close(connection);
    close(listener);

    const int udp = Socket(SOCK_DGRAM, false, port);
    Sender sender({"--udp", "--fast", "--port", port, "127.0.0.1", Path("tagged-damaged")}, Path("udp.err"));
    EXPECT_EQ(sender.Wait(), 0) << sender.Error();
    std::vector<Bytes> datagrams;
    std::uint8_t datagram[65536];
    for (ssize_t got; (got = recv(udp, datagram, sizeof datagram, MSG_DONTWAIT)) > 0;) {
        EXPECT_LE(got, static_cast<ssize_t>(kMaxDatagramBytes));
        EXPECT_TRUE(ParseMp3FrameHeader(datagram));
        datagrams.emplace_back(datagram, datagram + got);
    }
    EXPECT_EQ(Join(datagrams), Load("stereo"));
    close(udp);
}

TEST_F(SenderTest, ToolPacesInRealTimeAndReportsALostConnection)
{
    std::string port;
    const int listener = Socket(SOCK_STREAM, true, port);
    const auto start = std::chrono::steady_clock::now();
    Sender paced({"--port", port, "127.0.0.1", Path("long")}, Path("paced.err"));
    const int connection = Accept(listener);
    EXPECT_EQ(ReceiveAll(connection), Load("long"));
    EXPECT_EQ(paced.Wait(), 0) << paced.Error();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_GT(took.count(), 1.7);
    EXPECT_LT(took.count(), 2.6);
    close(connection);

    // Reset by the player mid-stream: an error, not a silent death by SIGPIPE.
    Sender cut({"--port", port, "127.0.0.1", Path("long")}, Path("cut.err"));
    const int dropped = Accept(listener);
    const linger reset{1, 0};
    setsockopt(dropped, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(dropped);
    EXPECT_EQ(cut.Wait(), 1);
    EXPECT_NE(cut.Error().find("sonvale-send: connection to 127.0.0.1:" + port + " lost: "), std::string::npos)
        << cut.Error();
    close(listener);
}

TEST_F(SenderTest, ToolFailsWithAMessage)
{
    std::string port;
    const int closed = Socket(SOCK_STREAM, false, port);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port", port, "127.0.0.1", Path("stereo")},
         "sonvale-send: cannot connect to 127.0.0.1:" + port + ": Connection refused\n"},
        {{"nosuchhost.invalid", Path("stereo")}, "sonvale-send: unknown host nosuchhost.invalid: "},
        {{"127.0.0.1", Path("missing")}, "sonvale-send: cannot open " + Path("missing") + ": No such file"},
        {{"127.0.0.1", Path("stereo.wav")}, "sonvale-send: " + Path("stereo.wav") + " is not an MP3 stream\n"},
    };
    for (const auto& [args, message] : cases) {
        Sender sender(args, Path("fail.err"));
        EXPECT_EQ(sender.Wait(), 1) << message;
        EXPECT_EQ(sender.Error().substr(0, message.size()), message);
    }
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"127.0.0.1"}, {"--port", "0", "h", "f"}, {"--port", "70000", "h", "f"}, {"--tcp", "h", "f"}, {"h", "f", "g"}}) {
        Sender sender(args, Path("usage.err"));
        EXPECT_EQ(sender.Wait(), 2);
        EXPECT_EQ(sender.Error().rfind("usage: sonvale-send", 0), 0u);
    }
    close(closed);
}

}  // namespace
}  // namespace sonvale::send
