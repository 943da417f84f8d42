// The Linux player as a user starts it: on an X display and without one.
#include <gtest/gtest.h>

#include <algorithm>

#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

#include "app/texts.h"
#include "tests/linux/player_process.h"
#include "ui/tray_rules.h"

namespace sonvale {

void PrintTo(const ScreenRect& rect, std::ostream* out)
{
    *out << "(" << rect.left << "," << rect.top << ")-(" << rect.right << "," << rect.bottom << ")";
}

namespace test {
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

// Ctrl+C here; SIGTERM ends the headless player in the missing-device test.
TEST_F(PlayerProcessTest, WithoutADisplayItRunsWindowlessUntilSignalled)
{
    PlayerProcess player(Headless());
    EXPECT_FALSE(player.WaitForExit(1500ms).has_value()) << player.StandardError();
    // Without a window, standard output is where the user learns the address.
    EXPECT_NE(player.StandardOutput().find(texts::kAddressLead), std::string::npos) << player.StandardOutput();

    PlayerProcess second(Headless());
    EXPECT_EQ(second.WaitForExit(10s), std::optional(0));
    EXPECT_TRUE(player.Running());

    player.Signal(SIGINT);
    EXPECT_EQ(player.WaitForExit(10s), std::optional(0));
}

// No sound server: one line of the player's own about the device, then the
// message, and none of the sound library's chatter.
TEST_F(PlayerProcessTest, AMissingSoundDeviceIsReportedOnceInThePlayersOwnWords)
{
    auto environment = Headless();
    environment["PULSE_SERVER"] = "unix:" + runtime_ + "/no-sound-server";
    PlayerProcess player(environment);
    EXPECT_FALSE(player.WaitForExit(2500ms).has_value());  // a few reopen attempts
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitForExit(10s), std::optional(0));
    const std::string errors = player.StandardError();
    EXPECT_EQ(errors.find("ALSA lib"), std::string::npos) << errors;
    EXPECT_EQ(errors.rfind("sonvale: cannot play on the sound device \"default\": ", 0), 0u) << errors;
    EXPECT_NE(errors.find("\nsonvale: audio device error!\n"), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 2) << errors;
}

// SIGTERM while the start-up's "audio device error!" box waits for an answer
// still ends the player, cleanly.
TEST_F(PlayerProcessTest, ASignalDuringTheStartUpMessageEndsThePlayer)
{
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display; scripts/test.sh starts Xvfb";
    auto environment = Windowed();
    environment["PULSE_SERVER"] = "unix:" + runtime_ + "/no-sound-server";
    PlayerProcess player(environment);
    ASSERT_TRUE(WaitFor(20s, [&] {
        return !Capture("xdotool search --all --onlyvisible --pid " + std::to_string(player.Pid()) +
                        " --name '^sonvale$'").value_or("").empty();
    })) << "no message box: " << player.StandardError();
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitForExit(10s), std::optional(0));
}

// A display of the test's own: the tray on it is the test's, so is the work
// area, and no other test's windows come and go there. Every window mapped on
// it is logged from the start.
class OwnDisplayTest : public PlayerProcessTest {
protected:
    using Environment = std::map<std::string, std::string>;
    using Command = std::vector<std::string>;

