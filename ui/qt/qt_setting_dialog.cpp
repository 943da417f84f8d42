#include "ui/qt/qt_setting_dialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>

#include "app/qt/qt_dialog_layout.h"
#include "app/texts.h"
#include "app/window_host.h"
#include "res/resource.h"

namespace sonvale::qt {

namespace {

// Template 131, in dialog units of its own font.
constexpr int kWidth = 204, kHeight = 80;
constexpr int kFontPoints = 8;

}  // namespace

QtSettingDialog::QtSettingDialog(const SettingsChoice& shown, QWidget* parent) : QDialog(parent)
{
    const DialogBaseUnits base =
        SetUpTemplateDialog(*this, QFont(QStringLiteral("Tahoma"), kFontPoints), kWidth, kHeight);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setProperty(kControlIdProperty, IDD_SETTING);
    setWindowTitle(FromUtf8(texts::kSettingCaption));

    // A sibling behind the boxes, as in the template, not their parent.
    auto* group = new QGroupBox(this);
    PlaceControl(*group, -1, base, 7, 3, 190, 46);

    autorun_ = new QCheckBox(FromUtf8(texts::kSettingAutorun), this);
    PlaceControl(*autorun_, IDC_AUTORUN, base, 13, 14, 177, 10);
    autorun_->setChecked(shown.autorun != 0);
    minimize_ = new QCheckBox(FromUtf8(texts::kSettingMinimize), this);
    PlaceControl(*minimize_, IDC_MINIMIZE_START, base, 13, 31, 176, 10);
    minimize_->setChecked(shown.minimizeAtStart != 0);

    auto* ok = new QPushButton(FromUtf8(texts::kOk), this);
    PlaceControl(*ok, kDialogOk, base, 7, 55, 74, 18);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(FromUtf8(texts::kCancel), this);
    PlaceControl(*cancel, kDialogCancel, base, 104, 55, 74, 18);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

SettingsChoice QtSettingDialog::Choice() const
{
    return {autorun_->isChecked() ? 1 : 0, minimize_->isChecked() ? 1 : 0};
}

}  // namespace sonvale::qt
