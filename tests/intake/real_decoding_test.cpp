// Real streams through the packet handler and LAME's real decoder: the queue
// must receive exactly what decoding the whole file at once gives, whatever
// the cut of the stream and whatever comes in front of it; a stream at
// another rate must arrive converted and whole, its last milliseconds too.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "intake/decoder_binding.h"
#include "intake/packet_handler.h"
#include "intake/pcm_queue.h"
#include "tests/intake/real_decoder.h"
#include "tests/support/fakes.h"

namespace sonvale::test {
namespace {

struct Stream {
    const char* file;
    bool mono;
    // The largest read whose audio fits under the queue's admission limit:
    // at 32 kbit/s one 8000-byte read decodes to more than twice the limit,
    // and the queue is emptied by design.
    int largestRead;
};

const Stream kStreams[] = {
    {"stereo_44k_32.mp3", false, 2000},
    {"stereo_44k_128.mp3", false, kReceiveChunk},
    {"stereo_44k_320.mp3", false, kReceiveChunk},
};
const Stream kMono22k = {"mono_22k.mp3", true, 2000};
const Stream kStereo48k = {"stereo_48k.mp3", false, kReceiveChunk};

double Rms(const std::vector<std::uint8_t>& pcm)
{
    double sum = 0;
    for (std::size_t at = 0; at + 2 <= pcm.size(); at += 2) {
        const double sample = static_cast<std::int16_t>(pcm[at] | pcm[at + 1] << 8);
        sum += sample * sample;
    }
    return std::sqrt(sum / static_cast<double>(pcm.size() / 2));
}

class RealDecoding : public ::testing::Test {
protected:
    std::vector<std::uint8_t> Expected(const Stream& stream)
    {
        return DecodeWhole(library_, ReadFile(TestDataPath(stream.file)), stream.mono);
    }

    // Feeds the bytes in pieces of random size and plays the queue out after
    // each, so that the admission limit never drops anything.
    std::vector<std::uint8_t> Play(const std::vector<std::uint8_t>& bytes, unsigned cut, int largest = kReceiveChunk)
    {
        std::mt19937 random(cut);
        std::uniform_int_distribution<int> size(1, largest);
        std::vector<std::uint8_t> played;
        for (std::size_t at = 0; at < bytes.size();) {
            const int piece = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(size(random)), bytes.size() - at));
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), piece, handler_->ReceiveBuffer());
            handler_->HandleReceived(piece);
            at += static_cast<std::size_t>(piece);
            played.insert(played.end(), queue_->Data(), queue_->Data() + queue_->Fill());
            queue_->Clear();
        }
        return played;
    }

    RecordingBoxes boxes_;
    RealDecoderLibrary library_;
    std::unique_ptr<DecoderBinding> binding_ = std::make_unique<DecoderBinding>(library_, boxes_);
    std::unique_ptr<PcmQueue> queue_ = std::make_unique<PcmQueue>();
    std::unique_ptr<PacketHandler> handler_ = std::make_unique<PacketHandler>(*binding_, *queue_);
};

TEST_F(RealDecoding, QueuesExactlyTheWholeFileDecodeWhateverTheCut)
{
    ASSERT_TRUE(binding_->Usable()) << "the LAME library did not load";
    for (const Stream& stream : kStreams) {
        const auto mp3 = ReadFile(TestDataPath(stream.file));
        ASSERT_GT(mp3.size(), 1000u) << stream.file;
        const auto expected = Expected(stream);
        ASSERT_GT(expected.size(), 44100u) << stream.file;
        for (unsigned cut : {1u, 2u}) {
            handler_->StartNewStream();
            EXPECT_TRUE(Play(mp3, cut, stream.largestRead) == expected) << stream.file << " cut " << cut;
        }
        handler_->StartNewStream();
        EXPECT_TRUE(Play(mp3, 3, 7) == expected) << stream.file << " in tiny pieces";
    }
}

