#include "intake/drift_controller.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "playback/audio_device.h"

namespace sonvale {

namespace {

constexpr double kRefillSeconds = double(kBlockFrames) / kSampleRate;
constexpr double kRefillsPerSecond = 1 / kRefillSeconds;  // 21.5

// A stream's first seconds: the fill finds its level, and a late packet may
// still cost a block before it has margin enough.
constexpr int kSettleBlocks = static_cast<int>(3 * kRefillsPerSecond);
// The level is the mean over this long; a whole number of the 9-refill
// pattern that 1152-frame packets make against 2048-frame blocks.
constexpr int kMeasureBlocks = 9 * 48;  // 20 s
// Time constant of the smoothed fill, in refills (about 10 s): long enough to
// iron out the saw-tooth of arrivals and blocks, short enough to follow a
// drift of hundreds of ppm.
constexpr double kSmoothing = 1 / (10 * kRefillsPerSecond);
// The smoothed fill may wander this far from its level before anything is
// done about it: beyond what arrival jitter can push it (packets late by up
// to 40 ms moved it by at most 4 ms in simulated hours), so a sender on the
// card's own clock is never touched.
constexpr double kGateFrames = 0.005 * kSampleRate;
// Beyond the gate: a fill error of one frame asks for this many ppm at once,
// and learns this many ppm per second into the drift estimate.
constexpr double kProportional = 3;
constexpr double kIntegral = 0.03;
// Estimates this small act on too few frames to matter, and are as likely noise.
constexpr double kDeadBandPpm = 3.0;

int FrameDifference(const std::uint8_t* frames, int i)
{
    auto sample = [frames](int frame, int channel) {
        const std::uint8_t* p = frames + 4 * frame + 2 * channel;
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
    };
    return std::abs(sample(i, 0) - sample(i - 1, 0)) + std::abs(sample(i, 1) - sample(i - 1, 1));
}

// The frame that differs least from the one before it: dropping it, or
// playing the one before it twice, changes the waveform least there.
int QuietestStep(const std::uint8_t* frames, int count)
{
    int best = 1;
    int bestDifference = FrameDifference(frames, 1);
    for (int i = 2; i < count && bestDifference > 0; ++i) {
        const int difference = FrameDifference(frames, i);
        if (difference < bestDifference) {
            best = i;
            bestDifference = difference;
        }
    }
    return best;
}

}  // namespace

void DriftController::SetEnabled(bool enabled)
{
    enabled_ = enabled;
    Reset();
}

void DriftController::Reset()
{
    Resettle();
    phase_ = Phase::Waiting;
    driftPpm_ = 0;
    correctionPpm_ = 0;
    owed_ = 0;
}

void DriftController::Resettle()
{
    phase_ = Phase::Settling;
    blocks_ = 0;
    levelSum_ = 0;
    // What was learnt goes on correcting meanwhile; the proportional part
    // has no level to work from.
    correctionPpm_ = std::abs(driftPpm_) < kDeadBandPpm ? 0 : driftPpm_;
}

void DriftController::OnRefill(int queuedFrames, bool tookBlock)
{
    if (!enabled_)
        return;
    switch (phase_) {
    case Phase::Waiting:
        // Nothing has played yet: no level to speak of.
        if (tookBlock)
            Resettle();
        return;
    case Phase::Settling:
        blocks_ = tookBlock ? blocks_ + 1 : 0;
        if (blocks_ >= kSettleBlocks) {
            phase_ = Phase::Measuring;
            blocks_ = 0;
        }
        return;
    case Phase::Measuring:
        if (!tookBlock) {
            Resettle();
            return;
        }
        levelSum_ += queuedFrames;
        if (++blocks_ >= kMeasureBlocks) {
            level_ = levelSum_ / blocks_;
            smoothed_ = level_;
            phase_ = Phase::Tracking;
        }
        return;
    case Phase::Tracking:
        // The stream stopped or paused, or the queue ran dry: either way the
        // fill comes back at another level.
        if (!tookBlock) {
            Resettle();
            return;
        }
        smoothed_ += (queuedFrames - smoothed_) * kSmoothing;
        Steer(smoothed_ - level_);
        return;
    }
}

void DriftController::Steer(double error)
{
    double excess = 0;
    if (error > kGateFrames)
        excess = error - kGateFrames;
    else if (error < -kGateFrames)
        excess = error + kGateFrames;
    driftPpm_ = std::clamp(driftPpm_ + kIntegral * excess * kRefillSeconds, -kMaxCorrectionPpm, kMaxCorrectionPpm);
    const double ppm = std::clamp(driftPpm_ + kProportional * excess, -kMaxCorrectionPpm, kMaxCorrectionPpm);
    correctionPpm_ = std::abs(ppm) < kDeadBandPpm ? 0 : ppm;
}

int DriftController::Correct(std::uint8_t* frames, int count, int capacity)
{
    if (correctionPpm_ == 0 || count < 3)
        return count;
    // At most two frames owed either way, so that corrections that could not
    // be made (runs too short) are not made up for in a burst.
    owed_ = std::clamp(owed_ + correctionPpm_ * 1e-6 * count, -2.0, 2.0);
    if (owed_ >= 1) {
        const int i = QuietestStep(frames, count);
        std::memmove(frames + 4 * i, frames + 4 * (i + 1), static_cast<std::size_t>(4 * (count - i - 1)));
        owed_ -= 1;
        ++dropped_;
        return count - 1;
    }
    if (owed_ <= -1 && count < capacity) {
        const int i = QuietestStep(frames, count);
        std::memmove(frames + 4 * (i + 1), frames + 4 * i, static_cast<std::size_t>(4 * (count - i)));
        std::memcpy(frames + 4 * i, frames + 4 * (i - 1), 4);
        owed_ += 1;
        ++repeated_;
        return count + 1;
    }
    return count;
}

}  // namespace sonvale
