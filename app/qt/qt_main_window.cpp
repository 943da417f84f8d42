#include "app/qt/qt_main_window.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "app/texts.h"
#include "res/resource.h"
#include "spectrum/qt/qt_meter_widget.h"

namespace sonvale::qt {

namespace {

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

DialogBaseUnits MeasureBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return BaseUnitsFromFont(alphabet, metrics.height());
}

}  // namespace

QtMainWindow::QtMainWindow(CSonvaleDlg& dialog) : QDialog(nullptr), dialog_(dialog)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(MAIN_DLG_FONT_POINTS);
    setFont(font);
    base_ = MeasureBaseUnits(font);

    setWindowTitle(FromUtf8(texts::kTitle));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setProperty(kControlIdProperty, IDD_SONVALE_DIALOG);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    menuBar_ = new QMenuBar(this);
    menuBar_->setNativeMenuBar(false);
    layout->setMenuBar(menuBar_);
    client_ = new QWidget(this);
    client_->setFixedSize(DialogUnitsToPixelsX(MAIN_DLG_WIDTH, base_), DialogUnitsToPixelsY(MAIN_DLG_HEIGHT, base_));
    layout->addWidget(client_);

    BuildMenu();
    BuildControls();
}

void QtMainWindow::BuildMenu()
{
    menuBar_->setProperty(kControlIdProperty, IDR_MENU_MAIN);
    auto addCommand = [this](QMenu* menu, const char* label, int id) {
        QAction* action = menu->addAction(QString::fromUtf8(label));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { dialog_.OnCommand(id); });
    };
    QMenu* file = menuBar_->addMenu(QStringLiteral("File(&F)"));
    addCommand(file, "Setting(&S)", ID_FILE_SETTING);
    addCommand(file, "Exit(&X)", ID_FILE_EXIT);
    QMenu* help = menuBar_->addMenu(QStringLiteral("Help(&H)"));
    addCommand(help, "Online Help(&O)", ID_HELP_ONLINE);
    addCommand(help, "About(&A)", ID_HELP_ABOUT);
}

void QtMainWindow::BuildControls()
{
    meter_ = new QtMeterWidget(client_);
    meter_->setProperty(kControlIdProperty, IDC_METER);
    meter_->setGeometry(DialogRect(METER_X, METER_Y, METER_WIDTH, METER_HEIGHT));

    info_ = new QPlainTextEdit(client_);
    info_->setProperty(kControlIdProperty, IDC_INFO);
    info_->setReadOnly(true);
    info_->setFocusPolicy(Qt::NoFocus);
    info_->setGeometry(DialogRect(INFO_X, INFO_Y, INFO_WIDTH, INFO_HEIGHT));
}

QRect QtMainWindow::DialogRect(int x, int y, int width, int height) const
{
    const int left = DialogUnitsToPixelsX(x, base_);
    const int top = DialogUnitsToPixelsY(y, base_);
    // Position and size are scaled separately, as Windows does for templates.
    return QRect(left, top, DialogUnitsToPixelsX(width, base_), DialogUnitsToPixelsY(height, base_));
}

int QtMainWindow::Run()
{
    dialog_.OnInitDialog(*this);
    const int result = exec();
    dialog_.OnDestroy();
    return result;
}

void QtMainWindow::EndModal(int result)
{
    QDialog::done(result);
}

MeterSurface* QtMainWindow::Meter()
{
    return meter_;
}

// Esc and the close box arrive here.
void QtMainWindow::reject()
{
    dialog_.OnCommand(kDialogCancel);
}

void QtMainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        dialog_.OnCommand(kDialogOk);
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace sonvale::qt
