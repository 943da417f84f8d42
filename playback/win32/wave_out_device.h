// The default waveform output (WAVE_MAPPER), with block-done notices as window
// messages to a hidden window of the UI thread.
#ifndef SONVALE_PLAYBACK_WIN32_WAVE_OUT_DEVICE_H
#define SONVALE_PLAYBACK_WIN32_WAVE_OUT_DEVICE_H

#include <windows.h>
#include <mmsystem.h>

#include "playback/audio_device.h"

namespace sonvale::win32 {

class WaveOutDevice final : public AudioDevice {
public:
    WaveOutDevice();
    ~WaveOutDevice() override;
    WaveOutDevice(const WaveOutDevice&) = delete;
    WaveOutDevice& operator=(const WaveOutDevice&) = delete;

    bool Open(AudioDeviceClient& client) override;
    void Write(int index, const std::uint8_t* block) override;
    void Close() override;

private:
    static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnDone(HWAVEOUT device, WAVEHDR* header);

    HWND window_ = nullptr;
    HWAVEOUT device_ = nullptr;
    AudioDeviceClient* client_ = nullptr;
    WAVEHDR headers_[2] = {};
};

}  // namespace sonvale::win32

#endif
