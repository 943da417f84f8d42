#include "playback/qt/alsa_audio_device.h"

#include <cerrno>
#include <cstdio>
#include <thread>

#include <QCoreApplication>
#include <QTimer>

#include "playback/linux/alsa_pcm.h"

namespace sonvale::qt {

namespace {

constexpr int kReopenIntervalMs = 1000;
constexpr int kAfterRecoveryMs = 5;
constexpr int kFrameBytes = kBlockBytes / kBlockFrames;

}  // namespace

AlsaAudioDevice::AlsaAudioDevice(std::string name)
    : AlsaAudioDevice(name, [name](std::string* failure) { return linux_shell::AlsaPcm::Open(name, failure); })
{
}

AlsaAudioDevice::AlsaAudioDevice(std::string name, linux_shell::PcmOpener open)
    : name_(std::move(name)), open_(std::move(open)), anchor_(std::make_shared<AlsaAudioDevice*>(this))
{
}

AlsaAudioDevice::~AlsaAudioDevice()
{
    Close();
}

bool AlsaAudioDevice::Open(AudioDeviceClient& client)
{
    client_ = &client;
    std::string failure;
    pcm_ = open_(&failure);
    if (pcm_)
        return true;
    // Said once; the sound server may simply not be up yet (a player
    // started at log-on), so keep trying quietly.
    std::fprintf(stderr, "sonvale: cannot play on the sound device \"%s\": %s\n", name_.c_str(), failure.c_str());
    failedAtStart_ = true;
    StartReopening();
    return false;
}

void AlsaAudioDevice::ClosePcm()
{
    if (wake_)
        wake_->stop();
    pcm_.reset();
}

void AlsaAudioDevice::Write(int index, const std::uint8_t* block)
{
    inFlight_.push_back({index, block, kBlockFrames});
    if (!pcm_)
        return;  // reopening; the block counts as played when the device is back
    Feed();
    ScheduleWake();
}

void AlsaAudioDevice::Feed()
{
    bool recovered = false;
    for (Block& block : inFlight_) {
        while (pcm_ && block.unwritten > 0) {
            const long offset = (kBlockFrames - block.unwritten) * kFrameBytes;
            const long written = pcm_->Write(block.data + offset, block.unwritten);
            if (written == -EAGAIN || written == 0)
                return;  // full; the wake comes back for the rest
            if (written < 0) {
                // An underrun or a suspend: prepared again, the device takes
                // the rest. Twice in a row, it is not coming back soon.
                if (recovered || !Recover(written))
                    return;
                recovered = true;
                continue;
            }
            block.unwritten -= written;
        }
        if (!pcm_)
            return;
    }
}

long AlsaAudioDevice::UnwrittenFrames() const
{
    long frames = 0;
    for (const Block& block : inFlight_)
        frames += block.unwritten;
    return frames;
}

void AlsaAudioDevice::Close()
{
    if (reopen_)
        reopen_->stop();
    ClosePcm();
    inFlight_.clear();
    client_ = nullptr;
}

void AlsaAudioDevice::ScheduleWake()
{
    if (!pcm_ || inFlight_.empty() || servicing_)
        return;
    const long avail = pcm_->Avail();
    long ms = 0;
    if (avail < 0) {
        // Prepared again, the device wants the rest soon; a little later
        // than at once, in case it keeps failing.
        if (!Recover(avail))
            return;
        ms = kAfterRecoveryMs;
    } else {
        // Wake when the oldest block has played out, no earlier; or, while
        // some of a block waits to go in, as soon as the device has room for
        // a good part of it, before what it holds runs out.
        const long queued = pcm_->BufferFrames() - avail;
        const long unwritten = UnwrittenFrames();
        const long others = static_cast<long>(inFlight_.size() - 1) * kBlockFrames;
        long frames = queued + unwritten - others;
        if (unwritten > 0)
            frames = std::min(frames, std::max(std::min(unwritten, pcm_->BufferFrames() / 2) - avail, 1L));
        ms = frames > 0 ? (frames * 1000 + kSampleRate - 1) / kSampleRate : 0;
    }
    if (!wake_) {
        wake_ = std::make_unique<QTimer>();
        wake_->setSingleShot(true);
        wake_->setTimerType(Qt::PreciseTimer);
        QObject::connect(wake_.get(), &QTimer::timeout, wake_.get(), [this] { ReturnPlayedBlocks(); });
    }
    wake_->start(static_cast<int>(ms));
}

void AlsaAudioDevice::ReturnPlayedBlocks()
{
    // Refilling writes again, which must not re-enter this loop.
    servicing_ = true;
    Feed();
    bool recovered = false;
    while (pcm_ && client_ && !inFlight_.empty()) {
        const long avail = pcm_->Avail();
        if (avail < 0) {
            // Run dry while the UI thread was busy elsewhere, most likely:
            // what was written has played, and playing goes on from here.
            if (recovered || !Recover(avail))
                break;
            recovered = true;
            Feed();
            continue;
        }
        const long queued = pcm_->BufferFrames() - avail;
        if (queued + UnwrittenFrames() > static_cast<long>(inFlight_.size() - 1) * kBlockFrames)
            break;
        const int index = inFlight_.front().index;
        inFlight_.pop_front();
        client_->OnBlockDone(index);
    }
    servicing_ = false;
    ScheduleWake();
}

bool AlsaAudioDevice::Recover(long error)
{
    if (pcm_ && pcm_->Recover(error))
        return true;
    // The device is gone (a sound server restarting, say): try again later
    // rather than spin or nag.
    ClosePcm();
    StartReopening();
    return false;
}

void AlsaAudioDevice::StartReopening()
{
    if (!reopen_) {
        reopen_ = std::make_unique<QTimer>();
        reopen_->setInterval(kReopenIntervalMs);
        QObject::connect(reopen_.get(), &QTimer::timeout, reopen_.get(), [this] { TryReopen(); });
    }
    reopen_->start();
}

void AlsaAudioDevice::TryReopen()
{
    if (!client_ || opening_)
        return;
    // Opening may block for as long as the sound server takes to answer: half
    // a minute when it hangs (stopped, say). So the open runs on a thread of
    // its own and hands the stream over through the event loop; nothing else
    // is shared with it. The anchor tells the answer whether this device is
    // still there to take it.
    opening_ = true;
    std::thread([open = open_, anchor = std::weak_ptr<AlsaAudioDevice*>(anchor_)] {
        auto pcm = std::make_shared<std::unique_ptr<linux_shell::PcmStream>>(open(nullptr));
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [anchor, pcm] {
                if (const auto device = anchor.lock())
                    (*device)->Reopened(std::move(*pcm));
            },
            Qt::QueuedConnection);
    }).detach();
}

void AlsaAudioDevice::Reopened(std::unique_ptr<linux_shell::PcmStream> pcm)
{
    opening_ = false;
    if (!pcm || !client_ || pcm_)
        return;
    pcm_ = std::move(pcm);
    reopen_->stop();
    if (failedAtStart_) {
        std::fprintf(stderr, "sonvale: the sound device \"%s\" is there now\n", name_.c_str());
        failedAtStart_ = false;
    }
    // What was in flight died with the old device: hand those blocks back so
    // the cycle refills them with what is current.
    std::deque<Block> lost;
    lost.swap(inFlight_);
    for (const Block& block : lost)
        if (client_)
            client_->OnBlockDone(block.index);
}

}  // namespace sonvale::qt
