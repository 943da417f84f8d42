// The Qt main window laid out like template 102, and its commands, on Qt's
// offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTimer>

#include "app/main_window.h"
#include "app/qt/qt_main_window.h"
#include "app/texts.h"
#include "app/window_host.h"
#include "res/resource.h"
#include "spectrum/qt/qt_meter_widget.h"
#include "tests/support/fakes.h"

namespace sonvale::qt {
namespace {

QWidget* Control(QWidget* parent, int id)
{
    for (QWidget* child : parent->findChildren<QWidget*>())
        if (child->property(kControlIdProperty).toInt() == id)
            return child;
    return nullptr;
}

QRect Expected(DialogBaseUnits base, int x, int y, int width, int height)
{
    return QRect(DialogUnitsToPixelsX(x, base), DialogUnitsToPixelsY(y, base), DialogUnitsToPixelsX(width, base),
                 DialogUnitsToPixelsY(height, base));
}

TEST(QtMainWindow, IsLaidOutLikeTheDialogTemplate)
{
    test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    QtMainWindow window(dialog);
    EXPECT_EQ(window.windowTitle().toStdString(), texts::kTitle);

    const DialogBaseUnits base = window.BaseUnits();
    ASSERT_GT(base.x, 0);
    ASSERT_GT(base.y, 0);
    EXPECT_EQ(window.Client()->size(), Expected(base, 0, 0, MAIN_DLG_WIDTH, MAIN_DLG_HEIGHT).size());

    auto* meter = dynamic_cast<QtMeterWidget*>(Control(window.Client(), IDC_METER));
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->geometry(), Expected(base, METER_X, METER_Y, METER_WIDTH, METER_HEIGHT));
    EXPECT_EQ(window.Meter(), meter);

    auto* info = qobject_cast<QPlainTextEdit*>(Control(window.Client(), IDC_INFO));
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isReadOnly());
    EXPECT_EQ(info->geometry(), Expected(base, INFO_X, INFO_Y, INFO_WIDTH, INFO_HEIGHT));
}

TEST(QtMeterWidget, FillsBarsAsWindowsFillsRectangles)
{
    QtMeterWidget meter(nullptr);
    meter.resize(40, 20);
    const MeterSize size = meter.Measure();
    EXPECT_EQ(size.width, 40);
    EXPECT_EQ(size.height, 20);
    const QImage blank = meter.grab().toImage();
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(blank.pixelColor(x, y), QColor(Qt::black)) << x << "," << y;

    MeterBars bars{};
    bars[0] = {2, 5, 6, 20, 255, 128, 50};   // columns 2..5, rows 5..19
    bars[1] = {10, 20, 14, 20, 255, 0, 50};  // empty: silence
    bars[2] = {30, 8, 28, 20, 255, 9, 50};   // inverted: nothing
    meter.Paint(bars, size);
    const QImage image = meter.grab().toImage();
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            const bool inBar = x >= 2 && x < 6 && y >= 5;
            ASSERT_EQ(image.pixelColor(x, y), inBar ? QColor(255, 128, 50) : QColor(Qt::black)) << x << "," << y;
        }
    }
}

TEST(QtMainWindow, MenuCarriesTheCommandIds)
{
    test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    QtMainWindow window(dialog);
    const QList<QAction*> menus = window.MenuBar()->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("File(&F)"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Help(&H)"));

    auto ids = [](QAction* menu) {
        std::vector<std::pair<int, QString>> entries;
        for (QAction* action : menu->menu()->actions())
            entries.emplace_back(action->data().toInt(), action->text());
        return entries;
    };
    EXPECT_EQ(ids(menus[0]), (std::vector<std::pair<int, QString>>{{ID_FILE_SETTING, "Setting(&S)"},
                                                                  {ID_FILE_EXIT, "Exit(&X)"}}));
    EXPECT_EQ(ids(menus[1]), (std::vector<std::pair<int, QString>>{{ID_HELP_ONLINE, "Online Help(&O)"},
                                                                  {ID_HELP_ABOUT, "About(&A)"}}));
}

QAction* ExitAction(QtMainWindow& window)
{
    for (QAction* action : window.MenuBar()->actions()[0]->menu()->actions())
        if (action->data().toInt() == ID_FILE_EXIT)
            return action;
    return nullptr;
}

TEST(QtMainWindow, EnterKeepsTheWindowAndExitEndsTheRun)
{
    test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    QtMainWindow window(dialog);
    bool stillOpenAfterEnter = false;
    QTimer::singleShot(0, &window, [&] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        stillOpenAfterEnter = window.isVisible();
        ExitAction(window)->trigger();
    });
    EXPECT_EQ(window.Run(), kDialogOk);
    EXPECT_TRUE(stillOpenAfterEnter);
    EXPECT_FALSE(dialog.Initialised());
}

// Offscreen there is no tray: a hidden window could never come back.
TEST(QtMainWindow, WithoutATrayTheCloseBoxMinimizes)
{
    test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    QtMainWindow window(dialog);
    bool minimized = false;
    QTimer::singleShot(0, &window, [&] {
        window.close();
        minimized = window.isVisible() && window.isMinimized();
        ExitAction(window)->trigger();
    });
    EXPECT_EQ(window.Run(), kDialogOk);
    EXPECT_TRUE(minimized);
}

}  // namespace
}  // namespace sonvale::qt

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
