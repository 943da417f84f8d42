// End-to-end latency and CPU cost of the Linux player beside ffplay and mpv,
// each receiving the same stream on the same machine and playing it into the
// same PulseAudio null sink, whose monitor parec records.
//
// Latency: a stream of clicks after silence, sent frame by frame in real time;
// for each click, the time from the write of the frame that holds it to the
// first read from parec that holds its sound (minus where in the frame the
// click starts). CPU: the player's user and system time for a minute of a
// 320 kbit/s stream.
//
// Run by bench/run-latency.sh, which provides the sound server.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "intake/linux/linux_decoder_library.h"
#include "intake/mp3_frame.h"
#include "tests/intake/real_decoder.h"

namespace {

using namespace std::chrono;
using Clock = steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct Frame {
    std::size_t offset, size;
};

std::vector<Frame> FramesOf(const Bytes& mp3)
{
    std::vector<Frame> frames;
    for (std::size_t at = 0; at + 4 <= mp3.size();) {
        const auto header = sonvale::ParseMp3FrameHeader(mp3.data() + at);
        if (!header)
            break;
        frames.push_back({at, static_cast<std::size_t>(header->frameBytes)});
        at += static_cast<std::size_t>(header->frameBytes);
    }
    return frames;
}

pid_t Spawn(const std::vector<std::string>& command)
{
    std::fflush(stdout);  // or the child prints it again
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& arg : command)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void Stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(100ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Records the monitor and remembers when each stretch of bytes arrived.
class Recorder {
public:
    Recorder()
    {
        pipe_ = popen("parec -d out.monitor --format=s16le --rate=44100 --channels=2 --latency-msec=5 --raw", "r");
        thread_ = std::thread([this] {
            std::vector<std::uint8_t> buffer(1024);
            while (!stop_) {
                const std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe_);
                if (n == 0)
                    break;
                const auto now = Clock::now();
                std::lock_guard lock(mutex_);
                reads_.push_back({data_.size() + n, now});
                data_.insert(data_.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
            }
        });
    }
    ~Recorder()
    {
        stop_ = true;
        system("pkill -INT -x parec");
        thread_.join();
        pclose(pipe_);
    }
    // Arrival times of sounds that follow at least 300 ms of silence.
    std::vector<Clock::time_point> Onsets()
    {
        std::lock_guard lock(mutex_);
        std::vector<Clock::time_point> onsets;
        std::size_t quiet = 0;
        std::size_t read = 0;
        for (std::size_t at = 0; at + 4 <= data_.size(); at += 4) {
            const int left = static_cast<std::int16_t>(data_[at] | data_[at + 1] << 8);
            if (std::abs(left) > 2000) {
                if (quiet >= 44100 * 3 / 10) {
                    while (reads_[read].end <= at)
                        ++read;
                    onsets.push_back(reads_[read].when);
                }
                quiet = 0;
            } else {
                ++quiet;
            }
        }
        return onsets;
    }

private:
    struct Read {
        std::size_t end;
        Clock::time_point when;
    };
    FILE* pipe_;
    std::thread thread_;
    std::atomic<bool> stop_ = false;
    std::mutex mutex_;
    Bytes data_;
    std::vector<Read> reads_;
};

int Connect(bool stream, std::uint16_t port)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return fd;
        close(fd);
        std::this_thread::sleep_for(100ms);
    }
    return -1;
}

// Sends frame by frame, each on time; returns when each frame was written.
std::vector<Clock::time_point> SendPaced(int fd, const Bytes& mp3, const std::vector<Frame>& frames)
{
    std::vector<Clock::time_point> written;
    const auto start = Clock::now() + 200ms;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        std::this_thread::sleep_until(start + nanoseconds(static_cast<long long>(i * 1152 * 1e9 / 44100)));
        written.push_back(Clock::now());
        if (send(fd, mp3.data() + frames[i].offset, frames[i].size, MSG_NOSIGNAL) < 0)
            break;
    }
    return written;
}

struct Player {
    std::string name;
    std::vector<std::string> tcp, udp;  // commands; "{port}" is replaced
    bool listens;                       // the player is the TCP server
};

std::vector<std::string> WithPort(std::vector<std::string> command, std::uint16_t port)
{
    for (auto& arg : command)
        if (const auto at = arg.find("{port}"); at != std::string::npos)
            arg.replace(at, 6, std::to_string(port));
    return command;
}

struct Figures {
    double median = NAN, low = NAN, high = NAN;
    std::size_t clicks = 0;
};

