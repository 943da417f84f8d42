// The settings dialog on template 131: two automatic check boxes, OK and Cancel.
#ifndef SONVALE_UI_WIN32_SETTING_DIALOG_H
#define SONVALE_UI_WIN32_SETTING_DIALOG_H

#include "app/win32/dialog_window.h"
#include "ui/user_interface.h"

namespace sonvale::win32 {

class CDlgSetting final : public DialogWindow<CDlgSetting> {
public:
    explicit CDlgSetting(const SettingsChoice& shown) : choice_(shown) {}
    const SettingsChoice& Choice() const { return choice_; }

    static const MessageEntry kMessageTable[2];

private:
    INT_PTR OnInitDialog(WPARAM, LPARAM);
    INT_PTR OnCommand(WPARAM, LPARAM);

    SettingsChoice choice_;
};

}  // namespace sonvale::win32

#endif
