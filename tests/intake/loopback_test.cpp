// The endpoints on real sockets over loopback, with the platform's socket
// layer and event loop and the real decoder: what a sender writes is what the
// queue receives, a flood of garbage does not stop the next valid stream,
// and a shortage of descriptors does not make the listener spin.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <ctime>
#include <random>
#include <thread>
#include <utility>

#include "intake/decoder_binding.h"
#include "intake/mp3_frame.h"
#include "intake/pcm_queue.h"
#include "intake/stream_intake.h"
#include "tests/intake/loopback.h"
#include "tests/intake/real_decoder.h"
#include "tests/support/fakes.h"

namespace sonvale::test {
namespace {

using namespace std::chrono_literals;

// Not the player's own ports, so that a player running on the machine does
// not take these tests' traffic.
constexpr std::uint16_t kTestStreamPort = 52266;
constexpr std::uint16_t kTestDatagramPort = 52268;

// Whole frames, packed into datagrams of random size up to the limit.
std::vector<std::vector<std::uint8_t>> Datagrams(const std::vector<std::uint8_t>& mp3, unsigned cut)
{
    std::mt19937 random(cut);
    std::uniform_int_distribution<std::size_t> target(1, kReceiveChunk);
    std::vector<std::vector<std::uint8_t>> datagrams(1);
    std::size_t limit = target(random);
    for (std::size_t at = 0; at + kMp3HeaderBytes <= mp3.size();) {
        const auto header = ParseMp3FrameHeader(mp3.data() + at);
        if (!header)
            break;
        const auto size = static_cast<std::size_t>(header->frameBytes);
        if (!datagrams.back().empty() && datagrams.back().size() + size > limit) {
            datagrams.emplace_back();
            limit = target(random);
        }
        datagrams.back().insert(datagrams.back().end(), mp3.begin() + static_cast<std::ptrdiff_t>(at),
                                mp3.begin() + static_cast<std::ptrdiff_t>(std::min(at + size, mp3.size())));
        at += size;
    }
    return datagrams;
}

class Loopback : public ::testing::Test {
protected:
    Loopback() { intake_->CreateEndpoints(kTestStreamPort, kTestDatagramPort); }

    // Runs the loop until `bytes` of audio have been played out of the queue.
    bool PlayUntil(std::size_t bytes, std::chrono::milliseconds timeout = 20s)
    {
        return RunEventLoop(timeout, [&] { return played_.size() >= bytes; }, [&] { Drain(); });
    }
    void Drain()
    {
        played_.insert(played_.end(), queue_->Data(), queue_->Data() + queue_->Fill());
        queue_->Clear();
    }
    void SendStream(const std::vector<std::uint8_t>& mp3, unsigned cut, const std::atomic<bool>& finished)
    {
        LoopbackSender sender(true, kTestStreamPort);
        ASSERT_TRUE(sender.Connected());
        std::mt19937 random(cut);
        std::uniform_int_distribution<std::size_t> piece(1, kReceiveChunk);
        for (std::size_t at = 0; at < mp3.size();) {
            const std::size_t size = std::min(piece(random), mp3.size() - at);
            ASSERT_TRUE(sender.Send(mp3.data() + at, size));
            at += size;
            std::this_thread::sleep_for(200us);
        }
        // Bytes still unread when the sender closes are dropped by design, so
        // close only once all of it has been played.
        while (!finished)
            std::this_thread::sleep_for(5ms);
    }