    void SetUp() override
    {
        PlayerProcessTest::SetUp();
        if (const char* display = std::getenv("DISPLAY"))
            savedDisplay_ = display;
        // Numbered by the lock files, as the test command numbers its own;
        // the server's lock settles a race with another test. (-displayfd
        // takes no lock, and takes over the socket of a server that runs in
        // another network namespace.)
        for (int number = 100; number < 200 && !server_; ++number) {
            const std::string n = std::to_string(number);
            if (std::filesystem::exists("/tmp/.X" + n + "-lock") || std::filesystem::exists("/tmp/.X11-unix/X" + n))
                continue;
            // Without -noreset the server starts over when the probe below
            // leaves, and refuses the next client meanwhile.
            server_.emplace(Environment{},
                            Command{"Xvfb", ":" + n, "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
            const bool up = WaitFor(10s, [&] {
                return !server_->Running() || Capture("xdpyinfo -display :" + n + " >/dev/null 2>&1").has_value();
            });
            if (up && server_->Running())
                setenv("DISPLAY", (":" + n).c_str(), 1);
            else
                server_.reset();
        }
        ASSERT_TRUE(server_) << "no display could be started";
        events_.emplace(Environment{}, Command{"stdbuf", "-oL", "xev", "-root", "-event", "structure", "-event",
                                               "substructure", "-event", "property"});
        // Set until the log shows it, so that the log misses nothing after.
        ASSERT_TRUE(WaitFor(10s, [&] {
            Capture("xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA '200, 100, 700, 600'");
            return Events().find("(_NET_WORKAREA)") != std::string::npos;
        })) << events_->StandardError() << Events();
    }
    void TearDown() override
    {
        tray_.reset();
        events_.reset();
        if (server_) {
            server_->Signal(SIGTERM);
            server_->WaitForExit(10s);
        }
        if (savedDisplay_)
            setenv("DISPLAY", savedDisplay_->c_str(), 1);
        else
            unsetenv("DISPLAY");
        PlayerProcessTest::TearDown();
    }

    void StartTray()
    {
        tray_.emplace(Environment{}, Command{"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                             "--height", "24"});
        // Announced once the tray selection is the panel's.
        ASSERT_TRUE(WaitFor(10s, [&] { return Events().find("(MANAGER)") != std::string::npos; }))
            << tray_->StandardError();
    }
    void SetMinimizeAtStart()
    {
        std::filesystem::create_directories(runtime_ + "/config/svl");
        std::string record(58, '\0');
        record[54] = 5;
        std::ofstream(runtime_ + "/config/svl/playeroption.svp", std::ios::binary) << record;
    }
    std::string Events() const { return events_->StandardOutput(); }
    // The tray of this display, not one that a desktop session offers over
    // D-Bus.
    std::map<std::string, std::string> OnThisDisplay() const
    {
        std::map<std::string, std::string> environment = Windowed();
        environment["DBUS_SESSION_BUS_ADDRESS"] = "";
        return environment;
    }

    static constexpr ScreenRect kWorkArea{200, 100, 900, 700};

private:
    std::optional<std::string> savedDisplay_;
    std::optional<PlayerProcess> server_;
    std::optional<PlayerProcess> events_;
    std::optional<PlayerProcess> tray_;
};

// Qt never maps the icon's window itself: on screen, it is docked.
std::string DockedIcon(pid_t pid)
{
    const std::string window = FirstPlayerWindow(pid);
    std::istringstream shown(Capture("xdotool search --onlyvisible --pid " + std::to_string(pid)).value_or(""));
    for (std::string line; std::getline(shown, line);)
        if (line != window)
            return line;
    return {};
}

// Then off the icon, so that no tool tip comes up over the screen.
void Click(const std::string& icon, int button)
{
    Capture("xdotool mousemove --window " + icon + " 8 8 click " + std::to_string(button) + " mousemove 0 767");
}

void PressEscape(const std::string& window)
{
    Capture("xdotool windowfocus --sync " + window + " key Escape");
}

ScreenRect Placement(const std::string& window)
{
    std::istringstream shell(Capture("xdotool getwindowgeometry --shell " + window).value_or(""));
    std::map<std::string, int> values;
    for (std::string line; std::getline(shell, line);)
        if (const std::size_t equals = line.find('='); equals != std::string::npos)
            values[line.substr(0, equals)] = std::atoi(line.c_str() + equals + 1);
    return {values["X"], values["Y"], values["X"] + values["WIDTH"], values["Y"] + values["HEIGHT"]};
}

// How the event log writes the mapping of `window`.
std::string MappedLine(const std::string& window)
{
    char line[64];
    std::snprintf(line, sizeof line, "window 0x%lx, override", std::stoul(window));
    return line;
}

TEST_F(OwnDisplayTest, ClosingHidesAndTheTrayIconBringsTheWindowBackCentred)
{
    StartTray();
    PlayerProcess player(OnThisDisplay());
    std::string window, icon;
    ASSERT_TRUE(WaitFor(20s, [&] {
        return !(window = FirstPlayerWindow(player.Pid())).empty() && !(icon = DockedIcon(player.Pid())).empty();
    })) << player.StandardError();

    // Moved away first, so that coming back centred is seen.
    Capture("xdotool windowmove " + window + " 0 0");
    PressEscape(window);
    ASSERT_TRUE(WaitFor(5s, [&] { return CountPlayerWindows(player.Pid()) == 0; }));
    Click(icon, 1);
    ASSERT_TRUE(WaitFor(5s, [&] { return CountPlayerWindows(player.Pid()) == 1; }));
    const ScreenRect placed = Placement(window);
    EXPECT_EQ(placed, CentreOnWorkArea(placed, kWorkArea));

    // The right button too, on a window that is shown, and while the
    // settings box waits for an answer.
    Capture("xdotool windowmove " + window + " 0 0");
    Capture("xdotool windowfocus --sync " + window + " key alt+f sleep 0.5 key s");
    const std::string findSettings = "xdotool search --all --onlyvisible --pid " + std::to_string(player.Pid()) +
                                     " --name '^" + std::string(texts::kSettingCaption) + "$'";
    std::string settings;
    ASSERT_TRUE(WaitFor(5s, [&] { return !(settings = Capture(findSettings).value_or("")).empty(); }));
    Click(icon, 3);
    EXPECT_TRUE(WaitFor(5s, [&] { return Placement(window) == CentreOnWorkArea(placed, kWorkArea); }))
        << ::testing::PrintToString(Placement(window));
    PressEscape(settings.substr(0, settings.find('\n')));
    ASSERT_TRUE(WaitFor(5s, [&] { return Capture(findSettings).value_or("").empty(); }));

    PressEscape(window);
    ASSERT_TRUE(WaitFor(5s, [&] { return CountPlayerWindows(player.Pid()) == 0; }));
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitForExit(10s), std::optional(0)) << player.StandardError();
}

TEST_F(OwnDisplayTest, MinimizeAtStartKeepsTheWindowOutOfSightUntilTheIconIsClicked)
{
    StartTray();
    SetMinimizeAtStart();
    PlayerProcess player(OnThisDisplay());
    std::string icon;
    ASSERT_TRUE(WaitFor(20s, [&] { return !(icon = DockedIcon(player.Pid())).empty(); })) << player.StandardError();
    // Past the start of the event loop, where a dialog is shown.
    std::this_thread::sleep_for(1s);
    const std::string before = Events();

    Click(icon, 1);
    std::string window;
    ASSERT_TRUE(WaitFor(5s, [&] { return !(window = FirstPlayerWindow(player.Pid())).empty(); }));
    EXPECT_EQ(before.find(MappedLine(window)), std::string::npos) << "on screen before the click";
    EXPECT_NE(Events().find(MappedLine(window)), std::string::npos) << Events();
    const ScreenRect placed = Placement(window);
    EXPECT_EQ(placed, CentreOnWorkArea(placed, kWorkArea));
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitForExit(10s), std::optional(0)) << player.StandardError();
}

// No window manager here to minimize it: what it asks of one is what counts.
TEST_F(OwnDisplayTest, MinimizeAtStartWithoutATrayStartsOnTheTaskBar)
{
    SetMinimizeAtStart();
    PlayerProcess player(Windowed());
    std::string window;
    ASSERT_TRUE(WaitFor(20s, [&] { return !(window = FirstPlayerWindow(player.Pid())).empty(); }))
        << player.StandardError();
    const std::string hints = Capture("xprop -id " + window + " WM_HINTS").value_or("");
    EXPECT_NE(hints.find("Initial state is Iconic State."), std::string::npos) << hints;
    player.Signal(SIGTERM);
    EXPECT_EQ(player.WaitForExit(10s), std::optional(0)) << player.StandardError();
}

}  // namespace
}  // namespace test
}  // namespace sonvale
