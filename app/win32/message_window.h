// A hidden, message-only window of the UI thread: where Winsock and waveOut
// deliver their notices. The owner is kept in the window's user data.
#ifndef SONVALE_APP_WIN32_MESSAGE_WINDOW_H
#define SONVALE_APP_WIN32_MESSAGE_WINDOW_H

#include <windows.h>

namespace sonvale::win32 {

HWND CreateMessageWindow(const wchar_t* className, WNDPROC procedure, void* owner);

template <class Owner>
Owner* MessageWindowOwner(HWND hwnd)
{
    return reinterpret_cast<Owner*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace sonvale::win32

#endif
