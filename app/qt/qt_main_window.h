// The main window on Qt: the same dialog as the Windows template, laid out in
// dialog units of its own font, its events forwarded to the portable window.
#ifndef SONVALE_APP_QT_QT_MAIN_WINDOW_H
#define SONVALE_APP_QT_QT_MAIN_WINDOW_H

#include <QDialog>

#include "app/dialog_units.h"
#include "app/window_host.h"

class QMenuBar;
class QPlainTextEdit;

namespace sonvale {
class CSonvaleDlg;
}

namespace sonvale::qt {

class QtMeterWidget;

// Property that carries a control's or a menu command's resource id.
inline constexpr char kControlIdProperty[] = "controlId";

class QtMainWindow final : public QDialog, public WindowHost {
public:
    explicit QtMainWindow(CSonvaleDlg& dialog);

    // Initialises the portable window, runs the modal loop, then tears down.
    int Run();

    void EndModal(int result) override;
    MeterSurface* Meter() override;
    void reject() override;

    DialogBaseUnits BaseUnits() const { return base_; }
    QWidget* Client() const { return client_; }
    QMenuBar* MenuBar() const { return menuBar_; }
    QtMeterWidget* MeterWidget() const { return meter_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildMenu();
    void BuildControls();
    QRect DialogRect(int x, int y, int width, int height) const;

    CSonvaleDlg& dialog_;
    DialogBaseUnits base_{};
    QMenuBar* menuBar_ = nullptr;
    QWidget* client_ = nullptr;
    QtMeterWidget* meter_ = nullptr;
    QPlainTextEdit* info_ = nullptr;
};

}  // namespace sonvale::qt

#endif
