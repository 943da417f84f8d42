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

namespace sonvale {

class WindowHost;

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

    const std::string& InfoText() const { return infoText_; }
    StreamIntake& Intake() { return intake_; }
    OutputCycle& Output() { return output_; }
    DecoderBinding& Decoder() { return decoder_; }
    bool Initialised() const { return host_ != nullptr; }

private:
    void OnOK();
    void OnCancel();
    void OnExit();

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
    WindowHost* host_ = nullptr;
    std::string infoText_;
};

}  // namespace sonvale

#endif
