// ALSA's default PCM, which reaches PulseAudio or PipeWire on a desktop. A
// block counts as played once no more than the blocks after it are still
// queued in the device or waiting to go in; a precise timer of the Qt event
// loop wakes the cycle at that moment. (The PulseAudio plugin's poll
// descriptor reports room as soon as the server could take more than ALSA's
// buffer holds, which would wake the loop without pause.) Whatever the device
// does not take at once is kept and written as room appears, so what plays is
// exactly what was written. A device that fails while playing is prepared
// again, or reopened quietly once a second while it stays away; so is one
// that cannot be opened at start. Reopening happens off the UI thread, since
// a hung sound server keeps an open waiting for half a minute.
#ifndef SONVALE_PLAYBACK_QT_ALSA_AUDIO_DEVICE_H
#define SONVALE_PLAYBACK_QT_ALSA_AUDIO_DEVICE_H

#include <deque>
#include <memory>
#include <string>

#include "playback/audio_device.h"
#include "playback/linux/pcm_stream.h"

class QTimer;

namespace sonvale::qt {

class AlsaAudioDevice final : public AudioDevice {
public:
    explicit AlsaAudioDevice(std::string name = "default");
    // Plays through the streams `open` gives; `name` is what messages call it.
    AlsaAudioDevice(std::string name, linux_shell::PcmOpener open);
    ~AlsaAudioDevice() override;
    AlsaAudioDevice(const AlsaAudioDevice&) = delete;
    AlsaAudioDevice& operator=(const AlsaAudioDevice&) = delete;

    bool Open(AudioDeviceClient& client) override;
    void Write(int index, const std::uint8_t* block) override;
    void Close() override;

    // Frames the device buffers, as granted; 0 while closed.
    long BufferFrames() const { return pcm_ ? pcm_->BufferFrames() : 0; }

private:
    struct Block {
        int index;
        const std::uint8_t* data;
        long unwritten;  // frames at its end the device has not taken yet
    };

    void ClosePcm();
    // Hands the device what it takes of the blocks not wholly written yet.
    void Feed();
    long UnwrittenFrames() const;
    void ScheduleWake();
    void ReturnPlayedBlocks();
    // After an error: prepare again, or close and retry later. False when
    // the stream is closed.
    bool Recover(long error);
    void StartReopening();
    void TryReopen();
    void Reopened(std::unique_ptr<linux_shell::PcmStream> pcm);

    std::string name_;
    linux_shell::PcmOpener open_;
    std::unique_ptr<linux_shell::PcmStream> pcm_;
    AudioDeviceClient* client_ = nullptr;
    std::deque<Block> inFlight_;  // in the order written
    std::unique_ptr<QTimer> wake_;
    std::unique_ptr<QTimer> reopen_;
    bool servicing_ = false;
    bool failedAtStart_ = false;  // said so, and will say when it is back
    bool opening_ = false;        // a reopen is under way on its own thread
    // What a reopen's answer finds this device by; gone with the device.
    std::shared_ptr<AlsaAudioDevice*> anchor_;
};

}  // namespace sonvale::qt

#endif
