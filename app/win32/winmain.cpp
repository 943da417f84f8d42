#include <windows.h>

#include "app/sonvale_app.h"
#include "app/win32/win32_app_platform.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    sonvale::win32::Win32AppPlatform platform(instance);
    sonvale::CSonvaleApp app(platform);
    app.InitInstance();
    return 0;
}
