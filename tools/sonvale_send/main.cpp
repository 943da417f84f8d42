// sonvale-send: streams an MP3 file, or standard input, to a Sonvale player on
// the LAN, in real time unless told to hurry.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/sonvale_send/frame_reader.h"
#include "tools/sonvale_send/pacer.h"

namespace sonvale::send {
namespace {

constexpr int kTcpPort = 52166;
constexpr int kUdpPort = 52168;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr const char* kUsage =
    "usage: sonvale-send [--udp] [--fast] [--port N] [--drift PPM] HOST FILE|-\n"
    "  Streams an MP3 file (- for standard input) to a Sonvale player, paced in real time.\n"
    "  --udp        send datagrams to port 52168 instead of a TCP stream to port 52166\n"
    "  --fast       send as fast as the network takes it, without pacing\n"
    "  --port N     send to port N instead\n"
    "  --drift PPM  pace as if this machine's clock ran PPM parts per million fast\n"
    "               (below zero: slow), -10000 to 10000\n";

struct Options {
    bool udp = false;
    bool fast = false;
    int port = 0;  // 0 for the player's own port of the transport
    int driftPpm = 0;
    std::string host;
    std::string file;
};

void Fail(const std::string& message)
{
    std::fprintf(stderr, "sonvale-send: %s\n", message.c_str());
}

bool ParsePort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoi(text);
    return port >= 1 && port <= 65535;
}

bool ParseDrift(const std::string& text, int& ppm)
{
    const std::size_t digits = text.find_first_not_of("+-") == 1 ? 1 : 0;
    if (text.size() == digits || text.size() > digits + 5 ||
        text.find_first_not_of("0123456789", digits) != std::string::npos)
        return false;
    ppm = std::stoi(text);
    return ppm >= -kMaxDriftPpm && ppm <= kMaxDriftPpm;
}

bool ParseArguments(int argc, char** argv, Options& options)
{
    std::vector<std::string> operands;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--udp") {
            options.udp = true;
        } else if (arg == "--fast") {
            options.fast = true;
        } else if (arg == "--port") {
            if (i + 1 == argc || !ParsePort(argv[++i], options.port))
                return false;
        } else if (arg == "--drift") {
            if (i + 1 == argc || !ParseDrift(argv[++i], options.driftPpm))
                return false;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return false;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 2 || operands[0].empty())
        return false;
    options.host = operands[0];
    options.file = operands[1];
    if (options.port == 0)
        options.port = options.udp ? kUdpPort : kTcpPort;
    return true;
}

// A socket connected to the player: a TCP stream, or a UDP socket with the
// player as its fixed destination. -1 once the reason has been reported.
int Connect(const Options& options, const std::string& endpoint)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = options.udp ? SOCK_DGRAM : SOCK_STREAM;
    addrinfo* addresses = nullptr;
    const int rc = getaddrinfo(options.host.c_str(), std::to_string(options.port).c_str(), &hints, &addresses);
    if (rc != 0) {
        Fail("unknown host " + options.host + ": " + (rc == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(rc)));
        return -1;
    }
    int fd = -1;
    int error = 0;
    for (const addrinfo* a = addresses; a != nullptr && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd >= 0 && connect(fd, a->ai_addr, a->ai_addrlen) != 0) {
            error = errno;
            close(fd);
            fd = -1;
        } else if (fd < 0) {
            error = errno;
        }
    }
    freeaddrinfo(addresses);
    if (fd < 0) {
        Fail("cannot connect to " + endpoint + ": " + std::strerror(error));
        return -1;
    }
    // A paced frame leaves when it is due, not once the previous one has been
    // acknowledged.
    const int on = 1;
    if (!options.udp)
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool SendAll(int fd, const std::vector<std::uint8_t>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (sent < 0 && errno != EINTR)
            return false;
        if (sent > 0)
            done += static_cast<std::size_t>(sent);
    }
    return true;
}

