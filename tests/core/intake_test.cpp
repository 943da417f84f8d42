// The PCM queue's admission rule, the frame gate, the decoder binding and the
// packet handler, with a scripted decoder.
#include <gtest/gtest.h>

#include <numeric>
#include <random>

#include "intake/decoder_binding.h"
#include "intake/frame_gate.h"
#include "intake/packet_handler.h"
#include "intake/pcm_queue.h"
#include "tests/support/fakes.h"
#include "tests/support/frames.h"

namespace sonvale::test {
namespace {

std::vector<std::uint8_t> Silence(int frames)
{
    return std::vector<std::uint8_t>(static_cast<std::size_t>(frames) * 4, 0);
}

TEST(PcmQueue, AdmitsUpToTheLimitCountingEightBytesPerFrame)
{
    auto queue = std::make_unique<PcmQueue>();
    const auto packet = Silence(125);
    for (int i = 0; i < 298; ++i)
        queue->Admit(packet.data(), 125);
    ASSERT_EQ(queue->Fill(), 149000);
    queue->Admit(packet.data(), 125);  // 149000 + 8 x 125 = 150000: admitted
    EXPECT_EQ(queue->Fill(), 149500);

    queue->Clear();
    queue->Admit(packet.data(), 1);
    for (int i = 0; i < 298; ++i)
        queue->Admit(packet.data(), 125);
    ASSERT_EQ(queue->Fill(), 149004);
    queue->Admit(packet.data(), 125);  // 150004: emptied, the new frames dropped
    EXPECT_EQ(queue->Fill(), 0);

    // One decode call worth more than the limit is never admitted.
    queue->Admit(Silence(18751).data(), 18751);
    EXPECT_EQ(queue->Fill(), 0);
}

TEST(Mp3FrameHeader, AcceptsOnlyLayerThreeWithValidIndexes)
{
    struct Accepted { std::uint8_t header[4]; int kbps, rate, channels, bytes, samples; };
    const Accepted accepted[] = {
        {{0xFF, 0xFB, 0x90, 0x00}, 128, 44100, 2, 417, 1152},
        {{0xFF, 0xFB, 0x92, 0x00}, 128, 44100, 2, 418, 1152},                // padded
        {{0xFF, 0xF3, 0x40, 0xC0}, 32, 22050, 1, 104, 576},                  // MPEG-2, mono
        {{0xFF, 0xE3, 0xEA, 0x00}, 160, 8000, 2, 1441, 576},                 // MPEG-2.5, padded
        {{0xFF, 0xFB, 0xEA, 0x00}, 320, 32000, 2, kMaxMp3FrameBytes, 1152},  // the largest frame
    };
    for (const Accepted& a : accepted) {
        const auto parsed = ParseMp3FrameHeader(a.header);
        ASSERT_TRUE(parsed) << int(a.header[1]) << " " << int(a.header[2]);
        EXPECT_EQ(std::vector<int>({parsed->bitrateKbps, parsed->sampleRate, parsed->channels, parsed->frameBytes,
                                    parsed->samplesPerFrame}),
                  std::vector<int>({a.kbps, a.rate, a.channels, a.bytes, a.samples}))
            << int(a.header[1]) << " " << int(a.header[2]);
    }

    const std::uint8_t rejected[][4] = {
        {0xFF, 0xFF, 0x90, 0x00},  // Layer I
        {0xFF, 0xFD, 0x90, 0x00},  // Layer II
        {0xFF, 0xFB, 0x00, 0x00},  // free format
        {0xFF, 0xFB, 0xF0, 0x00},  // bit-rate index 15
        {0xFF, 0xFB, 0x9C, 0x00},  // sample-rate index 3
        {0xFF, 0xEB, 0x90, 0x00},  // reserved version
        {0xFF, 0x7B, 0x90, 0x00},  // broken sync
    };
    for (const auto& header : rejected)
        EXPECT_FALSE(ParseMp3FrameHeader(header)) << int(header[1]) << " " << int(header[2]);
}

std::vector<std::uint8_t> Gate(FrameGate& gate, const std::vector<std::uint8_t>& stream, std::size_t piece)
{
    std::vector<std::uint8_t> tags;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        const std::size_t size = std::min(piece, stream.size() - at);
        gate.Feed(stream.data() + at, size, [&](const std::uint8_t* frame, const Mp3FrameHeader& header) {
            EXPECT_TRUE(ParseMp3FrameHeader(frame));
            EXPECT_EQ(header.frameBytes, 417);
            tags.push_back(frame[4]);
        });
    }
    return tags;
}

// Garbage, other layers and a lone header in front are dropped: a frame passes
// once the next one confirms its sync, and then the stream is locked, so the
// last frame passes without waiting for another.
TEST(FrameGate, PassesEveryFrameInOrderBehindGarbageWhateverTheCut)
{
    std::mt19937 random(7);
    std::vector<std::uint8_t> garbage(20000);
    for (auto& byte : garbage)
        byte = static_cast<std::uint8_t>(random());
    std::copy(kStereo44k128, kStereo44k128 + 4, garbage.begin() + 500);
    const auto frames = Frames(kStereo44k128, 1, 12);
    std::vector<std::uint8_t> tags(12);
    std::iota(tags.begin(), tags.end(), 1);
    for (const auto& stream : {frames, Frames(kLayer1, 200, 3) + garbage + frames}) {
        for (std::size_t piece : {1u, 3u, 416u, 417u, 418u, 999u, 5000u}) {
            FrameGate gate;
            EXPECT_EQ(Gate(gate, stream, piece), tags) << stream.size() << " bytes in pieces of " << piece;
        }
    }
}

TEST(DecoderBinding, ReportsEachFailureAndRunsOn)
{
    {
        FakeServices fakes;
        fakes.decoder.loads = false;
        DecoderBinding binding(fakes.decoder, fakes.boxes);
        EXPECT_FALSE(binding.Usable());
        EXPECT_EQ(fakes.boxes.shown, (std::vector<std::pair<std::string, std::string>>{
                                         {"Load lame_enc.dll failure.", ""}}));
    }
    for (const char* entry : {"hip_decode_init", "hip_decode", "hip_decode_exit"}) {
        FakeServices fakes;
        fakes.decoder.missing = {entry};
        {
            DecoderBinding binding(fakes.decoder, fakes.boxes);
            EXPECT_FALSE(binding.Usable());
        }
        EXPECT_EQ(fakes.boxes.shown, (std::vector<std::pair<std::string, std::string>>{
                                         {"Get lame interface functions failed.", ""}}))
            << entry;
        EXPECT_EQ(fakes.decoder.inits + fakes.decoder.exits, 0) << entry;
    }
    {
        FakeServices fakes;
        fakes.decoder.initFails = true;
        {
            DecoderBinding binding(fakes.decoder, fakes.boxes);
            EXPECT_FALSE(binding.Usable());
        }
        EXPECT_EQ(fakes.boxes.shown, (std::vector<std::pair<std::string, std::string>>{{"wrong", "wrong"}}));
        EXPECT_EQ(fakes.decoder.exits, 0);
    }
    {
        FakeServices fakes;
        { DecoderBinding binding(fakes.decoder, fakes.boxes); }
        EXPECT_TRUE(fakes.boxes.shown.empty());
        EXPECT_EQ(fakes.decoder.inits, 1);
        EXPECT_EQ(fakes.decoder.exits, 1);
    }
}

struct HandlerRig {
    FakeServices fakes;
    std::unique_ptr<DecoderBinding> binding;
    std::unique_ptr<PcmQueue> queue = std::make_unique<PcmQueue>();
    std::unique_ptr<PacketHandler> handler;

