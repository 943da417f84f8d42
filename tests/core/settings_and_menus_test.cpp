// The settings file's bytes, the settings dialog's rules, autorun, the address
// hint and the menu commands, through the portable window object.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/texts.h"
#include "app/window_host.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "ui/autorun.h"
#include "ui/local_address.h"
#include "ui/player_settings.h"
#include "ui/tray_rules.h"

namespace sonvale {
namespace {

using Bytes = std::vector<std::uint8_t>;
const std::string kFile = "/config/svl/playeroption.svp";

class DialogHost final : public WindowHost {
public:
    void SetInfoText(const std::string& text) override { infoTexts.push_back(text); }
    void RunAboutBox() override { ++abouts; }
    std::optional<SettingsChoice> RunSettingsDialog(const SettingsChoice& shown) override
    {
        this->shown = shown;
        return answer;
    }

    void AddTrayIcon() override { calls.push_back("add"); }
    void RemoveTrayIcon() override { calls.push_back("remove"); }
    bool TrayIconShown() override { return trayShown; }
    void SavePlacement() override { calls.push_back("save"); }
    void StartHidden() override { calls.push_back("start hidden"); }
    void Hide() override { calls.push_back("hide"); }
    void Minimize() override { calls.push_back("minimize"); }
    void RestoreFromTray() override { calls.push_back("restore"); }
    void EndModal(int result) override { calls.push_back("end " + std::to_string(result)); }

    bool trayShown = true;
    std::vector<std::string> calls;
    std::vector<std::string> infoTexts;
    int abouts = 0;
    SettingsChoice shown{-1, -1};
    std::optional<SettingsChoice> answer;
};

class SettingsWindow : public ::testing::Test {
protected:
    void Start()
    {
        dialog_.emplace(fakes_.services);
        dialog_->OnInitDialog(host_);
    }
    void TearDown() override
    {
        if (dialog_)
            dialog_->OnDestroy();
    }
    void ChooseInDialog(std::int32_t autorun, std::int32_t minimize)
    {
        host_.answer = SettingsChoice{autorun, minimize};
        EXPECT_TRUE(dialog_->OnCommand(ID_FILE_SETTING));
    }

    test::FakeServices fakes_;
    test::FakeUserInterface& ui_ = fakes_.ui;
    DialogHost host_;
    std::optional<CSonvaleDlg> dialog_;
};

TEST_F(SettingsWindow, FirstStartCreatesTheFolderLevelsAndAnEmptyFile)
{
    Start();
    EXPECT_EQ(ui_.files.created, (std::vector<std::string>{"/config/", "/config/svl/"}));
    EXPECT_EQ(ui_.files.files.at(kFile), Bytes{});
    EXPECT_EQ(dialog_->Settings().autorun, 0);
    EXPECT_EQ(dialog_->Settings().minimizeAtStart, 0);
}

TEST_F(SettingsWindow, SavesFiftyEightLittleEndianBytesOverTheStartOfALongerFile)
{
    Bytes file(60, 0xEE);
    file[0] = 'h';
    file[1] = 0;
    file[56] = 0x12;  // high bytes of minimize-at-start
    ui_.files.files[kFile] = file;
    Start();
    EXPECT_EQ(dialog_->Settings().text[0], 'h');
    ChooseInDialog(1, 0);
    Bytes expected = file;
    for (int i = 50; i < 58; ++i)
        expected[i] = 0;
    expected[50] = 1;
    EXPECT_EQ(ui_.files.files.at(kFile), expected);  // the text and the two bytes after 58 kept
}

TEST_F(SettingsWindow, AShortFileFillsFieldsFromTheirLowOrderEnd)
{
    Bytes file(52, 0);
    file[50] = 0x34;
    file[51] = 0x12;
    ui_.files.files[kFile] = file;
    Start();
    EXPECT_EQ(dialog_->Settings().autorun, 0x1234);
    EXPECT_EQ(dialog_->Settings().minimizeAtStart, 0);
}

TEST_F(SettingsWindow, AutorunIsWrittenOnceLeftAloneThenRemovedFromEveryPlace)
{
    Start();
    ui_.machine.opens = false;  // written for the current user only
    ChooseInDialog(1, 0);
    EXPECT_EQ(ui_.user.value, "/opt/sonvale/sonvale");
    ChooseInDialog(1, 1);
    EXPECT_EQ(ui_.user.writes, 1);
    ui_.machine.opens = true;
    ui_.machine.value = "/opt/sonvale/sonvale";
    ChooseInDialog(0, 1);
    EXPECT_FALSE(ui_.machine.value);
    EXPECT_FALSE(ui_.user.value);
}

TEST_F(SettingsWindow, AFileThatCannotBeWrittenIsReportedAfterAutorunWasApplied)
{
    Start();
    ui_.files.refused.insert(kFile);
    ChooseInDialog(1, 0);
    EXPECT_EQ(ui_.machine.value, "/opt/sonvale/sonvale");
    ASSERT_EQ(fakes_.boxes.shown.size(), 1u);
    EXPECT_EQ(fakes_.boxes.shown[0], (std::pair<std::string, std::string>{"Save setting failure. ", ""}));
    EXPECT_EQ(dialog_->Settings().autorun, 1);
}

TEST_F(SettingsWindow, AboutFromBothMenusAndHelpThatCannotOpenNamesItsFile)
{
    Start();
    EXPECT_TRUE(dialog_->OnCommand(ID_HELP_ABOUT));
    EXPECT_TRUE(dialog_->OnSysCommand(IDM_ABOUTBOX | 0x3));
    EXPECT_FALSE(dialog_->OnSysCommand(0xF060));  // close: default processing
    EXPECT_EQ(host_.abouts, 2);
    ui_.helpOpens = false;
    EXPECT_TRUE(dialog_->OnCommand(ID_HELP_ONLINE));
    EXPECT_EQ(ui_.opened, std::vector<std::string>{"/opt/sonvale/sonvale-help.html"});
    ASSERT_EQ(fakes_.boxes.shown.size(), 1u);
    EXPECT_NE(fakes_.boxes.shown[0].first.find("/opt/sonvale/sonvale-help.html"), std::string::npos);
}

TEST_F(SettingsWindow, AddressHintSkipsLoopbackAndFollowsTheNetworkComingUp)
{
    ui_.addresses.resolved = {0x7F000101};  // 127.0.1.1, as Debian's /etc/hosts has it
    ui_.addresses.interfaces = {0x7F000001, 0xA9FE0102};
    Start();
    EXPECT_EQ(host_.infoTexts, std::vector<std::string>{std::string(texts::kNoAddress)});
    ui_.addresses.interfaces.push_back(0x0A000005);
    dialog_->OnRefreshTimer();
    dialog_->OnRefreshTimer();
    ASSERT_EQ(host_.infoTexts.size(), 2u);
    EXPECT_EQ(host_.infoTexts[1],
              "本机IP地址：10.0.0.5，请将该地址输入到发送端软件上。" + std::string(texts::kPortsSentence));
    EXPECT_EQ(dialog_->InfoText(), host_.infoTexts[1]);
}

TEST(LocalAddress, TakesTheHostNamesFirstAddressOnlyWhenReachableAndTheNameFits)
{
    test::FakeAddresses source;
    source.resolved = {0xC0A80114, 0x0A000001};
    source.interfaces = {0x0A000001};
    EXPECT_EQ(ChooseLocalAddress(source), 0xC0A80114u);
    source.hostName = "a-host-name-of-20-ch";
    EXPECT_EQ(ChooseLocalAddress(source), 0x0A000001u);
    EXPECT_EQ(DottedDecimal(0xC0A80114), "192.168.1.20");
}

TEST(Autorun, EntriesQuoteWhatTheirFormatsNeed)
{
    EXPECT_EQ(RunCommandFor("C:\\Sonvale\\Sonvale.exe"), "C:\\Sonvale\\Sonvale.exe");
    EXPECT_EQ(RunCommandFor("C:\\Program Files\\Sonvale\\Sonvale.exe"), "\"C:\\Program Files\\Sonvale\\Sonvale.exe\"");
    const std::string entry = AutostartEntryFor("/home/u/my $player/100%/son\"vale");
    EXPECT_NE(entry.find("\nExec=\"/home/u/my \\\\$player/100%%/son\\\\\"vale\"\n"), std::string::npos) << entry;
    EXPECT_EQ(entry.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
}

TEST_F(SettingsWindow, ClosingHidesWhileAnIconCanBringItBackAndMinimizesOtherwise)
{
    Start();
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"add", "save"}));
    EXPECT_TRUE(dialog_->OnCommand(kDialogCancel));
    EXPECT_TRUE(dialog_->OnCommand(kDialogOk));  // Enter: nothing
    host_.trayShown = false;
    EXPECT_TRUE(dialog_->OnCommand(kDialogCancel));
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"add", "save", "hide", "minimize"}));
}

