// The main window on Qt: the same dialog as the Windows template, laid out in
// dialog units of its own font, its events forwarded to the portable window.
#ifndef SONVALE_APP_QT_QT_MAIN_WINDOW_H
#define SONVALE_APP_QT_QT_MAIN_WINDOW_H

#include <map>

#include <QDialog>
#include <QEventLoop>
#include <QRect>
#include <QTimer>

#include "app/dialog_units.h"
#include "app/qt/qt_dialog_layout.h"
#include "app/window_host.h"

class QAction;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QSystemTrayIcon;

namespace sonvale {
class CSonvaleDlg;
}

namespace sonvale::qt {

class QtMeterWidget;

class QtMainWindow final : public QDialog, public WindowHost {
public:
    explicit QtMainWindow(CSonvaleDlg& dialog);

    // Initialises the portable window, runs the modal loop, then tears down.
    // The loop is not QDialog::exec(): that would show a window meant to
    // start hidden, end the run when the window is hidden, and, being
    // application modal, block the clicks on the tray icon.
    int Run();

    void EndModal(int result) override;
    MeterSurface* Meter() override;
    void reject() override;

    void AddSystemMenuAndIcons() override;
    void SetCaption(const std::string& caption) override;
    void SetMenuLabels(const MenuLabels& labels) override;
    void SetInfoText(const std::string& text) override;
    void StartRefreshTimer(int ms) override;
    void RunAboutBox() override;
    std::optional<SettingsChoice> RunSettingsDialog(const SettingsChoice& shown) override;

    void AddTrayIcon() override;
    void RemoveTrayIcon() override;
    bool TrayIconShown() override;
    void SavePlacement() override;
    void StartHidden() override;
    void Hide() override;
    void Minimize() override;
    void RestoreFromTray() override;

    DialogBaseUnits BaseUnits() const { return base_; }
    QWidget* Client() const { return client_; }
    QMenuBar* MenuBar() const { return menuBar_; }
    QtMeterWidget* MeterWidget() const { return meter_; }
    QSystemTrayIcon* TrayIcon() const { return tray_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildMenu();
    void BuildControls();
    void ShowTrayIconOnceATrayIsThere();
    void MoveToCentreOfWorkArea();

    CSonvaleDlg& dialog_;
    DialogBaseUnits base_{};
    QMenuBar* menuBar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    std::map<int, QAction*> commands_;
    QWidget* client_ = nullptr;
    QtMeterWidget* meter_ = nullptr;
    QPlainTextEdit* info_ = nullptr;
    QTimer refresh_;
    QSystemTrayIcon* tray_ = nullptr;
    QTimer trayWatch_;
    QRect savedPlacement_;
    bool startHidden_ = false;
    QEventLoop loop_;
    bool ended_ = false;
};

}  // namespace sonvale::qt

#endif