// A LAME build that exports only the three entries the player needs.
class WithoutSingleFrameEntry final : public DecoderLibrary {
public:
    explicit WithoutSingleFrameEntry(DecoderLibrary& library) : library_(library) {}
    bool Load() override { return library_.Load(); }
    void* Resolve(const char* name) override
    {
        return std::string(name) == "hip_decode1" ? nullptr : library_.Resolve(name);
    }

private:
    DecoderLibrary& library_;
};

TEST_F(RealDecoding, ALibraryWithoutTheSingleFrameEntryDecodesTheSame)
{
    WithoutSingleFrameEntry library(library_);
    binding_ = std::make_unique<DecoderBinding>(library, boxes_);
    handler_ = std::make_unique<PacketHandler>(*binding_, *queue_);
    ASSERT_TRUE(binding_->Usable());
    EXPECT_TRUE(boxes_.shown.empty());
    for (const Stream& stream : kStreams) {
        handler_->StartNewStream();
        EXPECT_TRUE(Play(ReadFile(TestDataPath(stream.file)), 4, stream.largestRead) == Expected(stream)) << stream.file;
    }
}

TEST_F(RealDecoding, AStreamBehindGarbageOrALayerOnePrefixStillPlaysInFull)
{
    const Stream& stream = kStreams[1];
    const auto mp3 = ReadFile(TestDataPath(stream.file));
    const auto expected = Expected(stream);

    std::mt19937 random(11);
    std::vector<std::uint8_t> garbage(200000);
    for (auto& byte : garbage)
        byte = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> layerOne(64);
    layerOne[0] = 0xFF, layerOne[1] = 0xFF, layerOne[2] = 0x90;

    for (const auto& prefix : {garbage, layerOne}) {
        handler_->StartNewStream();
        std::vector<std::uint8_t> bytes = prefix;
        bytes.insert(bytes.end(), mp3.begin(), mp3.end());
        EXPECT_TRUE(Play(bytes, 5, stream.largestRead) == expected) << "prefix of " << prefix.size() << " bytes";
    }
}

TEST_F(RealDecoding, AStreamAtAnotherRateIsQueuedConvertedAndWholeBeforeTheNextOne)
{
    // Mid-stream, a change of rate: the old stream's tail, still in the
    // converter, goes into the queue ahead of the new stream, which is queued
    // exactly as decoded.
    const auto mono = ReadFile(TestDataPath(kMono22k.file));
    const auto stereo = ReadFile(TestDataPath(kStreams[1].file));
    const auto decodedMono = Expected(kMono22k);
    const auto decodedStereo = Expected(kStreams[1]);
    std::vector<std::uint8_t> bytes = mono;
    bytes.insert(bytes.end(), stereo.begin(), stereo.end());
    const auto played = Play(bytes, 9, kMono22k.largestRead);
    ASSERT_EQ(played.size(), 2 * decodedMono.size() + decodedStereo.size());
    const std::vector<std::uint8_t> converted(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(2 * decodedMono.size()));
    EXPECT_NEAR(Rms(converted), Rms(decodedMono), 0.03 * Rms(decodedMono));
    EXPECT_TRUE(std::equal(decodedStereo.begin(), decodedStereo.end(), played.end() - static_cast<std::ptrdiff_t>(decodedStereo.size())));

    // A new sender: the converter's tail is queued when the stream ends.
    handler_->StartNewStream();
    auto wide = Play(ReadFile(TestDataPath(kStereo48k.file)), 4);
    handler_->StartNewStream();
    wide.insert(wide.end(), queue_->Data(), queue_->Data() + queue_->Fill());
    const auto decodedWide = Expected(kStereo48k);
    EXPECT_NEAR(static_cast<double>(wide.size() / 4), static_cast<double>(decodedWide.size() / 4) * 44100 / 48000, 1.0);
    EXPECT_NEAR(Rms(wide), Rms(decodedWide), 0.03 * Rms(decodedWide));
}

}  // namespace
}  // namespace sonvale::test
