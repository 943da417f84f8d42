// ALSA's default PCM, which reaches PulseAudio or PipeWire on a desktop. A
// block counts as played once no more than one other block is still queued in
// the device; a precise timer of the Qt event loop wakes the cycle at that
// moment. (The PulseAudio plugin's poll descriptor reports room as soon as the
// server could take more than ALSA's buffer holds, which would wake the loop
// without pause.) A device that fails while playing is prepared again, or
// reopened quietly once a second while it stays away.
#ifndef SONVALE_PLAYBACK_QT_ALSA_AUDIO_DEVICE_H
#define SONVALE_PLAYBACK_QT_ALSA_AUDIO_DEVICE_H

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "playback/audio_device.h"

struct _snd_pcm;
class QTimer;

namespace sonvale::qt {

class AlsaAudioDevice final : public AudioDevice {
public:
    explicit AlsaAudioDevice(std::string name = "default");
    ~AlsaAudioDevice() override;
    AlsaAudioDevice(const AlsaAudioDevice&) = delete;
    AlsaAudioDevice& operator=(const AlsaAudioDevice&) = delete;

    bool Open(AudioDeviceClient& client) override;
    void Write(int index, const std::uint8_t* block) override;
    void Close() override;

    // Frames the device buffers, as granted; 0 while closed.
    long BufferFrames() const { return bufferFrames_; }

private:
    // False with the reason in `failure` (when given).
    bool OpenPcm(std::string* failure = nullptr);
    void ClosePcm();
    void ScheduleWake();
    void ReturnPlayedBlocks();
    // After an error: prepare again, or close and retry later.
    void Recover(long error);
    void TryReopen();

    std::string name_;
    _snd_pcm* pcm_ = nullptr;
    AudioDeviceClient* client_ = nullptr;
    long bufferFrames_ = 0;
    std::deque<int> inFlight_;  // block indexes in the order written
    std::unique_ptr<QTimer> wake_;
    std::unique_ptr<QTimer> reopen_;
    bool servicing_ = false;
};

}  // namespace sonvale::qt

#endif
