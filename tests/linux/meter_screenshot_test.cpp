// The Linux player on the test's X display and sound server, sent a steady
// tone by sonvale-send: the meter on screen must show, pixel for pixel, the
// bars of the blocks being played.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLayout>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/main_window.h"
#include "app/qt/qt_main_window.h"
#include "spectrum/qt/qt_meter_widget.h"
#include "tests/intake/real_decoder.h"
#include "tests/linux/meter_pixels.h"
#include "tests/linux/player_process.h"
#include "tests/support/fakes.h"

namespace sonvale::test {
namespace {

int GeometryValue(const std::string& geometry, const std::string& name)
{
    const std::size_t at = geometry.find(name + "=");
    return at == std::string::npos ? -1 : std::atoi(geometry.c_str() + at + name.size() + 1);
}

// The window's own pixels in `area`, as the X server holds them.
Pixels GrabWindow(const std::string& window, const QRect& area)
{
    char crop[64];
    std::snprintf(crop, sizeof crop, "%dx%d+%d+%d", area.width(), area.height(), area.x(), area.y());
    const std::string rgb =
        Capture("import -window " + window + " -crop " + crop + " +repage -depth 8 rgb:- 2>/dev/null").value_or("");
    Pixels pixels{area.width(), area.height(), {}};
    if (rgb.size() != static_cast<std::size_t>(area.width()) * area.height() * 3)
        return {};
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        pixels.rgb.push_back(static_cast<std::uint8_t>(rgb[i]) << 16 | static_cast<std::uint8_t>(rgb[i + 1]) << 8 |
                             static_cast<std::uint8_t>(rgb[i + 2]));
    return pixels;
}

TEST(MeterScreenshot, ShowsTheBarsOfTheBlocksBeingPlayed)
{
    ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr) << "needs the test's own PulseAudio; scripts/test.sh starts it";
    // The player's window built here too, on the same display with the same
    // fonts, tells where its meter lies and how big it is.
    FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    qt::QtMainWindow model(dialog);
    model.layout()->activate();
    const QRect meter(model.MeterWidget()->mapTo(&model, QPoint(0, 0)), model.MeterWidget()->size());

    char pattern[] = "/tmp/sonvale-shot-XXXXXX";
    const std::filesystem::path folder = mkdtemp(pattern);
    {
        PlayerProcess player({{"XDG_RUNTIME_DIR", folder.string()}});
        std::string window;
        ASSERT_TRUE(WaitFor(30s, [&] { return !(window = FirstPlayerWindow(player.Pid())).empty(); }))
            << player.StandardError();
        const std::string geometry = Capture("xdotool getwindowgeometry --shell " + window).value_or("");
        ASSERT_EQ(GeometryValue(geometry, "WIDTH"), model.width()) << geometry;
        ASSERT_EQ(GeometryValue(geometry, "HEIGHT"), model.height()) << geometry;

        const std::string file = TestDataPath("steady_tones.mp3");
        RealDecoderLibrary library;
        const std::vector<Layout> layouts =
            LitLayouts(DecodeWhole(library, ReadFile(file), false), meter.width(), meter.height());
        ASSERT_FALSE(layouts.empty());
        // The output takes a moment to start after the window shows; a stream
        // sent meanwhile piles up beyond the queue's limit and is cut.
        std::this_thread::sleep_for(2s);
        PlayerProcess sender({}, {SONVALE_SEND, "127.0.0.1", file});
        EXPECT_TRUE(ShowsPlayedBlocks([&] { return GrabWindow(window, meter); }, layouts, 8s));
        EXPECT_TRUE(player.Running()) << player.StandardError();
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace sonvale::test

int main(int argc, char** argv)
{
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "needs an X display; scripts/test.sh starts Xvfb\n");
        return 1;
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
