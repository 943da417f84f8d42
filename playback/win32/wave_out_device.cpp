#include "playback/win32/wave_out_device.h"

#include "app/win32/message_window.h"

namespace sonvale::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"SonvaleWaveOutWindow";

}  // namespace

WaveOutDevice::WaveOutDevice()
    : window_(CreateMessageWindow(kWindowClass, &WaveOutDevice::WindowProcedure, this))
{
}

WaveOutDevice::~WaveOutDevice()
{
    Close();
    if (window_)
        DestroyWindow(window_);
}

bool WaveOutDevice::Open(AudioDeviceClient& client)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = kChannels;
    format.nSamplesPerSec = kSampleRate;
    format.nAvgBytesPerSec = kSampleRate * 4;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    if (waveOutOpen(&device_, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(window_), 0, CALLBACK_WINDOW) !=
        MMSYSERR_NOERROR) {
        device_ = nullptr;
        return false;
    }
    client_ = &client;
    return true;
}

void WaveOutDevice::Write(int index, const std::uint8_t* block)
{
    WAVEHDR& header = headers_[index];
    header = {};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(block));
    header.dwBufferLength = kBlockBytes;
    waveOutPrepareHeader(device_, &header, sizeof header);
    waveOutWrite(device_, &header, sizeof header);
}

void WaveOutDevice::Close()
{
    if (!device_)
        return;
    // Reset returns every block to us; only then may their memory go.
    waveOutReset(device_);
    for (WAVEHDR& header : headers_)
        if (header.dwFlags & WHDR_PREPARED)
            waveOutUnprepareHeader(device_, &header, sizeof header);
    waveOutClose(device_);
    device_ = nullptr;
    client_ = nullptr;
}

void WaveOutDevice::OnDone(HWAVEOUT device, WAVEHDR* header)
{
    // Notices posted before a Close arrive after it: ignore them.
    if (!device_ || device != device_ || !client_)
        return;
    const int index = header == &headers_[0] ? 0 : header == &headers_[1] ? 1 : -1;
    if (index < 0)
        return;
    waveOutUnprepareHeader(device_, header, sizeof *header);
    client_->OnBlockDone(index);
}

LRESULT CALLBACK WaveOutDevice::WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == MM_WOM_DONE) {
        if (auto* self = MessageWindowOwner<WaveOutDevice>(hwnd))
            self->OnDone(reinterpret_cast<HWAVEOUT>(wParam), reinterpret_cast<WAVEHDR*>(lParam));
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace sonvale::win32
