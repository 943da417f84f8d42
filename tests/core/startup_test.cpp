// Start-up order, the single-instance exit and the socket-layer failure, driven
// through a scripted platform.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_platform.h"
#include "app/main_window.h"
#include "app/sonvale_app.h"
#include "app/string_table.h"
#include "app/window_host.h"
#include "res/resource.h"
#include "tests/support/fakes.h"

namespace sonvale {
namespace {

class ScriptedHost final : public WindowHost {
public:
    void EndModal(int result) override { results.push_back(result); }
    std::vector<int> results;
};

class ScriptedPlatform final : public AppPlatform {
public:
    void InitCommonControls() override { calls.push_back("controls"); }
    bool ClaimSingleInstance() override
    {
        calls.push_back("instance");
        return instanceFree;
    }
    bool StartSocketLayer() override
    {
        calls.push_back("sockets");
        return socketsStart;
    }
    PlayerServices& Services() override { return fakes.services; }
    std::string LoadText(int id) override { return std::string(StringResource(id)); }
    void RunModal(CSonvaleDlg& dialog) override
    {
        calls.push_back("modal");
        if (duringRun)
            duringRun(dialog);
    }

    bool instanceFree = true;
    bool socketsStart = true;
    std::function<void(CSonvaleDlg&)> duringRun;
    std::vector<std::string> calls;
    test::FakeServices fakes;
    std::vector<std::pair<std::string, std::string>>& messages = fakes.boxes.shown;
};

TEST(Startup, RunsTheWindowAfterClaimingTheInstanceAndReturnsFalse)
{
    ScriptedPlatform platform;
    CSonvaleApp app(platform);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"controls", "instance", "sockets", "modal"}));
    EXPECT_TRUE(platform.messages.empty());
}

TEST(Startup, SecondInstanceLeavesSilentlyWithoutAWindow)
{
    ScriptedPlatform platform;
    platform.instanceFree = false;
    CSonvaleApp app(platform);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"controls", "instance"}));
    EXPECT_TRUE(platform.messages.empty());
}

TEST(Startup, SocketLayerFailureShowsString103AndShowsNoWindow)
{
    ScriptedPlatform platform;
    platform.socketsStart = false;
    CSonvaleApp app(platform);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(platform.calls, (std::vector<std::string>{"controls", "instance", "sockets"}));
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].first, "Windows 套接字初始化失败。");
    EXPECT_EQ(platform.messages[0].second, "<app>");
}

TEST(MainWindow, ExitEndsTheRunWhileEnterDoesNothing)
{
    ScriptedPlatform platform;
    ScriptedHost host;
    platform.duringRun = [&host](CSonvaleDlg& dialog) {
        EXPECT_TRUE(dialog.OnInitDialog(host));
        EXPECT_TRUE(dialog.OnCommand(kDialogOk));
        EXPECT_TRUE(host.results.empty());
        EXPECT_TRUE(dialog.OnCommand(ID_FILE_EXIT));
        dialog.OnDestroy();
    };
    CSonvaleApp app(platform);
    app.InitInstance();
    EXPECT_EQ(host.results, std::vector<int>{kDialogOk});
}

TEST(MainWindow, LeavesUnknownCommandsToTheShell)
{
    test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    EXPECT_FALSE(dialog.OnCommand(12345));
}

}  // namespace
}  // namespace sonvale
