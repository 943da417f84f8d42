// The Qt main window laid out like template 102, and its commands, on Qt's
// offscreen platform.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
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

    auto* meter = qobject_cast<QFrame*>(Control(window.Client(), IDC_METER));
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->geometry(), Expected(base, METER_X, METER_Y, METER_WIDTH, METER_HEIGHT));
    EXPECT_EQ(meter->palette().color(QPalette::Window), QColor(Qt::black));

    auto* info = qobject_cast<QPlainTextEdit*>(Control(window.Client(), IDC_INFO));
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->isReadOnly());
    EXPECT_EQ(info->geometry(), Expected(base, INFO_X, INFO_Y, INFO_WIDTH, INFO_HEIGHT));
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

TEST(QtMainWindow, CloseBoxEndsTheRunLikeExit)
{
    test::FakeServices fakes;
    CSonvaleDlg dialog(fakes.services);
    QtMainWindow window(dialog);
    QTimer::singleShot(0, &window, [&] { window.close(); });
    EXPECT_EQ(window.Run(), kDialogOk);
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
