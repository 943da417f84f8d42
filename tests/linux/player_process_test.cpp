// The Linux player as a user starts it: on an X display and without one.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/texts.h"
#include "tests/linux/player_process.h"

namespace sonvale::test {
namespace {

class PlayerProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sonvale-runtime-XXXXXX";
        runtime_ = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(runtime_); }

    std::map<std::string, std::string> Windowed() const
    {
        return {{"XDG_RUNTIME_DIR", runtime_}, {"XDG_CONFIG_HOME", runtime_ + "/config"}, {"QT_QPA_PLATFORM", "xcb"}};
    }
    std::map<std::string, std::string> Headless() const
    {
        return {{"XDG_RUNTIME_DIR", runtime_}, {"XDG_CONFIG_HOME", runtime_ + "/config"},
                {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    }

    // A windowed player whose window is up. A loaded CI machine once had its
    // Xvfb refuse a client's connection outright; that start is tried again
    // rather than failing the test, which is not about the display.
    std::unique_ptr<PlayerProcess> StartWindowed()
    {
        std::unique_ptr<PlayerProcess> player;
        for (int attempt = 0; attempt < 3; ++attempt) {
            player = std::make_unique<PlayerProcess>(Windowed());
            WaitFor(20s, [&] { return CountPlayerWindows(player->Pid()) == 1 || !player->Running(); });
            if (player->Running() || player->StandardError().find("could not connect to display") == std::string::npos)
                break;
        }
        return player;
    }

    std::string runtime_;
};

TEST_F(PlayerProcessTest, WindowedSecondInstanceEndsSilentlyAndExitEndsTheFirst)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display; scripts/test.sh starts Xvfb";
    const auto started = StartWindowed();
    PlayerProcess& first = *started;
    ASSERT_EQ(CountPlayerWindows(first.Pid()), 1) << first.StandardError();

    PlayerProcess second(Windowed());
    EXPECT_EQ(second.WaitForExit(20s), std::optional(0));
    EXPECT_EQ(CountPlayerWindows(), 1);
    EXPECT_TRUE(first.Running());

    // File, then Exit, from the keyboard.
    const std::string window = FirstPlayerWindow(first.Pid());
    ASSERT_TRUE(Capture("xdotool windowfocus --sync " + window + " && xdotool key alt+f && sleep 0.5 && xdotool key x"));
    EXPECT_EQ(first.WaitForExit(20s), std::optional(0)) << first.StandardError();
}

TEST_F(PlayerProcessTest, AKilledInstanceDoesNotBlockTheNextStart)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display; scripts/test.sh starts Xvfb";
    {
        const auto started = StartWindowed();
        PlayerProcess& crashed = *started;
        ASSERT_EQ(CountPlayerWindows(crashed.Pid()), 1) << crashed.StandardError();
        crashed.Signal(SIGKILL);
        crashed.WaitForExit(5s);
    }
    PlayerProcess next(Windowed());
    ASSERT_TRUE(WaitFor(20s, [&] { return CountPlayerWindows(next.Pid()) == 1; })) << next.StandardError();
    next.Signal(SIGTERM);
    EXPECT_EQ(next.WaitForExit(10s), std::optional(0));
}

TEST_F(PlayerProcessTest, WithoutADisplayItRunsWindowlessUntilSignalled)
{
    for (int number : {SIGTERM, SIGINT}) {
        PlayerProcess player(Headless());
        EXPECT_FALSE(player.WaitForExit(1500ms).has_value()) << player.StandardError();
        // Without a window, standard output is where the user learns the address.
        EXPECT_NE(player.StandardOutput().find(texts::kAddressLead), std::string::npos) << player.StandardOutput();

        PlayerProcess second(Headless());
        EXPECT_EQ(second.WaitForExit(10s), std::optional(0));
        EXPECT_TRUE(player.Running());

        player.Signal(number);
        EXPECT_EQ(player.WaitForExit(10s), std::optional(0)) << "signal " << number;
    }
}

}  // namespace
}  // namespace sonvale::test
