// When each frame goes out, and which frames share a UDP datagram: the sender's
// arithmetic, kept apart from its sockets.
#ifndef SONVALE_TOOLS_SONVALE_SEND_PACER_H
#define SONVALE_TOOLS_SONVALE_SEND_PACER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/sonvale_send/frame_reader.h"

namespace sonvale::send {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How far the sender may run ahead of real time. Enough to ride out scheduling
// hiccups on the sending machine, small enough not to fill the player's queue.
inline constexpr std::chrono::nanoseconds kLead = 100ms;
// Later than this, the sender has stalled (suspended, network blocked) and
// starts a new schedule instead of bursting the backlog at the player.
inline constexpr std::chrono::nanoseconds kMaxLag = 1s;
inline constexpr std::size_t kMaxDatagramBytes = 8000;
// The widest clock error the sender will pretend to have, in parts per million.
inline constexpr int kMaxDriftPpm = 10000;

// Playing time of a frame sequence. Counted in samples rather than summed per
// frame, so that no rounding builds up over hours of audio.
class MediaClock {
public:
    void Add(const Mp3FrameHeader& header);
    std::chrono::nanoseconds Elapsed() const;

private:
    std::chrono::nanoseconds base_{0};  // earlier sample rates, and whole seconds at the current one
    std::int64_t samples_ = 0;          // the rest, under a second at rate_
    int rate_ = 0;
};

// Ties the frames' playing time to the monotonic clock from the first frame on,
// so that late wake-ups never add up to drift.
class Pacer {
public:
    // driftPpm makes the schedule that of a sender whose clock runs that many
    // parts per million fast (or slow, below zero): a way to try out how a
    // player copes with a sender whose clock is not its sound card's.
    explicit Pacer(int driftPpm = 0) : driftPpm_(driftPpm) {}

    // The time at which the next frame is due; the first call starts the schedule.
    Clock::time_point Due(Clock::time_point now);
    // The frame just sent.
    void Sent(const Mp3FrameHeader& header) { media_.Add(header); }

private:
    // The playing time so far, as the drifting clock would measure it on the real one.
    std::chrono::nanoseconds Scheduled() const;

    int driftPpm_;
    bool started_ = false;
    Clock::time_point start_;
    MediaClock media_;
};

// Collects whole frames into one datagram. A frame never spans two datagrams,
// so a lost datagram costs whole frames and leaves the rest decodable.
class DatagramPacker {
public:
    // A datagram also ends once it holds maxDuration of audio, so that paced
    // datagrams stay within the lead.
    explicit DatagramPacker(std::chrono::nanoseconds maxDuration = std::chrono::nanoseconds::max());

    // Whether the frame can join the datagram; an empty datagram takes any frame.
    bool Fits(const Frame& frame) const;
    void Add(const Frame& frame);
    bool Empty() const { return bytes_.empty(); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    void Clear();

private:
    std::chrono::nanoseconds maxDuration_;
    std::vector<std::uint8_t> bytes_;
    MediaClock duration_;
};

}  // namespace sonvale::send

#endif