// Frames out to the player: over TCP each as it comes, over UDP gathered into
// datagrams.
class Link {
public:
    Link(int fd, const Options& options)
        : fd_(fd), udp_(options.udp), packer_(options.fast ? std::chrono::nanoseconds::max() : kLead)
    {
    }

    bool Send(const Frame& frame)
    {
        if (!udp_)
            return SendAll(fd_, frame.bytes) || Failed();
        if (!packer_.Fits(frame) && !Flush())
            return false;
        packer_.Add(frame);
        return true;
    }

    // Sends the frames gathered so far, before the sender waits or ends.
    bool Flush()
    {
        if (packer_.Empty())
            return true;
        // A player that is not listening yet shows up as a refusal of a later
        // datagram; it may start at any moment, so keep sending.
        const bool sent = SendAll(fd_, packer_.Bytes()) || errno == ECONNREFUSED || Failed();
        packer_.Clear();
        return sent;
    }

    int Error() const { return error_; }

private:
    bool Failed()
    {
        error_ = errno;
        return false;
    }

    int fd_;
    bool udp_;
    DatagramPacker packer_;
    int error_ = 0;
};

int Run(const Options& options)
{
    const bool standardInput = options.file == "-";
    const std::string name = standardInput ? "standard input" : options.file;
    const int input = standardInput ? STDIN_FILENO : open(options.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0) {
        Fail("cannot open " + name + ": " + std::strerror(errno));
        return kExitFailure;
    }
    FrameReader reader(input);
    Frame frame;
    // Read before connecting, so that a wrong file never reaches the player as
    // an empty stream.
    ReadStatus status = reader.Next(frame);
    if (status == ReadStatus::kNotMp3) {
        Fail(name + " is not an MP3 stream");
        return kExitFailure;
    }
    if (status == ReadStatus::kReadError) {
        Fail("cannot read " + name + ": " + std::strerror(reader.Error()));
        return kExitFailure;
    }

    const bool ipv6 = options.host.find(':') != std::string::npos;
    const std::string endpoint = (ipv6 ? "[" + options.host + "]" : options.host) + ":" + std::to_string(options.port);
    const int fd = Connect(options, endpoint);
    if (fd < 0)
        return kExitFailure;
    Link link(fd, options);
    Pacer pacer(options.driftPpm);
    for (; status == ReadStatus::kFrame; status = reader.Next(frame)) {
        if (!options.fast) {
            const Clock::time_point now = Clock::now();
            const Clock::time_point due = pacer.Due(now);
            if (due > now) {
                if (!link.Flush())
                    break;
                std::this_thread::sleep_until(due);
            }
        }
        if (!link.Send(frame))
            break;
        pacer.Sent(frame.header);
    }
    // What was read before a read error still goes out.
    const bool sent = status != ReadStatus::kFrame && link.Flush();
    const std::string error = endpoint + ": " + std::strerror(link.Error());
    if (!sent)
        Fail((options.udp ? "cannot send to " : "lost the connection to ") + error);
    else if (status == ReadStatus::kReadError)
        Fail("cannot read " + name + ": " + std::strerror(reader.Error()));
    if (!options.udp)
        shutdown(fd, SHUT_WR);
    close(fd);
    return sent && status == ReadStatus::kEnd ? 0 : kExitFailure;
}

}  // namespace
}  // namespace sonvale::send

int main(int argc, char** argv)
{
    // A player that goes away must show up as a failed send, with a message,
    // rather than end the sender silently.
    signal(SIGPIPE, SIG_IGN);
    sonvale::send::Options options;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(sonvale::send::kUsage, stdout);
        return 0;
    }
    if (!sonvale::send::ParseArguments(argc, argv, options)) {
        std::fputs(sonvale::send::kUsage, stderr);
        return sonvale::send::kExitUsage;
    }
    return sonvale::send::Run(options);
}
