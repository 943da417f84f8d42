// The two-block cycle against a device that reports blocks done when told.
#include <gtest/gtest.h>

#include <numeric>

#include "app/main_window.h"
#include "app/window_host.h"
#include "intake/pcm_queue.h"
#include "playback/output_cycle.h"
#include "tests/support/fakes.h"

namespace sonvale::test {
namespace {

using Block = std::vector<std::uint8_t>;

class OutputCycleTest : public ::testing::Test {
protected:
    void Queue(int bytes)
    {
        std::vector<std::uint8_t> frames(static_cast<std::size_t>(bytes));
        std::iota(frames.begin(), frames.end(), static_cast<std::uint8_t>(next_));
        next_ += bytes;
        queued_.insert(queued_.end(), frames.begin(), frames.end());
        // In pieces the admission rule lets through.
        for (int at = 0; at < bytes; at += 4000)
            queue_->Admit(frames.data() + at, std::min(4000, bytes - at) / 4);
    }
    Block Played(std::size_t from) const { return Block(queued_.begin() + static_cast<std::ptrdiff_t>(from), queued_.begin() + static_cast<std::ptrdiff_t>(from + kBlockBytes)); }

    FakeAudioDevice device_;
    std::unique_ptr<PcmQueue> queue_ = std::make_unique<PcmQueue>();
    OutputCycle cycle_{device_, *queue_};
    std::vector<std::uint8_t> queued_;
    int next_ = 0;
};

const Block kSilence(kBlockBytes, 0);

TEST_F(OutputCycleTest, StartsWithTwoSilentBlocksAndPlaysSilenceWhileTheQueueIsShort)
{
    ASSERT_TRUE(cycle_.Start());
    ASSERT_EQ(device_.written.size(), 2u);
    EXPECT_EQ(device_.written[0], std::make_pair(0, kSilence));
    EXPECT_EQ(device_.written[1], std::make_pair(1, kSilence));

    device_.Done(0);  // empty queue
    EXPECT_EQ(device_.written.back(), std::make_pair(0, kSilence));
    Queue(8188);
    device_.Done(1);
    EXPECT_EQ(device_.written.back(), std::make_pair(1, kSilence));
    EXPECT_EQ(queue_->Fill(), 8188);
}

TEST_F(OutputCycleTest, TakesWholeBlocksFromTheFrontInOrder)
{
    ASSERT_TRUE(cycle_.Start());
    Queue(8192);
    device_.Done(0);
    EXPECT_EQ(device_.written.back(), std::make_pair(0, Played(0)));
    EXPECT_EQ(queue_->Fill(), 0);

    Queue(20000);
    device_.Done(1);
    EXPECT_EQ(device_.written.back(), std::make_pair(1, Played(8192)));
    EXPECT_EQ(queue_->Fill(), 11808);
    device_.Done(0);
    EXPECT_EQ(device_.written.back(), std::make_pair(0, Played(16384)));
    // What is left is less than a block: silence, not the old block again.
    device_.Done(1);
    EXPECT_EQ(device_.written.back(), std::make_pair(1, kSilence));
}

TEST_F(OutputCycleTest, StoppingClosesTheDeviceAndLateNoticesChangeNothing)
{
    ASSERT_TRUE(cycle_.Start());
    cycle_.Stop();
    EXPECT_TRUE(device_.closed);
    Queue(8192);
    cycle_.OnBlockDone(0);
    EXPECT_EQ(device_.written.size(), 2u);
    EXPECT_EQ(queue_->Fill(), 8192);
}

TEST(MainWindowOutput, ADeviceThatWillNotOpenIsReportedPlaysOnceItIsThereAndStopsWithTheWindow)
{
    FakeServices fakes;
    fakes.audio.opens = false;
    CSonvaleDlg dialog(fakes.services);
    struct Host final : WindowHost {
        void EndModal(int) override {}
    } host;
    EXPECT_TRUE(dialog.OnInitDialog(host));
    EXPECT_EQ(fakes.boxes.shown, (std::vector<std::pair<std::string, std::string>>{{"audio device error!", "<app>"}}));
    EXPECT_NE(dialog.Intake().Listener(), nullptr);
    // The device hands the blocks back once it opens, and they go round.
    EXPECT_EQ(fakes.audio.written.size(), 2u);
    fakes.audio.Done(0);
    EXPECT_EQ(fakes.audio.written.size(), 3u);
    // Stopped before the window's blocks go.
    EXPECT_FALSE(fakes.audio.closed);
    dialog.OnDestroy();
    EXPECT_TRUE(fakes.audio.closed);
}

}  // namespace
}  // namespace sonvale::test
