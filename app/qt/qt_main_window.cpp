#include "app/qt/qt_main_window.h"

#include <QIcon>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "app/texts.h"
#include "res/resource.h"
#include "spectrum/qt/qt_meter_widget.h"
#include "ui/qt/qt_about_box.h"
#include "ui/qt/qt_setting_dialog.h"

namespace sonvale::qt {

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
    client_->setFixedSize(DialogRect(base_, 0, 0, MAIN_DLG_WIDTH, MAIN_DLG_HEIGHT).size());
    layout->addWidget(client_);

    BuildMenu();
    BuildControls();
    connect(&refresh_, &QTimer::timeout, this, [this] { dialog_.OnRefreshTimer(); });
}

void QtMainWindow::BuildMenu()
{
    menuBar_->setProperty(kControlIdProperty, IDR_MENU_MAIN);
    auto addCommand = [this](QMenu* menu, const char* label, int id) {
        QAction* action = menu->addAction(QString::fromUtf8(label));
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { dialog_.OnCommand(id); });
        commands_[id] = action;
    };
    fileMenu_ = menuBar_->addMenu(QStringLiteral("File(&F)"));
    addCommand(fileMenu_, "Setting(&S)", ID_FILE_SETTING);
    addCommand(fileMenu_, "Exit(&X)", ID_FILE_EXIT);
    helpMenu_ = menuBar_->addMenu(QStringLiteral("Help(&H)"));
    addCommand(helpMenu_, "Online Help(&O)", ID_HELP_ONLINE);
    addCommand(helpMenu_, "About(&A)", ID_HELP_ABOUT);
}

void QtMainWindow::BuildControls()
{
    meter_ = new QtMeterWidget(client_);
    meter_->setProperty(kControlIdProperty, IDC_METER);
    meter_->setGeometry(DialogRect(base_, METER_X, METER_Y, METER_WIDTH, METER_HEIGHT));

    info_ = new QPlainTextEdit(client_);
    info_->setProperty(kControlIdProperty, IDC_INFO);
    info_->setReadOnly(true);
    info_->setFocusPolicy(Qt::NoFocus);
    info_->setGeometry(DialogRect(base_, INFO_X, INFO_Y, INFO_WIDTH, INFO_HEIGHT));
}

int QtMainWindow::Run()
{
    dialog_.OnInitDialog(*this);
    const int result = exec();
    refresh_.stop();
    dialog_.OnDestroy();
    return result;
}

// A window manager's window menu is not ours to extend, so the About entry
// stays in the Help menu; the icon is all that applies.
void QtMainWindow::AddSystemMenuAndIcons()
{
    setWindowIcon(MainFrameIcon());
}

void QtMainWindow::SetCaption(const std::string& caption)
{
    setWindowTitle(QString::fromStdString(caption));
}

void QtMainWindow::SetMenuLabels(const MenuLabels& labels)
{
    fileMenu_->setTitle(QString::fromStdString(labels.file));
    commands_.at(ID_FILE_SETTING)->setText(QString::fromStdString(labels.setting));
    commands_.at(ID_FILE_EXIT)->setText(QString::fromStdString(labels.exit));
    helpMenu_->setTitle(QString::fromStdString(labels.help));
    commands_.at(ID_HELP_ONLINE)->setText(QString::fromStdString(labels.onlineHelp));
    commands_.at(ID_HELP_ABOUT)->setText(QString::fromStdString(labels.about));
}

void QtMainWindow::SetInfoText(const std::string& text)
{
    info_->setPlainText(QString::fromStdString(text));
}

void QtMainWindow::StartRefreshTimer(int ms)
{
    refresh_.start(ms);
}

void QtMainWindow::RunAboutBox()
{
    QtAboutBox about(this);
    about.exec();
}

std::optional<SettingsChoice> QtMainWindow::RunSettingsDialog(const SettingsChoice& shown)
{
    QtSettingDialog settings(shown, this);
    if (settings.exec() != QDialog::Accepted)
        return std::nullopt;
    return settings.Choice();
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
    if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
        dialog_.OnCommand(ID_HELP_ONLINE);
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace sonvale::qt
