#include "ui/qt/qt_about_box.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "app/qt/qt_dialog_layout.h"
#include "app/texts.h"
#include "app/window_host.h"
#include "res/resource.h"

namespace sonvale::qt {

namespace {

// Template 100, in dialog units of its own font.
constexpr int kWidth = 170, kHeight = 62;
constexpr int kFontPoints = 9;

}  // namespace

QtAboutBox::QtAboutBox(QWidget* parent) : QDialog(parent)
{
    const DialogBaseUnits base =
        SetUpTemplateDialog(*this, QFont(QStringLiteral("MS Shell Dlg"), kFontPoints), kWidth, kHeight);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setProperty(kControlIdProperty, IDD_ABOUTBOX);
    setWindowTitle(FromUtf8(texts::kAboutCaption));

    // An icon control takes the size of the system's large icon, whatever
    // the template says.
    auto* icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize);
    icon->setPixmap(MainFrameIcon().pixmap(iconSize, iconSize));
    icon->setProperty(kControlIdProperty, IDR_MAINFRAME);
    icon->setGeometry(QRect(DialogRect(base, 14, 14, 0, 0).topLeft(), QSize(iconSize, iconSize)));

    auto* version = new QLabel(FromUtf8(texts::kAboutVersion), this);
    PlaceControl(*version, IDC_ABOUT_VERSION, base, 42, 14, 114, 8);
    auto* copyright = new QLabel(FromUtf8(texts::kAboutCopyright), this);
    PlaceControl(*copyright, IDC_ABOUT_COPYRIGHT, base, 42, 26, 114, 8);

    auto* ok = new QPushButton(FromUtf8(texts::kOk), this);
    PlaceControl(*ok, kDialogOk, base, 113, 41, 50, 14);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace sonvale::qt
