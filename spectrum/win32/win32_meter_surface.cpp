#include "spectrum/win32/win32_meter_surface.h"

namespace sonvale::win32 {

MeterSize Win32MeterSurface::Measure()
{
    RECT rect{};
    GetWindowRect(control_, &rect);
    dc_ = GetWindowDC(control_);
    background_ = CreateSolidBrush(RGB(0, 0, 0));
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void Win32MeterSurface::Paint(const MeterBars& bars, MeterSize size)
{
    if (!dc_)
        return;
    const RECT whole{0, 0, size.width, size.height};
    FillRect(dc_, &whole, background_);
    for (const MeterBar& bar : bars) {
        const RECT rect{bar.left, bar.top, bar.right, bar.bottom};
        HBRUSH brush = CreateSolidBrush(RGB(bar.red, bar.green, bar.blue));
        FillRect(dc_, &rect, brush);
        DeleteObject(brush);
    }
}

}  // namespace sonvale::win32
