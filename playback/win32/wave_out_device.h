// The default waveform output (WAVE_MAPPER), with block-done notices as window
// messages to a hidden window of the UI thread. A device that cannot be
// opened, at start or after it failed a write (unplugged, say), is tried
// again once a second on a timer of that window.
#ifndef SONVALE_PLAYBACK_WIN32_WAVE_OUT_DEVICE_H
#define SONVALE_PLAYBACK_WIN32_WAVE_OUT_DEVICE_H

#include <windows.h>
#include <mmsystem.h>

#include <vector>

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
    bool OpenWave();
    // Gives the device up, keeping what it held, and tries again later.
    void Lose();
    void CloseWave();
    void TryReopen();
    void OnDone(HWAVEOUT device, WAVEHDR* header);

    HWND window_ = nullptr;
    HWAVEOUT device_ = nullptr;
    AudioDeviceClient* client_ = nullptr;
    WAVEHDR headers_[2] = {};
    std::vector<int> held_;  // blocks written while there was no device
};

}  // namespace sonvale::win32

#endif
