// The main window object: owner of every per-window resource of the player and
// of the order in which they are set up and torn down. The native window itself
// belongs to a shell, which forwards its events here.
#ifndef SONVALE_APP_MAIN_WINDOW_H
#define SONVALE_APP_MAIN_WINDOW_H

#include <string>

#include "app/player_services.h"
#include "intake/decoder_binding.h"
#include "intake/stream_intake.h"
#include "playback/output_cycle.h"
#include "spectrum/bar_meter.h"
#include "ui/player_settings.h"

namespace sonvale {

class WindowHost;

// A cheap check of the machine's addresses, a few times a minute.
inline constexpr int kAddressRefreshMs = 15000;

class CSonvaleDlg {
public:
    explicit CSonvaleDlg(PlayerServices& services);
    ~CSonvaleDlg();
    CSonvaleDlg(const CSonvaleDlg&) = delete;
    CSonvaleDlg& operator=(const CSonvaleDlg&) = delete;

    // Window events, forwarded by the shell on the UI thread.
    bool OnInitDialog(WindowHost& host);
    void OnDestroy();
    // Menu and dialog commands by id; false when the id is not one of ours.
    bool OnCommand(int id);
    // A system-menu command; false when default processing should have it.
    bool OnSysCommand(unsigned id);
    // Every few seconds: the machine's addresses may have changed since start
    // (a player started at log-on often starts before the network is up).
    void OnRefreshTimer();
    // A mouse event on the notification-area icon.
    void OnTrayNotify(unsigned mouseEvent);

    const std::string& InfoText() const { return infoText_; }
    const PlayerSettings& Settings() const { return settings_; }
    StreamIntake& Intake() { return intake_; }
    OutputCycle& Output() { return output_; }
    DecoderBinding& Decoder() { return decoder_; }
    bool Initialised() const { return host_ != nullptr; }

private:
    void OnOK();
    void OnCancel();
    void OnExit();
    void OnSetting();
    void OnAbout();
    void OnOnlineHelp();
    std::string CurrentAddressHint();

    // Initialisation steps, in the order OnInitDialog runs them.
    void AddSystemMenuAndIcons();
    void LoadSettings();
    void LabelCaptionAndMenu();
    void CreateEndpoints();
    void ShowLocalAddress();
    void AddTrayIcon();
    void SavePlacementAndApplyMinimizedStart();
    void MeasureMeter();
    void OpenOutput();

    // Teardown steps, in the order OnDestroy runs them.
    void CloseEndpoints();
    void RemoveTrayIcon();
    void StopOutput();

    // Every refilled block, before it goes back to the device.
    void UpdateMeter(const std::uint8_t* block);

    // Bound first and released last: every other member may use it.
    DecoderBinding decoder_;
    StreamIntake intake_;
    OutputCycle output_;
    BarMeter meter_;
    MessageBoxes& boxes_;
    UserInterfacePlatform& ui_;
    PlayerSettings settings_;
    WindowHost* host_ = nullptr;
    std::string infoText_;
};

}  // namespace sonvale

#endif