    RecordingBoxes boxes_;
    RealDecoderLibrary library_;
    std::unique_ptr<SocketLayer> layer_ = MakePlatformSocketLayer();
    std::unique_ptr<DecoderBinding> binding_ = std::make_unique<DecoderBinding>(library_, boxes_);
    std::unique_ptr<PcmQueue> queue_ = std::make_unique<PcmQueue>();
    std::unique_ptr<StreamIntake> intake_ = std::make_unique<StreamIntake>(*layer_, *binding_, *queue_);
    std::vector<std::uint8_t> played_;
};

TEST_F(Loopback, TcpAndUdpDeliverExactlyTheDecodedStream)
{
    ASSERT_TRUE(binding_->Usable());
    for (const char* file : {"stereo_44k_128.mp3", "stereo_44k_320.mp3"}) {
        const auto mp3 = ReadFile(TestDataPath(file));
        const auto expected = DecodeWhole(library_, mp3, false);
        ASSERT_FALSE(expected.empty());

        played_.clear();
        std::atomic<bool> finished = false;
        std::thread sender([&] { SendStream(mp3, 3, finished); });
        EXPECT_TRUE(PlayUntil(expected.size())) << file << " over TCP: " << played_.size();
        finished = true;
        sender.join();
        EXPECT_TRUE(played_ == expected) << file << " over TCP";
        RunEventLoop(2s, [&] { return intake_->Connection() == nullptr; }, [] {});
        EXPECT_EQ(intake_->Connection(), nullptr) << "the closed connection keeps its slot";

        // A datagram sender is a new stream as far as the decoder can tell.
        intake_->Handler().StartNewStream();
        played_.clear();
        std::thread datagrams([&] {
            LoopbackSender udp(false, kTestDatagramPort);
            for (const auto& datagram : Datagrams(mp3, 4)) {
                udp.Send(datagram.data(), datagram.size());
                std::this_thread::sleep_for(1ms);
            }
        });
        EXPECT_TRUE(PlayUntil(expected.size())) << file << " over UDP: " << played_.size();
        datagrams.join();
        EXPECT_TRUE(played_ == expected) << file << " over UDP";
    }
}

TEST_F(Loopback, AFloodOfGarbageLeavesTheNextStreamPlaying)
{
    std::mt19937 random(21);
    std::vector<std::uint8_t> garbage(16 * 1024 * 1024);
    for (auto& byte : garbage)
        byte = static_cast<std::uint8_t>(random());
    const auto mp3 = ReadFile(TestDataPath("stereo_44k_128.mp3"));
    const auto expected = DecodeWhole(library_, mp3, false);

    std::atomic<std::size_t> sent = 0;
    std::thread flood([&] {
        LoopbackSender tcp(true, kTestStreamPort);
        LoopbackSender udp(false, kTestDatagramPort);
        for (std::size_t at = 0; at < garbage.size(); at += kReceiveChunk) {
            const std::size_t size = std::min<std::size_t>(kReceiveChunk, garbage.size() - at);
            tcp.Send(garbage.data() + at, size);
            udp.Send(garbage.data() + at, size);
            sent += size;
            std::this_thread::sleep_for(50us);
        }
    });
    RunEventLoop(60s, [&] { return sent == garbage.size(); }, [&] { Drain(); });
    flood.join();
    // Until the flood's connection has been closed and everything read.
    RunEventLoop(5s, [&] { return intake_->Connection() == nullptr; }, [&] { Drain(); });
    RunEventLoop(500ms, [] { return false; }, [&] { Drain(); });
    EXPECT_TRUE(played_.empty()) << played_.size() << " bytes of audio came out of garbage";

    played_.clear();
    std::atomic<bool> finished = false;
    std::thread sender([&] { SendStream(mp3, 8, finished); });
    EXPECT_TRUE(PlayUntil(expected.size()));
    finished = true;
    sender.join();
    EXPECT_TRUE(played_ == expected);
}

// A sender between songs: it closes and at once connects again. However the
// platform orders the two notices, every new connection is heard in full.
TEST_F(Loopback, ImmediateReconnectsAreAllHeard)
{
    const auto mp3 = ReadFile(TestDataPath("stereo_44k_128.mp3"));
    const std::vector<std::uint8_t> song(mp3.begin(), mp3.begin() + 4000);
    // What one song gives as a stream of its own (its last frame is cut short).
    intake_->Handler().StartNewStream();
    std::copy(song.begin(), song.end(), intake_->Handler().ReceiveBuffer());
    intake_->Handler().HandleReceived(static_cast<int>(song.size()));
    Drain();
    const auto perSong = std::exchange(played_, {});
    ASSERT_FALSE(perSong.empty());
    constexpr int kSongs = 50;

    // Each song is sent and heard, then its connection closed and the next
    // one opened at once.
    std::atomic<std::size_t> heard = 0;
    std::atomic<int> sent = 0;
    std::thread sender([&] {
        for (int i = 0; i < kSongs; ++i) {
            LoopbackSender tcp(true, kTestStreamPort);
            if (tcp.Connected())
                tcp.Send(song.data(), song.size());
            const auto giveUp = std::chrono::steady_clock::now() + 1s;
            while (heard < (i + 1) * perSong.size() && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(1ms);
            ++sent;
        }
    });
    RunEventLoop(60s, [&] { return sent == kSongs; }, [&] {
        Drain();
        heard = played_.size();
    });
    sender.join();
    RunEventLoop(200ms, [] { return false; }, [&] { Drain(); });
    EXPECT_EQ(played_.size() / perSong.size(), static_cast<std::size_t>(kSongs)) << "songs heard in full";
    EXPECT_EQ(played_.size() % perSong.size(), 0u);
}

#ifndef _WIN32
// Out of descriptors, a pending connection cannot be accepted and stays
// pending: the intake must wait for descriptors, not spin on a notice that
// fires again at once, and take the connection once it can.
TEST_F(Loopback, OutOfDescriptorsTheListenerWaitsInsteadOfSpinning)
{
    const int sender = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(sender, 0);
    rlimit normal{};
    getrlimit(RLIMIT_NOFILE, &normal);
    const int lowestFree = dup(0);
    close(lowestFree);
    rlimit exhausted = normal;
    exhausted.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &exhausted), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(kTestStreamPort);
    const bool connected = connect(sender, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;

    const std::clock_t start = std::clock();
    RunEventLoop(1s, [] { return false; }, [] {});
    const double busy = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    setrlimit(RLIMIT_NOFILE, &normal);
    ASSERT_TRUE(connected);
    EXPECT_EQ(intake_->Connection(), nullptr);
    EXPECT_LT(busy, 0.2) << "seconds of processor time in one second of waiting";
    EXPECT_TRUE(RunEventLoop(3s, [&] { return intake_->Connection() != nullptr; }, [] {}));
    close(sender);
}
#endif

}  // namespace
}  // namespace sonvale::test
