#include "app/main_window.h"

#include "app/message_boxes.h"
#include "app/window_host.h"
#include "intake/pcm_queue.h"
#include "res/resource.h"

namespace sonvale {

CSonvaleDlg::CSonvaleDlg(PlayerServices& services)
    : decoder_(services.decoder, services.boxes),
      intake_(services.sockets, decoder_, ProcessPcmQueue()),
      output_(services.audio, ProcessPcmQueue()),
      boxes_(services.boxes)
{
    output_.SetObserver([this](const std::uint8_t* block) { UpdateMeter(block); });
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
    case kDialogOk: OnOK(); return true;
    case kDialogCancel: OnCancel(); return true;
    default: return false;
    }
}

// Enter must not end the program.
void CSonvaleDlg::OnOK() {}

// Without a tray icon to bring a hidden window back, closing would lose the
// window for good, so closing ends the program like Exit.
void CSonvaleDlg::OnCancel() { OnExit(); }

void CSonvaleDlg::OnExit()
{
    if (host_)
        host_->EndModal(kDialogOk);
}

// Steps whose subsystems arrive later; each is called in its place already so
// that the order of initialisation and teardown is fixed here once.
void CSonvaleDlg::AddSystemMenuAndIcons() {}
void CSonvaleDlg::LoadSettings() {}
void CSonvaleDlg::LabelCaptionAndMenu() {}
void CSonvaleDlg::CreateEndpoints()
{
    intake_.CreateEndpoints();
}

void CSonvaleDlg::ShowLocalAddress() {}
void CSonvaleDlg::AddTrayIcon() {}
void CSonvaleDlg::SavePlacementAndApplyMinimizedStart() {}
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

void CSonvaleDlg::RemoveTrayIcon() {}

}  // namespace sonvale