    HandlerRig() { Rebuild(); }
    void Rebuild()
    {
        handler.reset();
        binding = std::make_unique<DecoderBinding>(fakes.decoder, fakes.boxes);
        handler = std::make_unique<PacketHandler>(*binding, *queue);
    }
    void Send(const std::vector<std::uint8_t>& bytes)
    {
        for (std::size_t at = 0; at < bytes.size(); at += kReceiveChunk) {
            const int size = static_cast<int>(std::min<std::size_t>(kReceiveChunk, bytes.size() - at));
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), size, handler->ReceiveBuffer());
            handler->HandleReceived(size);
        }
    }
    std::vector<std::uint8_t> Queued() const { return {queue->Data(), queue->Data() + queue->Fill()}; }
};

TEST(PacketHandler, InterleavesLeftThenRightLittleEndianAndPlaysMonoOnBothChannels)
{
    HandlerRig rig;
    rig.fakes.decoder.left = {1, 2};
    rig.fakes.decoder.right = {-1, -2};
    rig.Send(Frames(kStereo44k128, 1, 2));
    EXPECT_EQ(rig.Queued(), (std::vector<std::uint8_t>{1, 0, 0xFF, 0xFF, 2, 0, 0xFE, 0xFF,  //
                                                        1, 0, 0xFF, 0xFF, 2, 0, 0xFE, 0xFF}));
    rig.queue->Clear();
    rig.fakes.decoder.left.clear();
    rig.fakes.decoder.samplesPerCall = 2;
    rig.Send(Frames(kMono44k128, 9, 2));
    // The scripted decoder writes -tag on the right plane; mono must not show it.
    EXPECT_EQ(rig.Queued(), (std::vector<std::uint8_t>{9, 0, 9, 0, 9, 0, 9, 0, 10, 0, 10, 0, 10, 0, 10, 0}));
}

