// The meter on Qt: a black widget the size of the meter control that paints
// the latest bars. Qt paints on its own schedule, so a block only records its
// bars and asks for a repaint; a hidden window costs the layout, not the paint.
#ifndef SONVALE_SPECTRUM_QT_QT_METER_WIDGET_H
#define SONVALE_SPECTRUM_QT_QT_METER_WIDGET_H

#include <QWidget>

#include "spectrum/meter_surface.h"

namespace sonvale::qt {

class QtMeterWidget final : public QWidget, public MeterSurface {
public:
    explicit QtMeterWidget(QWidget* parent);

    MeterSize Measure() override;
    void Paint(const MeterBars& bars, MeterSize size) override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MeterBars bars_{};
};

}  // namespace sonvale::qt

#endif
