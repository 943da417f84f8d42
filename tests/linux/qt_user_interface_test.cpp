// The Linux user interface under the Qt window: the Chinese labels and the
// address hint, the About box and the settings dialog as their templates lay
// them out, settings and autostart in a scratch XDG configuration folder, the
// help page, and the settings file's lock.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "app/main_window.h"
#include "app/qt/qt_main_window.h"
#include "app/texts.h"
#include "res/resource.h"
#include "tests/support/fakes.h"
#include "ui/linux/posix_settings_files.h"
#include "ui/qt/qt_user_interface.h"

// Readable failures: gtest would print the UTF-16 units.
void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}
void PrintTo(const QUrl& url, std::ostream* out)
{
    *out << url.toString().toStdString();
}

namespace sonvale::qt {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

QString Q(std::string_view text)
{
    return FromUtf8(text);
}

template <typename T = QWidget>
T* Control(QWidget& parent, int id)
{
    for (QWidget* child : parent.findChildren<QWidget*>())
        if (child->property(kControlIdProperty).toInt() == id)
            return qobject_cast<T*>(child);
    return nullptr;
}

QAction* Command(QtMainWindow& window, int id)
{
    for (QAction* menu : window.MenuBar()->actions())
        for (QAction* action : menu->menu()->actions())
            if (action->data().toInt() == id)
                return action;
    return nullptr;
}

// Runs `act` on the modal dialog that `open` brings up, while it is up. A
// dialog that `act` leaves open is cancelled, so a failure cannot hang.
void InModalDialog(const std::function<void()>& open, const std::function<void(QDialog&)>& act)
{
    bool acted = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->property(kControlIdProperty).toInt() == IDD_SONVALE_DIALOG)
            return;
        acted = true;
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    open();
    EXPECT_TRUE(acted) << "no dialog came up";
}

void ExpectPlaced(QDialog& dialog, int id, int x, int y, int width, int height)
{
    QWidget* control = Control(dialog, id);
    ASSERT_NE(control, nullptr) << id;
    EXPECT_EQ(control->geometry(), DialogRect(MeasureBaseUnits(dialog.font()), x, y, width, height)) << id;
}

std::optional<Bytes> FileBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

class ShellUserInterface : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/sonvale-ui-XXXXXX";
        root_ = mkdtemp(pattern);
        if (const char* config = std::getenv("XDG_CONFIG_HOME"))
            savedConfig_ = config;
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        // The real system folder is writable by root: a folder that does not
        // exist keeps the test's entry in the user's.
        ui_.emplace((root_ / "no-system-autostart").string());
        services_.emplace(PlayerServices{fakes_.boxes, fakes_.sockets, fakes_.decoder, fakes_.audio, *ui_});
    }
    void TearDown() override
    {
        if (savedConfig_)
            setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(root_);
    }

    // Runs the main window with `steps` inside its event loop, then exits.
    void RunWindow(const std::function<void(QtMainWindow&)>& steps)
    {
        CSonvaleDlg dialog(*services_);
        QtMainWindow window(dialog);
        QTimer::singleShot(0, &window, [&] {
            steps(window);
            Command(window, ID_FILE_EXIT)->trigger();
        });
        EXPECT_EQ(window.Run(), kDialogOk);
    }

    fs::path SettingsFile() const { return root_ / "config/svl/playeroption.svp"; }
    fs::path AutostartFile() const { return root_ / "config/autostart/svls.desktop"; }
    void WriteSettingsFile(const Bytes& bytes)
    {
        fs::create_directories(SettingsFile().parent_path());
        std::ofstream(SettingsFile(), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                             static_cast<std::streamsize>(bytes.size()));
    }

    fs::path root_;
    std::optional<std::string> savedConfig_;
    test::FakeServices fakes_;
    std::optional<QtUserInterface> ui_;
    std::optional<PlayerServices> services_;
};

