// The real Sonvale.exe sent a steady tone over loopback TCP: the meter control
// as the screen shows it must hold, pixel for pixel, the bars of the blocks
// being played.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "intake/mp3_frame.h"
#include "res/resource.h"
#include "tests/intake/loopback.h"
#include "tests/intake/real_decoder.h"
#include "tests/linux/meter_pixels.h"
#include "tests/win32/player_process.h"

namespace sonvale::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Frame by frame, no more than 100 ms ahead of playing time: a faster sender
// overflows the player's queue, whose backlog is then dropped, and the blocks
// played would no longer be the stream's own.
void SendPaced(const Bytes& mp3, const std::atomic<bool>& stop)
{
    std::unique_ptr<LoopbackSender> sender;
    for (int attempt = 0; attempt < 50 && !(sender && sender->Connected()); ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(100ms);
        sender = std::make_unique<LoopbackSender>(true, 52166);
    }
    const auto start = std::chrono::steady_clock::now();
    double seconds = 0;
    for (std::size_t at = 0; at + kMp3HeaderBytes <= mp3.size() && !stop;) {
        const auto header = ParseMp3FrameHeader(&mp3[at]);
        const std::size_t size = header ? std::min<std::size_t>(header->frameBytes, mp3.size() - at) : 1;
        std::this_thread::sleep_until(start + std::chrono::duration<double>(seconds) - 100ms);
        if (!sender->Send(&mp3[at], size))
            return;
        if (header)
            seconds += static_cast<double>(header->samplesPerFrame) / header->sampleRate;
        at += size;
    }
}

// What the screen shows in `area`, read back the way any program would.
Pixels GrabScreen(const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    Pixels pixels;
    if (bits && BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY)) {
        GdiFlush();
        // Blue, green, red, unused: 0x00RRGGBB once read as one number.
        const auto* words = static_cast<const std::uint32_t*>(bits);
        pixels = {width, height, {}};
        for (int i = 0; i < width * height; ++i)
            pixels.rgb.push_back(words[i] & 0xFFFFFF);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

TEST(MeterScreenshot, ShowsTheBarsOfTheBlocksBeingPlayed)
{
    PlayerProcess player;
    ASSERT_TRUE(player.Started());
    HWND window = player.WaitForMainWindow(30000);
    ASSERT_NE(window, nullptr);
    HWND meter = GetDlgItem(window, IDC_METER);
    ASSERT_NE(meter, nullptr);
    RECT area{};
    ASSERT_TRUE(GetWindowRect(meter, &area));

    const Bytes mp3 = ReadFile(TestDataPath("steady_tones.mp3"));
    RealDecoderLibrary library;
    const std::vector<Layout> layouts =
        LitLayouts(DecodeWhole(library, mp3, false), area.right - area.left, area.bottom - area.top);
    ASSERT_FALSE(layouts.empty());

    // As on Linux, a stream sent before the output runs would overflow the queue.
    Sleep(2000);
    std::atomic<bool> stop = false;
    std::thread sender(SendPaced, std::cref(mp3), std::cref(stop));
    EXPECT_TRUE(ShowsPlayedBlocks([&] { return GrabScreen(area); }, layouts, 8s));
    stop = true;
    sender.join();
    EXPECT_FALSE(player.WaitForExit(0)) << "the player ended while it played";
}

}  // namespace
}  // namespace sonvale::test
