#include "app/qt/qt_main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "app/main_window.h"
#include "app/texts.h"
#include "res/resource.h"
#include "spectrum/qt/qt_meter_widget.h"
#include "ui/qt/qt_about_box.h"
#include "ui/qt/qt_setting_dialog.h"
#include "ui/tray_rules.h"

namespace sonvale::qt {

namespace {

// How often to look for a tray while there is none.
constexpr int kTrayWatchMs = 3000;

ScreenRect ToScreenRect(const QRect& rect)
{
    return {rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

// The screen that holds most of `frame`, the primary one when none does.
QScreen* ScreenHolding(const QRect& frame)
{
    QScreen* holder = nullptr;
    qint64 most = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect common = screen->geometry().intersected(frame);
        const qint64 area = qint64(common.width()) * common.height();
        if (area > most) {
            most = area;
            holder = screen;
        }
    }
    return holder ? holder : QGuiApplication::primaryScreen();
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
        // A command chosen from the keyboard leaves the focus on the menu bar,
        // which would then take the Esc meant for the window.
        connect(action, &QAction::triggered, this, [this, id] {
            setFocus(Qt::MenuBarFocusReason);
            dialog_.OnCommand(id);
        });
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
    if (!startHidden_)
        show();
    // An end asked for during initialisation (a signal while a message box
    // waited) would be lost on a loop that has not started.
    if (!ended_)
        loop_.exec();
    refresh_.stop();
    dialog_.OnDestroy();
    return result();
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

// Both boxes are modal to the main window only, so that clicks on the tray
// icon still arrive while one is open.
void QtMainWindow::RunAboutBox()
{
    QtAboutBox about(this);
    about.setWindowModality(Qt::WindowModal);
    about.exec();
}

std::optional<SettingsChoice> QtMainWindow::RunSettingsDialog(const SettingsChoice& shown)
{
    QtSettingDialog settings(shown, this);
    settings.setWindowModality(Qt::WindowModal);
    if (settings.exec() != QDialog::Accepted)
        return std::nullopt;
    return settings.Choice();
}

void QtMainWindow::EndModal(int result)
{
    QDialog::done(result);
    ended_ = true;
    loop_.exit();
}

// A player started at log-on may come up before the panel: the icon is shown
// once a tray is there. After that Qt docks it again by itself whenever the
// tray is restarted.
void QtMainWindow::AddTrayIcon()
{
    if (tray_)
        return;
    tray_ = new QSystemTrayIcon(QIcon(QStringLiteral(":/tray.ico")), this);
    tray_->setToolTip(FromUtf8(texts::kTitle));
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger: dialog_.OnTrayNotify(kLeftButtonDown); break;
        case QSystemTrayIcon::DoubleClick: dialog_.OnTrayNotify(kLeftButtonDoubleClick); break;
        case QSystemTrayIcon::Context: dialog_.OnTrayNotify(kRightButtonDown); break;
        default: break;
        }
    });
    connect(&trayWatch_, &QTimer::timeout, this, &QtMainWindow::ShowTrayIconOnceATrayIsThere);
    ShowTrayIconOnceATrayIsThere();
}

void QtMainWindow::ShowTrayIconOnceATrayIsThere()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        trayWatch_.start(kTrayWatchMs);
        return;
    }
    trayWatch_.stop();
    tray_->show();
}

void QtMainWindow::RemoveTrayIcon()
{
    trayWatch_.stop();
    delete tray_;
    tray_ = nullptr;
}

bool QtMainWindow::TrayIconShown()
{
    return tray_ && tray_->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

// Before the first show the layout has not given the window its fixed size yet.
void QtMainWindow::SavePlacement()
{
    layout()->activate();
    savedPlacement_ = geometry();
}

void QtMainWindow::StartHidden()
{
    startHidden_ = true;
}

void QtMainWindow::Hide()
{
    hide();
}

// QDialog centres a window on its first show and loses the minimized state on
// the way; a window placed beforehand keeps it.
void QtMainWindow::Minimize()
{
    if (!testAttribute(Qt::WA_Moved))
        MoveToCentreOfWorkArea();
    showMinimized();
}

void QtMainWindow::RestoreFromTray()
{
    startHidden_ = false;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    setGeometry(savedPlacement_);
    MoveToCentreOfWorkArea();
    show();
    raise();
    activateWindow();
    // An open settings or About box stays in front of the window it belongs to.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

void QtMainWindow::MoveToCentreOfWorkArea()
{
    const QRect frame = frameGeometry();
    const ScreenRect work = ToScreenRect(ScreenHolding(frame)->availableGeometry());
    const ScreenRect centred = CentreOnWorkArea(ToScreenRect(frame), work);
    move(centred.left, centred.top);
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

// The window itself is never closed: the portable window hides or minimizes
// it, and only the end of the run destroys it.
void QtMainWindow::closeEvent(QCloseEvent* event)
{
    reject();
    event->ignore();
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
