// The Qt main window laid out like template 102, and its keys and close box,
// on Qt's offscreen platform. How its meter paints is checked on screen by
// the meter screenshot test.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
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

QAction* ExitAction(QtMainWindow& window)
{
    for (QAction* action : window.MenuBar()->actions()[0]->menu()->actions())
        if (action->data().toInt() == ID_FILE_EXIT)
            return action;
    return nullptr;
}

// Offscreen there is no tray: a hidden window could never come back.
TEST(QtMainWindow, EnterKeepsTheWindowCloseMinimizesWithoutATrayAndExitEndsTheRun)
{
    test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    QtMainWindow window(dialog);
    bool stillOpenAfterEnter = false;
    bool minimized = false;
    QTimer::singleShot(0, &window, [&] {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(&window, &enter);
        stillOpenAfterEnter = window.isVisible() && !window.isMinimized();
        window.close();
        minimized = window.isVisible() && window.isMinimized();
        ExitAction(window)->trigger();
    });
    EXPECT_EQ(window.Run(), kDialogOk);
    EXPECT_TRUE(stillOpenAfterEnter);
    EXPECT_TRUE(minimized);
    EXPECT_FALSE(dialog.Initialised());
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