TEST_F(ShellUserInterface, WindowCarriesTheChineseLabelsAndTheAddressHint)
{
    RunWindow([](QtMainWindow& window) {
        EXPECT_EQ(window.windowTitle(), Q(texts::kTitle));
        EXPECT_FALSE(window.windowIcon().isNull());
        ASSERT_NE(window.TrayIcon(), nullptr);
        EXPECT_EQ(window.TrayIcon()->toolTip(), Q(texts::kTitle));
        EXPECT_EQ(window.TrayIcon()->icon().availableSizes(), QList<QSize>{QSize(16, 16)});
        const QList<QAction*> menus = window.MenuBar()->actions();
        ASSERT_EQ(menus.size(), 2);
        EXPECT_EQ(menus[0]->text(), Q(texts::kMenuFile));
        EXPECT_EQ(menus[1]->text(), Q(texts::kMenuHelp));
        using Entries = std::vector<std::pair<int, QString>>;
        auto entries = [](QAction* menu) {
            Entries found;
            for (QAction* action : menu->menu()->actions())
                found.emplace_back(action->data().toInt(), action->text());
            return found;
        };
        EXPECT_EQ(entries(menus[0]),
                  (Entries{{ID_FILE_SETTING, Q(texts::kMenuSetting)}, {ID_FILE_EXIT, Q(texts::kMenuExit)}}));
        EXPECT_EQ(entries(menus[1]),
                  (Entries{{ID_HELP_ONLINE, Q(texts::kMenuOnlineHelp)}, {ID_HELP_ABOUT, Q(texts::kMenuAbout)}}));

        const std::string info =
            Control<QPlainTextEdit>(*window.Client(), IDC_INFO)->toPlainText().toStdString();
        EXPECT_NE(info.find(texts::kAddressLead), std::string::npos) << info;
        EXPECT_EQ(info.find(std::string(texts::kAddressLead) + "127."), std::string::npos) << info;
    });
}

TEST_F(ShellUserInterface, AboutBoxFromTheHelpMenuIsLaidOutLikeItsTemplate)
{
    RunWindow([](QtMainWindow& window) {
        InModalDialog([&] { Command(window, ID_HELP_ABOUT)->trigger(); }, [](QDialog& about) {
            EXPECT_EQ(about.windowTitle(), Q(texts::kAboutCaption));
            EXPECT_EQ(about.size(), DialogRect(MeasureBaseUnits(about.font()), 0, 0, 170, 62).size());
            auto* icon = Control<QLabel>(about, IDR_MAINFRAME);
            ASSERT_NE(icon, nullptr);
            EXPECT_FALSE(icon->pixmap().isNull());
            EXPECT_EQ(icon->pos(), DialogRect(MeasureBaseUnits(about.font()), 14, 14, 0, 0).topLeft());
            ExpectPlaced(about, IDC_ABOUT_VERSION, 42, 14, 114, 8);
            ExpectPlaced(about, IDC_ABOUT_COPYRIGHT, 42, 26, 114, 8);
            ExpectPlaced(about, kDialogOk, 113, 41, 50, 14);
            EXPECT_EQ(Control<QLabel>(about, IDC_ABOUT_VERSION)->text(), Q(texts::kAboutVersion));
            EXPECT_EQ(Control<QLabel>(about, IDC_ABOUT_COPYRIGHT)->text(), Q(texts::kAboutCopyright));
            auto* ok = Control<QAbstractButton>(about, kDialogOk);
            EXPECT_EQ(ok->text(), Q(texts::kOk));
            ok->click();
            EXPECT_FALSE(about.isVisible());
        });
    });
}

