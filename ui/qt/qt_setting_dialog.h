// The settings dialog, laid out like its Windows template.
#ifndef SONVALE_UI_QT_QT_SETTING_DIALOG_H
#define SONVALE_UI_QT_QT_SETTING_DIALOG_H

#include <QDialog>

#include "ui/user_interface.h"

class QCheckBox;

namespace sonvale::qt {

class QtSettingDialog final : public QDialog {
public:
    // A non-zero value shows checked.
    QtSettingDialog(const SettingsChoice& shown, QWidget* parent);

    // 1 for a checked box, 0 for an unchecked one.
    SettingsChoice Choice() const;

private:
    QCheckBox* autorun_;
    QCheckBox* minimize_;
};

}  // namespace sonvale::qt

#endif