Figures Measure(const Player& player, bool stream, const Bytes& mp3, const std::vector<Frame>& frames,
                const std::vector<std::size_t>& clickFrames, const std::vector<double>& clickOffsets)
{
    const std::uint16_t port = player.listens ? 52466 : (stream ? 52166 : 52168);
    const pid_t pid = Spawn(WithPort(stream ? player.tcp : player.udp, port));
    std::this_thread::sleep_for(2s);
    Recorder recorder;
    std::this_thread::sleep_for(2s);
    const int fd = Connect(stream, port);
    std::vector<Clock::time_point> written;
    if (fd >= 0) {
        written = SendPaced(fd, mp3, frames);
        std::this_thread::sleep_for(1s);
        close(fd);
    }
    const auto onsets = recorder.Onsets();
    Stop(pid);

    std::vector<double> latencies;
    for (std::size_t k = 0; k < clickFrames.size() && clickFrames[k] < written.size(); ++k) {
        const auto sent = written[clickFrames[k]] + duration<double>(clickOffsets[k]);
        const auto next = std::find_if(onsets.begin(), onsets.end(), [&](auto when) { return when > sent; });
        if (next != onsets.end() && *next - sent < 2s)
            latencies.push_back(duration<double, std::milli>(*next - sent).count());
    }
    Figures figures;
    figures.clicks = latencies.size();
    if (latencies.empty())
        return figures;
    std::sort(latencies.begin(), latencies.end());
    figures.median = latencies[latencies.size() / 2];
    figures.low = latencies.front();
    figures.high = latencies.back();
    return figures;
}

double MeasureCpu(const Player& player, const Bytes& mp3, const std::vector<Frame>& frames)
{
    const std::uint16_t port = player.listens ? 52466 : 52166;
    const pid_t pid = Spawn(WithPort(player.tcp, port));
    std::this_thread::sleep_for(2s);
    const int fd = Connect(true, port);
    const double before = CpuSeconds(pid);
    if (fd >= 0) {
        SendPaced(fd, mp3, frames);
    }
    const double after = CpuSeconds(pid);
    if (fd >= 0)
        close(fd);
    Stop(pid);
    const double minutes = static_cast<double>(frames.size()) * 1152 / 44100 / 60;
    return (after - before) / minutes;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PLAYER CLICKS.mp3 MINUTE320.mp3\n", argv[0]);
        return 2;
    }
    const std::string sonvale = argv[1];
    const Bytes clicks = sonvale::test::ReadFile(argv[2]);
    const Bytes minute = sonvale::test::ReadFile(argv[3]);
    const auto clickFrames = FramesOf(clicks);
    const auto minuteFrames = FramesOf(minute);

    // Where each click sounds in the decoded stream: frame 0 is the encoder's
    // tag frame and decodes to nothing.
    sonvale::linux_shell::LinuxDecoderLibrary library;
    const Bytes pcm = sonvale::test::DecodeWhole(library, clicks, false);
    std::vector<std::size_t> clickFrame;
    std::vector<double> clickOffset;
    std::size_t quiet = 0;
    for (std::size_t at = 0; at + 4 <= pcm.size(); at += 4) {
        const int left = static_cast<std::int16_t>(pcm[at] | pcm[at + 1] << 8);
        if (std::abs(left) > 2000) {
            if (quiet >= 44100 * 3 / 10) {
                const std::size_t sample = at / 4;
                clickFrame.push_back(sample / 1152 + 1);
                clickOffset.push_back(static_cast<double>(sample % 1152) / 44100);
            }
            quiet = 0;
        } else {
            ++quiet;
        }
    }

    const std::vector<Player> players = {
        {"sonvale", {sonvale}, {sonvale}, false},
        {"ffplay", {"ffplay", "-nodisp", "-fflags", "nobuffer", "-loglevel", "quiet", "-i", "tcp://127.0.0.1:{port}?listen=1"},
         {"ffplay", "-nodisp", "-fflags", "nobuffer", "-loglevel", "quiet", "-f", "mp3", "-i", "udp://127.0.0.1:52168"},
         true},
        {"mpv", {"mpv", "--no-video", "--profile=low-latency", "--ao=pulse", "--really-quiet", "tcp://127.0.0.1:{port}?listen"},
         {"mpv", "--no-video", "--profile=low-latency", "--ao=pulse", "--really-quiet", "--demuxer-lavf-format=mp3", "udp://127.0.0.1:52168"},
         true},
    };

    std::printf("%zu clicks; latency from the write of a click's frame to its sound in the sink's monitor (ms)\n",
                clickFrame.size());
    std::printf("%-8s %-4s %8s %8s %8s %7s\n", "player", "via", "median", "min", "max", "clicks");
    for (const Player& player : players) {
        for (bool stream : {true, false}) {
            // ffplay and mpv need the UDP socket bound before the first datagram.
            const Player& p = player;
            const Figures f = Measure(p.listens && !stream ? Player{p.name, p.tcp, p.udp, false} : p, stream, clicks,
                                      clickFrames, clickFrame, clickOffset);
            std::printf("%-8s %-4s %8.1f %8.1f %8.1f %7zu\n", player.name.c_str(), stream ? "tcp" : "udp", f.median,
                        f.low, f.high, f.clicks);
        }
    }
    std::printf("\nCPU time per minute of a 320 kbit/s stream over TCP (s)\n");
    for (const Player& player : players)
        std::printf("%-8s %8.2f\n", player.name.c_str(), MeasureCpu(player, minute, minuteFrames));
    return 0;
}
