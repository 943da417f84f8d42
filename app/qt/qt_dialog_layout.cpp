#include "app/qt/qt_dialog_layout.h"

#include <QDialog>
#include <QFontMetrics>
#include <QIcon>

namespace sonvale::qt {

DialogBaseUnits MeasureBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return BaseUnitsFromFont(alphabet, metrics.height());
}

QRect DialogRect(DialogBaseUnits base, int x, int y, int width, int height)
{
    return QRect(DialogUnitsToPixelsX(x, base), DialogUnitsToPixelsY(y, base), DialogUnitsToPixelsX(width, base),
                 DialogUnitsToPixelsY(height, base));
}

DialogBaseUnits SetUpTemplateDialog(QDialog& dialog, const QFont& font, int width, int height)
{
    dialog.setFont(font);
    const DialogBaseUnits base = MeasureBaseUnits(font);
    dialog.setFixedSize(DialogRect(base, 0, 0, width, height).size());
    return base;
}

void PlaceControl(QWidget& control, int id, DialogBaseUnits base, int x, int y, int width, int height)
{
    control.setProperty(kControlIdProperty, id);
    control.setGeometry(DialogRect(base, x, y, width, height));
}

QIcon MainFrameIcon()
{
    // Every image of the .ico, 16 to 128 pixels, compiled in by the build.
    return QIcon(QStringLiteral(":/sonvale.ico"));
}

}  // namespace sonvale::qt
