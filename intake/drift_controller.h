// Keeps the queue's delay flat when the sender's clock and the sound card's
// clock disagree. Two crystals differ by tens of parts per million: left alone,
// a slower sender runs the queue dry now and then (a block of silence), and a
// faster one grows it until the whole backlog is dropped.
//
// The queue's fill, seen at every refill, is the only clock comparison the
// player has. Its mean, smoothed over seconds, settles at the start of a
// stream; from then on a drift shows as a slow walk away from that level.
// The correction drops or repeats single frames where the sound changes
// least from one frame to the next, at most kMaxCorrectionPpm of the frames.
// As long as the fill stays near its level nothing is touched, so a sender on
// the same clock as the card plays bit for bit.
#ifndef SONVALE_INTAKE_DRIFT_CONTROLLER_H
#define SONVALE_INTAKE_DRIFT_CONTROLLER_H

#include <cstdint>

namespace sonvale {

inline constexpr double kMaxCorrectionPpm = 500.0;

class DriftController {
public:
    // Off, it never corrects: only for comparisons.
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }

    // A new stream or format: its sender may keep another clock.
    void Reset();
    // The fill jumped (the queue was flushed, or ran dry): the same sender,
    // so the drift learnt so far still holds, but the level must settle anew.
    void Resettle();

    // After every refill: frames left in the queue, and whether a whole block
    // was there to take.
    void OnRefill(int queuedFrames, bool tookBlock);

    // Frames of interleaved 16-bit stereo about to be queued; drops or repeats
    // one of them when a correction is due. Returns the new count; the buffer
    // holds capacity frames.
    int Correct(std::uint8_t* frames, int count, int capacity);

    // A fixed correction, as if learnt; for measuring how it sounds.
    void Hold(double ppm) { correctionPpm_ = ppm; }

    // Frames per million currently dropped (positive) or repeated (negative).
    double CorrectionPpm() const { return correctionPpm_; }
    // The drift learnt so far, in the same sense.
    double DriftPpm() const { return driftPpm_; }
    bool Tracking() const { return phase_ == Phase::Tracking; }
    // Frames dropped and repeated since the process started.
    std::int64_t Dropped() const { return dropped_; }
    std::int64_t Repeated() const { return repeated_; }

private:
    enum class Phase { Waiting, Settling, Measuring, Tracking };

    void Steer(double error);

    bool enabled_ = true;
    Phase phase_ = Phase::Waiting;
    int blocks_ = 0;          // refills in the current phase
    double levelSum_ = 0;     // fill summed while measuring
    double level_ = 0;        // the fill to hold, in frames
    double smoothed_ = 0;     // the fill, low-passed
    double driftPpm_ = 0;     // integral part: the drift learnt
    double correctionPpm_ = 0;
    double owed_ = 0;         // frames due to be dropped (>0) or repeated (<0)
    std::int64_t dropped_ = 0;
    std::int64_t repeated_ = 0;
};

}  // namespace sonvale

#endif
