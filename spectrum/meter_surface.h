// Where the bars are drawn: the meter control of a shell's main window.
#ifndef SONVALE_SPECTRUM_METER_SURFACE_H
#define SONVALE_SPECTRUM_METER_SURFACE_H

#include "spectrum/bar_meter.h"

namespace sonvale {

struct MeterSize {
    int width = 0;
    int height = 0;
};

class MeterSurface {
public:
    virtual ~MeterSurface() = default;
    // Pixel size of the meter control's whole window rectangle, taken once at
    // initialisation; bar coordinates are relative to its top-left corner.
    virtual MeterSize Measure() = 0;
    // Black over (0, 0, width, height), then each bar filled in its colour. A
    // bar covers columns left .. right-1 and rows top .. bottom-1; an empty or
    // inverted rectangle draws nothing.
    virtual void Paint(const MeterBars& bars, MeterSize size) = 0;
};

}  // namespace sonvale

#endif
