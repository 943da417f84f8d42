#include "spectrum/qt/qt_meter_widget.h"

#include <QPainter>

namespace sonvale::qt {

QtMeterWidget::QtMeterWidget(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted each time; nothing behind needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

MeterSize QtMeterWidget::Measure()
{
    return {width(), height()};
}

// The widget is the meter, so its own rectangle is the size given.
void QtMeterWidget::Paint(const MeterBars& bars, MeterSize)
{
    bars_ = bars;
    if (isVisible())
        update();
}

void QtMeterWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    for (const MeterBar& bar : bars_) {
        // Rectangles as Windows fills them: right and bottom excluded, an
        // empty or inverted one draws nothing.
        if (bar.right <= bar.left || bar.bottom <= bar.top)
            continue;
        painter.fillRect(QRect(bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top),
                         QColor(bar.red, bar.green, bar.blue));
    }
}

}  // namespace sonvale::qt