TEST(PacketHandler, FormatChangesAndNewStreamsStartAFreshDecoder)
{
    HandlerRig rig;
    rig.Send(Frames(kStereo44k128, 1, 3));
    EXPECT_EQ(rig.fakes.decoder.inits, 1);
    rig.Send(Frames(kMono22k32, 4, 3));
    EXPECT_EQ(rig.fakes.decoder.inits, 2);
    EXPECT_EQ(rig.fakes.decoder.exits, 1);
    rig.Send(Frames(kMono22k32, 7, 2));
    EXPECT_EQ(rig.fakes.decoder.inits, 2);

    rig.handler->StartNewStream();
    EXPECT_EQ(rig.fakes.decoder.inits, 3);
    // Half a frame left from the previous sender never reaches the new state.
    const auto cut = Frame(kStereo44k128, 50);
    rig.Send(Frames(kStereo44k128, 30, 2) + std::vector<std::uint8_t>(cut.begin(), cut.begin() + 200));
    rig.handler->StartNewStream();
    rig.Send(Frames(kStereo44k128, 20, 2));
    EXPECT_EQ(rig.fakes.decoder.framesSeen.back(), 21);
    EXPECT_EQ(std::count(rig.fakes.decoder.framesSeen.begin(), rig.fakes.decoder.framesSeen.end(), 50), 0);
}

TEST(PacketHandler, ADecoderThatYieldsNothingFor64KBIsStartedAfresh)
{
    HandlerRig rig;
    rig.fakes.decoder.producesNothing = true;
    const auto frames = Frames(kStereo44k128, 0, 160);  // 66720 bytes
    rig.Send(frames);
    EXPECT_EQ(rig.fakes.decoder.inits, 2);
    EXPECT_EQ(rig.queue->Fill(), 0);
}

TEST(PacketHandler, WithoutADecoderReadsAndDrops)
{
    HandlerRig rig;
    rig.fakes.decoder.loads = false;
    rig.Rebuild();
    rig.Send(Frames(kStereo44k128, 1, 5));
    EXPECT_EQ(rig.queue->Fill(), 0);
    EXPECT_EQ(rig.fakes.decoder.bytesFed, 0u);
}

}  // namespace
}  // namespace sonvale::test
