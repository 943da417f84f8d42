// The endpoints and the connection slot, over a scripted socket layer.
#include <gtest/gtest.h>

#include "intake/decoder_binding.h"
#include "intake/pcm_queue.h"
#include "intake/stream_intake.h"
#include "tests/support/fakes.h"
#include "tests/support/frames.h"

namespace sonvale::test {
namespace {

class StreamIntakeTest : public ::testing::Test {
protected:
    StreamIntakeTest()
    {
        intake_ = std::make_unique<StreamIntake>(fakes_.sockets, binding_, *queue_);
        intake_->CreateEndpoints();
    }

    FakeSocketLayer& Sockets() { return fakes_.sockets; }
    FakeSocketLayer::Socket& Socket(SocketHandle handle) { return fakes_.sockets.sockets[handle]; }
    const std::vector<std::uint8_t>& Decoded() const { return fakes_.decoder.framesSeen; }

    FakeServices fakes_;
    DecoderBinding binding_{fakes_.decoder, fakes_.boxes};
    std::unique_ptr<PcmQueue> queue_ = std::make_unique<PcmQueue>();
    std::unique_ptr<StreamIntake> intake_;
};

TEST_F(StreamIntakeTest, AConnectionIsDecodedUntilItClosesAndUnreadBytesGoWithIt)
{
    const SocketHandle sender = Sockets().Connect(kStreamPort);
    ASSERT_NE(intake_->Connection(), nullptr);
    EXPECT_EQ(intake_->Connection()->Kind(), SocketKind::Connection);
    EXPECT_EQ(Socket(sender).events, unsigned(kEventRead | kEventClose));
    EXPECT_TRUE(Socket(sender).keepAlive);

    Sockets().Arrive(sender, Frames(kStereo44k128, 1, 4));
    EXPECT_EQ(Decoded(), (std::vector<std::uint8_t>{1, 2, 3, 4}));

    Sockets().Queue(sender, Frames(kStereo44k128, 5, 4));
    Sockets().PeerCloses(sender);
    EXPECT_EQ(intake_->Connection(), nullptr);
    EXPECT_FALSE(Socket(sender).open);
    EXPECT_EQ(Decoded().size(), 4u);

    // The slot is free again, and the next sender starts with a fresh decoder.
    const int inits = fakes_.decoder.inits;
    const SocketHandle next = Sockets().Connect(kStreamPort);
    EXPECT_EQ(intake_->Connection()->Handle(), next);
    EXPECT_EQ(fakes_.decoder.inits, inits + 1);
    Sockets().Arrive(next, Frames(kStereo44k128, 20, 2));
    EXPECT_EQ(Decoded().back(), 21);
}

TEST_F(StreamIntakeTest, ASecondSenderIsTurnedAwayUntilTheFirstFallsSilent)
{
    const SocketHandle first = Sockets().Connect(kStreamPort);
    Sockets().Arrive(first, Frames(kStereo44k128, 1, 2));
    Sockets().nowMs += kSilentConnectionMs - 1;

    const SocketHandle second = Sockets().Connect(kStreamPort);
    EXPECT_FALSE(Socket(second).open);
    EXPECT_TRUE(Socket(first).open);
    EXPECT_EQ(intake_->Connection()->Handle(), first);
    EXPECT_TRUE(Socket(intake_->Listener()->Handle()).pending.empty());
    Sockets().Arrive(first, Frames(kStereo44k128, 3, 2));
    EXPECT_EQ(Decoded(), (std::vector<std::uint8_t>{1, 2, 3, 4}));

    Sockets().nowMs += kSilentConnectionMs;
    const SocketHandle third = Sockets().Connect(kStreamPort);
    EXPECT_FALSE(Socket(first).open);
    ASSERT_NE(intake_->Connection(), nullptr);
    EXPECT_EQ(intake_->Connection()->Handle(), third);
    Sockets().Arrive(third, Frames(kStereo44k128, 10, 2));
    EXPECT_EQ(Decoded().back(), 11);
    // A late notice for the replaced socket is harmless.
    Sockets().PeerCloses(first);
    EXPECT_EQ(intake_->Connection()->Handle(), third);
}

// Its close and last bytes not yet announced when the sender connects anew
// (notices of two sockets come in no fixed order): the last bytes are played,
// and the newcomer takes the slot.
TEST_F(StreamIntakeTest, ASenderThatReconnectsAtOnceIsNotTurnedAwayByItsOwnClose)
{
    const SocketHandle first = Sockets().Connect(kStreamPort);
    Sockets().Arrive(first, Frames(kStereo44k128, 1, 2));
    Socket(first).incoming.push_back(Frames(kStereo44k128, 3, 2));
    Socket(first).peerClosed = true;

    const SocketHandle next = Sockets().Connect(kStreamPort);
    ASSERT_NE(intake_->Connection(), nullptr);
    EXPECT_EQ(intake_->Connection()->Handle(), next);
    EXPECT_FALSE(Socket(first).open);
    Sockets().Arrive(next, Frames(kStereo44k128, 10, 2));
    EXPECT_EQ(Decoded(), (std::vector<std::uint8_t>{1, 2, 3, 4, 10, 11}));
}

TEST_F(StreamIntakeTest, DatagramsAreDecodedAlsoWhileAConnectionIsOpen)
{
    const SocketHandle sender = Sockets().Connect(kStreamPort);
    Sockets().SendDatagram(kDatagramPort, Frames(kStereo44k128, 1, 3));
    EXPECT_EQ(Decoded(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_TRUE(Socket(sender).open);

    // Too long for the receive buffer: dropped whole, nothing half-decoded.
    Sockets().SendDatagram(kDatagramPort, std::vector<std::uint8_t>(kReceiveChunk + 1, 0xFF));
    Sockets().SendDatagram(kDatagramPort, Frames(kStereo44k128, 4, 2));
    EXPECT_EQ(Decoded(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(StreamIntakeTest, DataAfterAPauseStartsAFreshStream)
{
    Sockets().SendDatagram(kDatagramPort, Frames(kStereo44k128, 1, 3));
    const int inits = fakes_.decoder.inits;
    Sockets().nowMs += kPauseBetweenStreamsMs - 1;
    Sockets().SendDatagram(kDatagramPort, Frames(kStereo44k128, 4, 3));
    EXPECT_EQ(fakes_.decoder.inits, inits);
    Sockets().nowMs += kPauseBetweenStreamsMs;
    Sockets().SendDatagram(kDatagramPort, Frames(kStereo44k128, 7, 3));
    EXPECT_EQ(fakes_.decoder.inits, inits + 1);
    EXPECT_EQ(Decoded().back(), 9);
}

TEST_F(StreamIntakeTest, WindowTeardownClosesTheDatagramSocketAndDeletesTheConnection)
{
    const SocketHandle sender = Sockets().Connect(kStreamPort);
    const SocketHandle datagram = intake_->Datagram()->Handle();
    const SocketHandle listener = intake_->Listener()->Handle();
    intake_->CloseEndpoints();
    EXPECT_EQ(intake_->Connection(), nullptr);
    EXPECT_FALSE(Socket(sender).open);
    EXPECT_FALSE(Socket(datagram).open);
    EXPECT_TRUE(Socket(listener).open);
}

TEST(StreamIntake, APortInUseLeavesThatEndpointSilentAndTheOtherWorking)
{
    FakeServices fakes;
    DecoderBinding binding(fakes.decoder, fakes.boxes);
    const SocketHandle squatter = fakes.sockets.Open(true);
    fakes.sockets.Bind(squatter, kStreamPort);
    auto queue = std::make_unique<PcmQueue>();
    StreamIntake intake(fakes.sockets, binding, *queue);
    intake.CreateEndpoints();
    EXPECT_FALSE(intake.Listener()->IsOpen());
    fakes.sockets.SendDatagram(kDatagramPort, Frames(kStereo44k128, 1, 2));
    EXPECT_EQ(fakes.decoder.framesSeen.size(), 2u);
}

}  // namespace
}  // namespace sonvale::test
