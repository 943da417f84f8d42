// The About box on template 100, reached from the Help menu and the system menu.
#ifndef SONVALE_UI_WIN32_ABOUT_DIALOG_H
#define SONVALE_UI_WIN32_ABOUT_DIALOG_H

#include "app/win32/dialog_window.h"

namespace sonvale::win32 {

class CAboutDlg final : public DialogWindow<CAboutDlg> {
public:
    static const MessageEntry kMessageTable[2];

private:
    INT_PTR OnInitDialog(WPARAM, LPARAM);
    INT_PTR OnCommand(WPARAM, LPARAM);
};

}  // namespace sonvale::win32

#endif
