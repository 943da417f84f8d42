// The meter on Win32: drawn straight onto the window device context of the
// meter control, taken once and kept, with no off-screen copy; the control's
// own painting (black) covers it when exposed, until the next block redraws.
#ifndef SONVALE_SPECTRUM_WIN32_WIN32_METER_SURFACE_H
#define SONVALE_SPECTRUM_WIN32_WIN32_METER_SURFACE_H

#include <windows.h>

#include "spectrum/meter_surface.h"

namespace sonvale::win32 {

class Win32MeterSurface final : public MeterSurface {
public:
    explicit Win32MeterSurface(HWND control) : control_(control) {}

    MeterSize Measure() override;
    void Paint(const MeterBars& bars, MeterSize size) override;

private:
    HWND control_;
    // Both live as long as the process, like the window they draw on.
    HDC dc_ = nullptr;
    HBRUSH background_ = nullptr;
};

}  // namespace sonvale::win32

#endif
