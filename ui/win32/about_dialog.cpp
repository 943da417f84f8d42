#include "ui/win32/about_dialog.h"

#include "app/texts.h"
#include "app/win32/utf.h"
#include "res/resource.h"

namespace sonvale::win32 {

const CAboutDlg::MessageEntry CAboutDlg::kMessageTable[2] = {
    {WM_INITDIALOG, &CAboutDlg::OnInitDialog},
    {WM_COMMAND, &CAboutDlg::OnCommand},
};

INT_PTR CAboutDlg::OnInitDialog(WPARAM, LPARAM)
{
    SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, Widen(texts::kAboutVersion).c_str());
    SetDlgItemTextW(Handle(), IDC_ABOUT_COPYRIGHT, Widen(texts::kAboutCopyright).c_str());
    SetDlgItemTextW(Handle(), IDOK, Widen(texts::kOk).c_str());
    SetWindowTextW(Handle(), Widen(texts::kAboutCaption).c_str());
    return TRUE;
}

INT_PTR CAboutDlg::OnCommand(WPARAM wParam, LPARAM)
{
    const int id = LOWORD(wParam);
    if (id != IDOK && id != IDCANCEL)
        return FALSE;
    EndDialog(Handle(), id);
    return TRUE;
}

}  // namespace sonvale::win32
