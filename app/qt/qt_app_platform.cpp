#include "app/qt/qt_app_platform.h"

#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTimer>

#include "app/main_window.h"
#include "app/qt/qt_main_window.h"
#include "app/qt/termination_signals.h"
#include "app/string_table.h"
#include "res/resource.h"

namespace sonvale::qt {

namespace {

// The window host when there is no display: ending the modal run ends the
// event loop.
class HeadlessHost final : public WindowHost {
public:
    explicit HeadlessHost(CSonvaleDlg& dialog) : dialog_(dialog)
    {
        QObject::connect(&refresh_, &QTimer::timeout, [this] { dialog_.OnRefreshTimer(); });
    }
    void EndModal(int) override { QCoreApplication::quit(); }
    // The user of a box without a display still has to learn the address to
    // type into the sender; flushed at once, as standard output is often a
    // pipe or a journal.
    void SetInfoText(const std::string& text) override
    {
        std::fprintf(stdout, "%s\n", text.c_str());
        std::fflush(stdout);
    }
    void StartRefreshTimer(int ms) override { refresh_.start(ms); }

private:
    CSonvaleDlg& dialog_;
    QTimer refresh_;
};

bool Unset(const char* name)
{
    const char* value = std::getenv(name);
    return !value || !*value;
}

}  // namespace

bool NoDisplay()
{
    return Unset("DISPLAY") && Unset("WAYLAND_DISPLAY") && Unset("QT_QPA_PLATFORM");
}

QtAppPlatform::QtAppPlatform(bool headless)
    : headless_(headless),
      appName_(linux_shell::ExecutableName()),
      lock_(linux_shell::DefaultLockPath(appName_))
{
}

bool QtAppPlatform::ClaimSingleInstance()
{
    return lock_.TryAcquire();
}

void QtAppPlatform::ShowAppMessage(const std::string& text)
{
    if (headless_) {
        std::fprintf(stderr, "%s: %s\n", appName_.c_str(), text.c_str());
        return;
    }
    QMessageBox::warning(window_, QString::fromStdString(appName_), QString::fromStdString(text));
}

void QtAppPlatform::ShowPlainMessage(const std::string& text, const std::string& caption)
{
    if (headless_) {
        std::fprintf(stderr, "%s: %s\n", appName_.c_str(), text.c_str());
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok);
    box.exec();
}

std::string QtAppPlatform::LoadText(int id)
{
    return std::string(StringResource(id));
}

void QtAppPlatform::RunModal(CSonvaleDlg& dialog)
{
    // A signal ends the run the way the Exit command does, so teardown is the
    // same. A box still waiting for an answer (the start-up's "audio device
    // error!", Settings, About) is dismissed first: its loop runs inside the
    // window's and would keep the player alive until someone clicked it.
    TerminationSignals terminations([this, &dialog] {
        if (!headless_) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QDialog*>(widget);
                if (box && box != window_ && box->isVisible())
                    box->reject();
            }
        }
        dialog.OnCommand(ID_FILE_EXIT);
    });
    if (headless_) {
        HeadlessHost host(dialog);
        dialog.OnInitDialog(host);
        QCoreApplication::exec();
        dialog.OnDestroy();
        return;
    }
    QtMainWindow window(dialog);
    window_ = &window;
    window.Run();
    window_ = nullptr;
}

}  // namespace sonvale::qt
