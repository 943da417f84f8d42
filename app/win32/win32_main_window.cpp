#include "app/win32/win32_main_window.h"

#include "app/main_window.h"
#include "res/resource.h"

namespace sonvale::win32 {

const Win32MainWindow::MessageEntry Win32MainWindow::kMessageTable[3] = {
    {WM_INITDIALOG, &Win32MainWindow::OnInitDialog},
    {WM_COMMAND, &Win32MainWindow::OnCommand},
    {WM_DESTROY, &Win32MainWindow::OnDestroy},
};

void Win32MainWindow::EndModal(int result)
{
    EndDialog(Handle(), result);
}

MeterSurface* Win32MainWindow::Meter()
{
    if (!meter_)
        meter_.emplace(GetDlgItem(Handle(), IDC_METER));
    return &*meter_;
}

INT_PTR Win32MainWindow::OnInitDialog(WPARAM, LPARAM)
{
    return dialog_.OnInitDialog(*this) ? TRUE : FALSE;
}

INT_PTR Win32MainWindow::OnCommand(WPARAM wParam, LPARAM)
{
    return dialog_.OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
}

INT_PTR Win32MainWindow::OnDestroy(WPARAM, LPARAM)
{
    dialog_.OnDestroy();
    return TRUE;
}

}  // namespace sonvale::win32
