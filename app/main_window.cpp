#include "app/main_window.h"

#include <cstdlib>
#include <string_view>

#include "app/message_boxes.h"
#include "app/window_host.h"
#include "intake/pcm_queue.h"
#include "app/texts.h"
#include "res/resource.h"
#include "ui/tray_rules.h"
#include "ui/user_interface.h"

namespace sonvale {

CSonvaleDlg::CSonvaleDlg(PlayerServices& services)
    : decoder_(services.decoder, services.boxes),
      intake_(services.sockets, decoder_, ProcessPcmQueue()),
      output_(services.audio, ProcessPcmQueue()),
      boxes_(services.boxes),
      ui_(services.ui)
{
    output_.SetObserver([this](const std::uint8_t* block) { UpdateMeter(block); });
    DriftController& drift = intake_.Handler().Drift();
    output_.SetRefillObserver([&drift](int queuedFrames, bool tookBlock) { drift.OnRefill(queuedFrames, tookBlock); });
    // Off only to measure what the correction is worth.
    if (const char* control = std::getenv("SONVALE_DRIFT_CONTROL"); control && std::string_view(control) == "off")
        drift.SetEnabled(false);
}

CSonvaleDlg::~CSonvaleDlg() = default;

bool CSonvaleDlg::OnInitDialog(WindowHost& host)
{
    host_ = &host;
    AddSystemMenuAndIcons();
    LoadSettings();
    LabelCaptionAndMenu();
    CreateEndpoints();
    ShowLocalAddress();
    AddTrayIcon();
    SavePlacementAndApplyMinimizedStart();
    MeasureMeter();
    OpenOutput();
    return true;
}

void CSonvaleDlg::OnDestroy()
{
    CloseEndpoints();
    RemoveTrayIcon();
    StopOutput();
    host_ = nullptr;
}

bool CSonvaleDlg::OnCommand(int id)
{
    switch (id) {
    case ID_FILE_EXIT: OnExit(); return true;
    case ID_FILE_SETTING: OnSetting(); return true;
    case ID_HELP_ABOUT: OnAbout(); return true;
    case ID_HELP_ONLINE: OnOnlineHelp(); return true;
    case kDialogOk: OnOK(); return true;
    case kDialogCancel: OnCancel(); return true;
    default: return false;
    }
}

bool CSonvaleDlg::OnSysCommand(unsigned id)
{
    if ((id & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    OnAbout();
    return true;
}

// Enter must not end the program.
void CSonvaleDlg::OnOK() {}

// Closing hides: the player goes on receiving and playing, and the tray icon
// brings the window back. Without an icon a hidden window could never come
// back, so it goes to the task bar instead.
void CSonvaleDlg::OnCancel()
{
    if (!host_)
        return;
    if (host_->TrayIconShown())
        host_->Hide();
    else
        host_->Minimize();
}

void CSonvaleDlg::OnTrayNotify(unsigned mouseEvent)
{
    if (host_ && RestoresWindow(mouseEvent))
        host_->RestoreFromTray();
}

void CSonvaleDlg::OnExit()
{
    if (host_)
        host_->EndModal(kDialogOk);
}

void CSonvaleDlg::OnAbout()
{
    if (host_)
        host_->RunAboutBox();
}

// A value outside 0..2 shows unchecked and is stored as 0 on OK. Autorun is
// applied before the file is saved, so a file that cannot be written still
// leaves the system starting the player as the user asked.
void CSonvaleDlg::OnSetting()
{
    if (!host_)
        return;
    const std::optional<SettingsChoice> choice = host_->RunSettingsDialog(
        {ForSettingsDialog(settings_.autorun), ForSettingsDialog(settings_.minimizeAtStart)});
    if (!choice)
        return;
    settings_.autorun = choice->autorun;
    settings_.minimizeAtStart = choice->minimizeAtStart;
    ApplyAutorun(ui_.AutorunPlaces(), settings_.autorun != 0, ui_.AutorunEntry());
    SaveSettings(ui_.Files(), ui_.SettingsPlace(), settings_, boxes_);
}

void CSonvaleDlg::OnOnlineHelp()
{
    const std::string page = ui_.HelpPagePath();
    if (!ui_.OpenHelpPage(page))
        boxes_.ShowAppMessage(std::string(texts::kHelpOpenFailed) + page);
}

void CSonvaleDlg::OnRefreshTimer()
{
    std::string hint = CurrentAddressHint();
    if (hint == infoText_ || !host_)
        return;
    infoText_ = std::move(hint);
    host_->SetInfoText(infoText_);
}

std::string CSonvaleDlg::CurrentAddressHint()
{
    return AddressHint(ChooseLocalAddress(ui_.Addresses()));
}

void CSonvaleDlg::AddSystemMenuAndIcons()
{
    host_->AddSystemMenuAndIcons();
}

void CSonvaleDlg::LoadSettings()
{
    const SettingsLocation place = ui_.SettingsPlace();
    EnsureSettingsFolder(ui_.Files(), place);
    sonvale::LoadSettings(ui_.Files(), place, settings_);
}

void CSonvaleDlg::LabelCaptionAndMenu()
{
    host_->SetCaption(std::string(texts::kTitle));
    host_->SetMenuLabels({std::string(texts::kMenuFile), std::string(texts::kMenuSetting),
                          std::string(texts::kMenuExit), std::string(texts::kMenuHelp),
                          std::string(texts::kMenuOnlineHelp), std::string(texts::kMenuAbout)});
}

void CSonvaleDlg::CreateEndpoints()
{
    intake_.CreateEndpoints();
}

void CSonvaleDlg::ShowLocalAddress()
{
    infoText_ = CurrentAddressHint();
    host_->SetInfoText(infoText_);
    host_->StartRefreshTimer(kAddressRefreshMs);
}

void CSonvaleDlg::AddTrayIcon()
{
    host_->AddTrayIcon();
}

void CSonvaleDlg::SavePlacementAndApplyMinimizedStart()
{
    host_->SavePlacement();
    if (settings_.minimizeAtStart == 0)
        return;
    if (host_->TrayIconShown())
        host_->StartHidden();
    else
        host_->Minimize();
}
void CSonvaleDlg::MeasureMeter()
{
    meter_.Measure(host_->Meter());
}

void CSonvaleDlg::OpenOutput()
{
    // Without a device the player runs on silently: intake still fills and
    // empties the queue.
    if (!output_.Start())
        boxes_.ShowAppMessage("audio device error!");
}

// The device must be done with the blocks before they go with this object.
void CSonvaleDlg::StopOutput()
{
    output_.Stop();
}

// Runs for every block, also while the window is hidden, so the meter is live
// the moment the window comes back.
void CSonvaleDlg::UpdateMeter(const std::uint8_t* block)
{
    meter_.Update(block);
}

void CSonvaleDlg::CloseEndpoints()
{
    intake_.CloseEndpoints();
}

void CSonvaleDlg::RemoveTrayIcon()
{
    if (host_)
        host_->RemoveTrayIcon();
}

}  // namespace sonvale
