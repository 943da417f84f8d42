#include "playback/win32/wave_out_device.h"

#include "app/win32/message_window.h"

namespace sonvale::win32 {

namespace {

constexpr wchar_t kWindowClass[] = L"SonvaleWaveOutWindow";
constexpr UINT_PTR kReopenTimer = 1;
constexpr UINT kReopenIntervalMs = 1000;

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
    client_ = &client;
    held_.reserve(2);
    if (OpenWave())
        return true;
    // The sound service may not be up yet (a player started at log-on).
    SetTimer(window_, kReopenTimer, kReopenIntervalMs, nullptr);
    return false;
}

bool WaveOutDevice::OpenWave()
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
    return true;
}

void WaveOutDevice::Write(int index, const std::uint8_t* block)
{
    if (!device_) {
        held_.push_back(index);  // handed back once the device is there again
        return;
    }
    WAVEHDR& header = headers_[index];
    header = {};
    header.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(block));
    header.dwBufferLength = kBlockBytes;
    if (waveOutPrepareHeader(device_, &header, sizeof header) != MMSYSERR_NOERROR ||
        waveOutWrite(device_, &header, sizeof header) != MMSYSERR_NOERROR) {
        // Nothing would ever come back: the cycle would stop for good.
        if (header.dwFlags & WHDR_PREPARED)
            waveOutUnprepareHeader(device_, &header, sizeof header);
        header = {};
        Lose();
        held_.push_back(index);
    }
}

void WaveOutDevice::Lose()
{
    // The other block, if the device had it, is ours again too.
    for (int index : {0, 1})
        if (headers_[index].dwFlags & WHDR_PREPARED && !(headers_[index].dwFlags & WHDR_DONE))
            held_.push_back(index);
    CloseWave();
    SetTimer(window_, kReopenTimer, kReopenIntervalMs, nullptr);
}

void WaveOutDevice::Close()
{
    KillTimer(window_, kReopenTimer);
    held_.clear();
    CloseWave();
    client_ = nullptr;
}

void WaveOutDevice::CloseWave()
{
    if (!device_)
        return;
    // Reset returns every block to us; only then may their memory go.
    waveOutReset(device_);
    for (WAVEHDR& header : headers_) {
        if (header.dwFlags & WHDR_PREPARED)
            waveOutUnprepareHeader(device_, &header, sizeof header);
        header = {};
    }
    waveOutClose(device_);
    device_ = nullptr;
}

void WaveOutDevice::TryReopen()
{
    if (!client_ || !OpenWave())
        return;
    KillTimer(window_, kReopenTimer);
    // Whatever was written meanwhile is refilled with what is current.
    std::vector<int> held;
    held.swap(held_);
    for (int index : held)
        if (client_)
            client_->OnBlockDone(index);
}

void WaveOutDevice::OnDone(HWAVEOUT device, WAVEHDR* header)
{
    // Notices posted before a Close arrive after it: ignore them, also when
    // a reopened device got the old handle back.
    if (!device_ || device != device_ || !client_)
        return;
    const int index = header == &headers_[0] ? 0 : header == &headers_[1] ? 1 : -1;
    if (index < 0 || !(header->dwFlags & WHDR_DONE))
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
    if (message == WM_TIMER && wParam == kReopenTimer) {
        if (auto* self = MessageWindowOwner<WaveOutDevice>(hwnd))
            self->TryReopen();
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace sonvale::win32
