#include "tools/sonvale_send/pacer.h"

namespace sonvale::send {

void MediaClock::Add(const Mp3FrameHeader& header)
{
    if (header.sampleRate != rate_) {
        base_ = Elapsed();
        samples_ = 0;
        rate_ = header.sampleRate;
    }
    samples_ += header.samplesPerFrame;
    base_ += std::chrono::seconds(samples_ / rate_);
    samples_ %= rate_;
}

std::chrono::nanoseconds MediaClock::Elapsed() const
{
    const std::int64_t rest = rate_ == 0 ? 0 : samples_ * 1'000'000'000 / rate_;
    return base_ + std::chrono::nanoseconds(rest);
}

std::chrono::nanoseconds Pacer::Scheduled() const
{
    // elapsed * 1e6 / (1e6 + ppm), from the whole elapsed time each call so
    // that the rounding never builds up; the product stays within 64 bits for
    // over 250 hours at the widest drift.
    const std::int64_t elapsed = media_.Elapsed().count();
    return std::chrono::nanoseconds(elapsed - elapsed * driftPpm_ / (1'000'000 + driftPpm_));
}

Clock::time_point Pacer::Due(Clock::time_point now)
{
    Clock::time_point due = start_ + Scheduled() - kLead;
    if (!started_ || now - due > kMaxLag) {
        started_ = true;
        start_ = now - Scheduled();
        due = now - kLead;
    }
    return due;
}

DatagramPacker::DatagramPacker(std::chrono::nanoseconds maxDuration) : maxDuration_(maxDuration)
{
    bytes_.reserve(kMaxDatagramBytes);
}

bool DatagramPacker::Fits(const Frame& frame) const
{
    return Empty() || (bytes_.size() + frame.bytes.size() <= kMaxDatagramBytes && duration_.Elapsed() < maxDuration_);
}

void DatagramPacker::Add(const Frame& frame)
{
    bytes_.insert(bytes_.end(), frame.bytes.begin(), frame.bytes.end());
    duration_.Add(frame.header);
}

void DatagramPacker::Clear()
{
    bytes_.clear();
    duration_ = MediaClock();
}

}  // namespace sonvale::send
