// How the Linux player copes with a sender whose clock is not its sound
// card's: a stream sent as if the sender's clock ran PPM parts per million
// fast or slow, once with the player's drift control and once with it off
// (SONVALE_DRIFT_CONTROL=off), played into a PulseAudio null sink whose
// monitor parec records.
//
// The stream is a quiet continuous tone with a loud marker every 5 s.
// Dropouts are silent stretches inside it (the queue ran dry); flushes are
// stretches of the stream that never played (the queue overflowed and was
// emptied). Latency is taken much as in latency_bench: for each marker, the
// time from the write of the frame that holds it to when the monitor gave out
// its sound, read off a line fitted through parec's reads (the earliest of
// them). The same line gives the sink's own rate: PulseAudio's null sink
// counts whole microseconds per chunk it renders and can run some ppm fast of
// the monotonic clock, which adds to the sender's drift.
//
// Run by bench/run-drift.sh, which provides the network namespace, the
// display and the sound server.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
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
#include <limits>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "intake/linux/linux_decoder_library.h"
#include "tests/intake/real_decoder.h"
#include "tools/sonvale_send/frame_reader.h"
#include "tools/sonvale_send/pacer.h"

namespace {

using namespace std::chrono;
using Clock = steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int kRate = 44100;
constexpr int kMarkerLevel = 15000;  // the tone stays far below it
constexpr int kSilenceLevel = 8;     // a tone is never this quiet two samples running
constexpr std::size_t kMarkerQuiet = kRate * 3 / 10;
constexpr std::size_t kShortestDropout = 64;

int Left(const Bytes& pcm, std::size_t frame)
{
    return static_cast<std::int16_t>(pcm[4 * frame] | pcm[4 * frame + 1] << 8);
}

int Right(const Bytes& pcm, std::size_t frame)
{
    return static_cast<std::int16_t>(pcm[4 * frame + 2] | pcm[4 * frame + 3] << 8);
}

// Frames where a marker starts: loud after at least 300 ms below the level.
std::vector<std::size_t> Markers(const Bytes& pcm)
{
    std::vector<std::size_t> markers;
    std::size_t quiet = 0;
    for (std::size_t i = 0; 4 * i + 4 <= pcm.size(); ++i) {
        if (std::abs(Left(pcm, i)) > kMarkerLevel) {
            if (quiet >= kMarkerQuiet)
                markers.push_back(i);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return markers;
}

pid_t Spawn(const std::vector<std::string>& command, bool driftControl)
{
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const auto& arg : command)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (driftControl)
            unsetenv("SONVALE_DRIFT_CONTROL");
        else
            setenv("SONVALE_DRIFT_CONTROL", "off", 1);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void Stop(pid_t pid, int signal)
{
    kill(pid, signal);
    for (int i = 0; i < 50; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        std::this_thread::sleep_for(100ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// Records the monitor and remembers when each stretch of bytes arrived.
class Recorder {
public:
    Recorder()
    {
        int out[2];
        if (pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execlp("parec", "parec", "-d", "out.monitor", "--format=s16le", "--rate=44100", "--channels=2",
                   "--latency-msec=100", "--raw", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        fd_ = out[0];
        thread_ = std::thread([this] {
            std::uint8_t buffer[1024];
            for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
                const auto now = Clock::now();
                std::lock_guard lock(mutex_);
                data_.insert(data_.end(), buffer, buffer + n);
                reads_.push_back({data_.size(), now});
            }
        });
    }
    // What was recorded; the recording ends.
    Bytes Finish()
    {
        if (pid_ > 0)
            Stop(pid_, SIGINT);
        if (thread_.joinable())
            thread_.join();
        close(fd_);
        data_.resize(data_.size() / 4 * 4);
        return data_;
    }
    // When the monitor gave out each frame, on a straight line through the
    // reads: reads of 100 ms come in chunks too coarse for a latency, and
    // shorter ones shorten the sink's chunks, whose rounding makes it run
    // fast (200 ppm with 5 ms). Fitted after Finish.
    void Fit()
    {
        double mf = 0, mt = 0;
        const auto n = static_cast<double>(reads_.size());
        for (const Read& r : reads_) {
            mf += static_cast<double>(r.end / 4) / n;
            mt += duration<double>(r.when - reads_.front().when).count() / n;
        }
        double covariance = 0, variance = 0;
        for (const Read& r : reads_) {
            const double f = static_cast<double>(r.end / 4) - mf;
            covariance += f * (duration<double>(r.when - reads_.front().when).count() - mt);
            variance += f * f;
        }
        secondsPerFrame_ = covariance / variance;
    }
    // Through the earliest of the reads within 2 s of the frame (a read is
    // never early), so that a stall of the sound server shifts the line only
    // where it happened.
    Clock::time_point FrameTime(std::size_t frame) const
    {
        auto read = std::lower_bound(reads_.begin(), reads_.end(), 4 * (frame > 2 * kRate ? frame - 2 * kRate : 0),
                                     [](const Read& r, std::size_t at) { return r.end < at; });
        double offset = std::numeric_limits<double>::max();
        for (; read != reads_.end() && read->end <= 4 * (frame + 2 * kRate); ++read)
            offset = std::min(offset, duration<double>(read->when - reads_.front().when).count() -
                                          secondsPerFrame_ * static_cast<double>(read->end / 4));
        return reads_.front().when +
               duration_cast<Clock::duration>(duration<double>(offset + secondsPerFrame_ * static_cast<double>(frame)));
    }
    // How much faster than the monotonic clock the sink plays, in parts per million.
    double SinkPpm() const { return 1e6 * (1 / (secondsPerFrame_ * kRate) - 1); }

private:
    struct Read {
        std::size_t end;
        Clock::time_point when;
    };
    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    Bytes data_;
    std::vector<Read> reads_;
    double secondsPerFrame_ = NAN;
};

int Connect()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(52166);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return fd;
        }
        close(fd);
        std::this_thread::sleep_for(100ms);
    }
    return -1;
}

// Sends as sonvale-send --drift does, on its pacer; returns when each frame was written.
std::vector<Clock::time_point> SendPaced(int fd, const std::vector<sonvale::send::Frame>& frames, int ppm)
{
    sonvale::send::Pacer pacer(ppm);
    std::vector<Clock::time_point> written;
    for (const auto& frame : frames) {
        const auto due = pacer.Due(Clock::now());
        std::this_thread::sleep_until(due);
        written.push_back(Clock::now());
        if (send(fd, frame.bytes.data(), frame.bytes.size(), MSG_NOSIGNAL) < 0)
            break;
        pacer.Sent(frame.header);
    }
    return written;
}

struct Row {
    int ppm = 0;
    bool control = true;
    std::size_t dropouts = 0;
    double silentMs = 0;
    std::size_t flushes = 0;
    double skippedMs = 0;
    double startMs = NAN, endMs = NAN, perHourMs = NAN;
    std::size_t markers = 0, sent = 0;
    double sinkPpm = NAN;
};

double Median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Row Measure(const std::string& player, const std::vector<sonvale::send::Frame>& frames,
            const std::vector<std::size_t>& markerSamples, int ppm, bool control)
{
    Row row;
    row.ppm = ppm;
    row.control = control;
    row.sent = markerSamples.size();
    const pid_t pid = Spawn({player}, control);
    std::this_thread::sleep_for(2s);
    Recorder recorder;
    std::this_thread::sleep_for(2s);
    const int fd = Connect();
    std::vector<Clock::time_point> written;
    if (fd >= 0) {
        written = SendPaced(fd, frames, ppm);
        std::this_thread::sleep_for(1500ms);
        close(fd);
    }
    const Bytes pcm = recorder.Finish();
    Stop(pid, SIGTERM);
    recorder.Fit();
    row.sinkPpm = recorder.SinkPpm();

    // The stream in the recording: from its first marker (the decoder's
    // first frames are near silence) to its last sound.
    const std::vector<std::size_t> heard = Markers(pcm);
    const std::size_t frameCount = pcm.size() / 4;
    auto silent = [&](std::size_t i) {
        return std::abs(Left(pcm, i)) <= kSilenceLevel && std::abs(Right(pcm, i)) <= kSilenceLevel;
    };
    const std::size_t first = heard.empty() ? frameCount : heard.front();
    std::size_t last = frameCount;
    while (last > first && silent(last - 1))
        --last;
    // Silent runs inside it, each a dropout.
    std::vector<std::pair<std::size_t, std::size_t>> dropouts;
    for (std::size_t i = first; i < last; ++i) {
        std::size_t run = i;
        while (run < last && silent(run))
            ++run;
        if (run - i >= kShortestDropout) {
            dropouts.push_back({i, run});
            std::fprintf(stderr, "%+d %s: %zu silent frames %.3f s into the stream\n", ppm, control ? "on" : "off",
                         run - i, static_cast<double>(i - first) / kRate);
        }
        i = run;
    }
    row.dropouts = dropouts.size();
    auto silentFrames = [&](std::size_t from, std::size_t to) {
        std::size_t frames = 0;
        for (const auto& [begin, end] : dropouts)
            frames += std::min(end, to) > std::max(begin, from) ? std::min(end, to) - std::max(begin, from) : 0;
        return frames;
    };
    row.silentMs = 1000.0 * static_cast<double>(silentFrames(first, last)) / kRate;

    // Each marker sent against the next one heard within 2 s of its write.
    std::vector<std::pair<double, double>> latencies;  // seconds since the first write, ms
    std::size_t previousSent = 0, previousHeard = 0;
    bool havePrevious = false;
    for (const std::size_t sentAt : markerSamples) {
        // Frame 0 is the encoder's tag frame and decodes to nothing.
        const std::size_t frame = sentAt / 1152 + 1;
        if (frame >= written.size())
            break;
        const auto sent = written[frame] + duration_cast<Clock::duration>(duration<double>(
                                               static_cast<double>(sentAt % 1152) / kRate));
        const auto next = std::find_if(heard.begin(), heard.end(),
                                       [&](std::size_t at) { return recorder.FrameTime(at) > sent; });
        if (next == heard.end() || recorder.FrameTime(*next) - sent > 2s) {
            ++row.flushes;  // a marker that never played
            havePrevious = false;
            continue;
        }
        latencies.push_back({duration<double>(sent - written.front()).count(),
                             duration<double, std::milli>(recorder.FrameTime(*next) - sent).count()});
        std::fprintf(stderr, "%+d %s: marker at %.1f s, latency %.1f ms\n", ppm, control ? "on" : "off",
                     latencies.back().first, latencies.back().second);
        // Between two markers heard, what went missing beyond what the
        // control may drop (a frame in 2000) was flushed.
        if (havePrevious) {
            const auto played = static_cast<double>(*next - previousHeard - silentFrames(previousHeard, *next));
            const auto missing = static_cast<double>(sentAt - previousSent) - played;
            if (missing > 1000) {
                ++row.flushes;
                row.skippedMs += 1000.0 * missing / kRate;
            }
        }
        previousSent = sentAt;
        previousHeard = *next;
        havePrevious = true;
    }
    row.markers = latencies.size();
    if (latencies.size() >= 2) {
        std::vector<double> head, tail;
        for (std::size_t i = 0; i < std::min<std::size_t>(3, latencies.size()); ++i) {
            head.push_back(latencies[i].second);
            tail.push_back(latencies[latencies.size() - 1 - i].second);
        }
        row.startMs = Median(head);
        row.endMs = Median(tail);
        double mt = 0, ml = 0;
        for (const auto& [t, l] : latencies) {
            mt += t;
            ml += l;
        }
        mt /= static_cast<double>(latencies.size());
        ml /= static_cast<double>(latencies.size());
        double stl = 0, stt = 0;
        for (const auto& [t, l] : latencies) {
            stl += (t - mt) * (l - ml);
            stt += (t - mt) * (t - mt);
        }
        row.perHourMs = stl / stt * 3600;
    }
    return row;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PLAYER STREAM.mp3 PPM...\n", argv[0]);
        return 2;
    }
    const std::string player = argv[1];
    std::vector<sonvale::send::Frame> frames;
    {
        const int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
        sonvale::send::FrameReader reader(fd);
        for (sonvale::send::Frame frame; reader.Next(frame) == sonvale::send::ReadStatus::kFrame;)
            frames.push_back(frame);
        close(fd);
    }

    // Where each marker sounds in the decoded stream.
    sonvale::linux_shell::LinuxDecoderLibrary library;
    const std::vector<std::size_t> markers =
        Markers(sonvale::test::DecodeWhole(library, sonvale::test::ReadFile(argv[2]), false));

    std::printf("%zu frames (%.1f min), %zu markers\n", frames.size(), frames.size() * 1152.0 / kRate / 60,
                markers.size());
    std::printf("%7s %-7s %9s %10s %8s %11s %11s %10s %12s %8s %9s\n", "drift", "control", "dropouts", "silent ms",
                "flushes", "skipped ms", "latency in", "at end", "drift ms/h", "markers", "sink ppm");
    for (int i = 3; i < argc; ++i) {
        const int ppm = std::atoi(argv[i]);
        for (const bool control : {true, false}) {
            const Row r = Measure(player, frames, markers, ppm, control);
            std::printf("%+7d %-7s %9zu %10.1f %8zu %11.1f %11.1f %10.1f %12.1f %5zu/%-3zu %9.1f\n", r.ppm,
                        r.control ? "on" : "off", r.dropouts, r.silentMs, r.flushes, r.skippedMs, r.startMs, r.endMs,
                        r.perHourMs, r.markers, r.sent, r.sinkPpm);
            std::fflush(stdout);
        }
    }
    return 0;
}
