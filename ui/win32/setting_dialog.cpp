#include "ui/win32/setting_dialog.h"

#include "app/texts.h"
#include "app/win32/utf.h"
#include "res/resource.h"

namespace sonvale::win32 {

const CDlgSetting::MessageEntry CDlgSetting::kMessageTable[2] = {
    {WM_INITDIALOG, &CDlgSetting::OnInitDialog},
    {WM_COMMAND, &CDlgSetting::OnCommand},
};

INT_PTR CDlgSetting::OnInitDialog(WPARAM, LPARAM)
{
    HWND dialog = Handle();
    CheckDlgButton(dialog, IDC_AUTORUN, choice_.autorun ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_MINIMIZE_START, choice_.minimizeAtStart ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextW(dialog, IDC_AUTORUN, Widen(texts::kSettingAutorun).c_str());
    SetDlgItemTextW(dialog, IDC_MINIMIZE_START, Widen(texts::kSettingMinimize).c_str());
    SetDlgItemTextW(dialog, IDOK, Widen(texts::kOk).c_str());
    SetDlgItemTextW(dialog, IDCANCEL, Widen(texts::kCancel).c_str());
    SetWindowTextW(dialog, Widen(texts::kSettingCaption).c_str());
    return TRUE;
}

INT_PTR CDlgSetting::OnCommand(WPARAM wParam, LPARAM)
{
    const int id = LOWORD(wParam);
    if (id == IDOK) {
        choice_.autorun = IsDlgButtonChecked(Handle(), IDC_AUTORUN) == BST_CHECKED ? 1 : 0;
        choice_.minimizeAtStart = IsDlgButtonChecked(Handle(), IDC_MINIMIZE_START) == BST_CHECKED ? 1 : 0;
    } else if (id != IDCANCEL) {
        return FALSE;
    }
    EndDialog(Handle(), id);
    return TRUE;
}

}  // namespace sonvale::win32