TEST_F(ShellUserInterface, SettingsDialogStoresTheChoicesAndTheAutostartEntry)
{
    // Text carried through, and two bytes past the record that must stay.
    Bytes file(60, 0);
    file[0] = 'h';
    file[58] = file[59] = 0xEE;
    WriteSettingsFile(file);

    RunWindow([&](QtMainWindow& window) {
        InModalDialog([&] { Command(window, ID_FILE_SETTING)->trigger(); }, [](QDialog& settings) {
            EXPECT_EQ(settings.windowTitle(), Q(texts::kSettingCaption));
            EXPECT_EQ(settings.size(), DialogRect(MeasureBaseUnits(settings.font()), 0, 0, 204, 80).size());
            ExpectPlaced(settings, -1, 7, 3, 190, 46);
            ExpectPlaced(settings, IDC_AUTORUN, 13, 14, 177, 10);
            ExpectPlaced(settings, IDC_MINIMIZE_START, 13, 31, 176, 10);
            ExpectPlaced(settings, kDialogOk, 7, 55, 74, 18);
            ExpectPlaced(settings, kDialogCancel, 104, 55, 74, 18);
            auto* autorun = Control<QAbstractButton>(settings, IDC_AUTORUN);
            auto* minimize = Control<QAbstractButton>(settings, IDC_MINIMIZE_START);
            EXPECT_EQ(autorun->text(), Q(texts::kSettingAutorun));
            EXPECT_EQ(minimize->text(), Q(texts::kSettingMinimize));
            EXPECT_EQ(Control<QAbstractButton>(settings, kDialogCancel)->text(), Q(texts::kCancel));
            EXPECT_FALSE(autorun->isChecked());
            EXPECT_FALSE(minimize->isChecked());
            autorun->click();
            minimize->click();
            Control<QAbstractButton>(settings, kDialogOk)->click();
        });
        Bytes stored = file;
        stored[50] = stored[54] = 1;
        EXPECT_EQ(FileBytes(SettingsFile()), stored);
        const std::string entry = [&] {
            std::ostringstream text;
            text << std::ifstream(AutostartFile()).rdbuf();
            return text.str();
        }();
        EXPECT_NE(entry.find("\nExec=\"" + fs::read_symlink("/proc/self/exe").string() + "\"\n"), std::string::npos)
            << entry;

        InModalDialog([&] { Command(window, ID_FILE_SETTING)->trigger(); }, [](QDialog& settings) {
            auto* autorun = Control<QAbstractButton>(settings, IDC_AUTORUN);
            EXPECT_TRUE(autorun->isChecked());
            EXPECT_TRUE(Control<QAbstractButton>(settings, IDC_MINIMIZE_START)->isChecked());
            autorun->click();
            Control<QAbstractButton>(settings, kDialogOk)->click();
        });
        stored[50] = 0;
        EXPECT_EQ(FileBytes(SettingsFile()), stored);
        EXPECT_FALSE(fs::exists(AutostartFile()));
    });
}

TEST_F(ShellUserInterface, CancelInTheSettingsDialogChangesNothing)
{
    RunWindow([&](QtMainWindow& window) {
        const std::optional<Bytes> before = FileBytes(SettingsFile());
        ASSERT_EQ(before, Bytes{});
        InModalDialog([&] { Command(window, ID_FILE_SETTING)->trigger(); }, [](QDialog& settings) {
            Control<QAbstractButton>(settings, IDC_AUTORUN)->click();
            Control<QAbstractButton>(settings, IDC_MINIMIZE_START)->click();
            Control<QAbstractButton>(settings, kDialogCancel)->click();
            EXPECT_FALSE(settings.isVisible());
        });
        EXPECT_EQ(FileBytes(SettingsFile()), before);
        EXPECT_FALSE(fs::exists(AutostartFile().parent_path()));
    });
}

// Stands in for the browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { opened.push_back(url); }

public:
    std::vector<QUrl> opened;
};

TEST_F(ShellUserInterface, F1OpensTheHelpPageBesideTheExecutable)
{
    UrlCatcher browser;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &browser, "Open");
    RunWindow([](QtMainWindow& window) {
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(&window, &f1);
    });
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    const fs::path page = fs::read_symlink("/proc/self/exe").parent_path() / texts::kHelpFileName;
    EXPECT_EQ(browser.opened, std::vector<QUrl>{QUrl::fromLocalFile(QString::fromStdString(page.string()))});
    EXPECT_TRUE(fakes_.boxes.shown.empty());
}

TEST_F(ShellUserInterface, AnOpenSettingsFileLocksOutEveryOtherOpen)
{
    linux_shell::PosixSettingsFiles files;
    const std::string path = (root_ / "locked.svp").string();
    using Open = SettingsFileSystem::Open;
    {
        auto held = files.OpenFile(path, Open::kCreateForWrite);
        ASSERT_NE(held, nullptr);
        const std::uint8_t bytes[] = {1, 2, 3};
        ASSERT_TRUE(held->Write(bytes, 3));
        EXPECT_EQ(files.OpenFile(path, Open::kReadExisting), nullptr);
        // Nor may a creating open empty it from under the holder.
        EXPECT_EQ(files.OpenFile(path, Open::kCreateForWrite), nullptr);
    }
    EXPECT_EQ(FileBytes(path), (Bytes{1, 2, 3}));
    EXPECT_NE(files.OpenFile(path, Open::kWriteExisting), nullptr);
}

}  // namespace
}  // namespace sonvale::qt

#include "qt_user_interface_test.moc"