TEST_F(SettingsWindow, PressesAndDoubleClicksOnTheIconRestoreReleasesAndMovesDoNot)
{
    Start();
    host_.calls.clear();
    for (unsigned event : {kLeftButtonDown, kLeftButtonUp, kLeftButtonDoubleClick, kMouseMove, kRightButtonDown, 0x205u})
        dialog_->OnTrayNotify(event);
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"restore", "restore", "restore"}));
}

// Any value but 0 starts minimized; the dialog shows only 1 as checked and
// stores what it gives.
TEST_F(SettingsWindow, MinimizeAtStartOutOfRangeHidesWithAnIconAndMinimizesWithout)
{
    Bytes file(58, 0);
    file[54] = 5;
    ui_.files.files[kFile] = file;
    Start();
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"add", "save", "start hidden"}));
    EXPECT_EQ(dialog_->Settings().minimizeAtStart, 5);
    ChooseInDialog(0, 0);
    EXPECT_EQ(host_.shown.minimizeAtStart, 0);
    EXPECT_EQ(ui_.files.files.at(kFile)[54], 0);
    dialog_->OnDestroy();
    EXPECT_EQ(host_.calls.back(), "remove");
    dialog_.reset();

    host_.calls.clear();
    host_.trayShown = false;
    ui_.files.files[kFile] = file;
    Start();
    EXPECT_EQ(host_.calls, (std::vector<std::string>{"add", "save", "minimize"}));
}

TEST(TrayRules, CentresOnTheWorkAreaAndKeepsTheWindowInside)
{
    // Odd sizes: the halves truncate.
    EXPECT_EQ(CentreOnWorkArea({0, 0, 311, 201}, {0, 0, 1024, 738}), (ScreenRect{357, 269, 668, 470}));
    EXPECT_EQ(CentreOnWorkArea({500, 500, 811, 701}, {1024, 0, 2048, 768}), (ScreenRect{1381, 284, 1692, 485}));
    // Larger than the work area: aligned with its left and top edges.
    EXPECT_EQ(CentreOnWorkArea({0, 0, 900, 700}, {100, 50, 700, 550}), (ScreenRect{100, 50, 1000, 750}));
}

}  // namespace
}  // namespace sonvale
