// Laying a Qt dialog out from a Windows dialog template: the template's
// dialog units measured in the dialog's own font, so each window comes out at
// the size its template gives on Windows.
#ifndef SONVALE_APP_QT_QT_DIALOG_LAYOUT_H
#define SONVALE_APP_QT_QT_DIALOG_LAYOUT_H

#include <string_view>

#include <QRect>
#include <QString>

#include "app/dialog_units.h"

class QDialog;
class QFont;
class QIcon;
class QWidget;

namespace sonvale::qt {

// Property that carries a control's or a menu command's resource id.
inline constexpr char kControlIdProperty[] = "controlId";

inline QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

DialogBaseUnits MeasureBaseUnits(const QFont& font);

// Position and size are scaled separately, as Windows does for templates.
QRect DialogRect(DialogBaseUnits base, int x, int y, int width, int height);

// Gives `dialog` the template's font and fixed client size; returns the base
// units its controls are placed with.
DialogBaseUnits SetUpTemplateDialog(QDialog& dialog, const QFont& font, int width, int height);

// Tags `control` with its resource id and places it.
void PlaceControl(QWidget& control, int id, DialogBaseUnits base, int x, int y, int width, int height);

// Icon resource 128: the window's and the About box's.
QIcon MainFrameIcon();

}  // namespace sonvale::qt

#endif
