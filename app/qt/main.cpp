#include <memory>

#include <QApplication>
#include <QCoreApplication>

#include "app/qt/qt_app_platform.h"
#include "app/sonvale_app.h"

int main(int argc, char** argv)
{
    const bool headless = sonvale::qt::NoDisplay();
    std::unique_ptr<QCoreApplication> application;
    if (headless)
        application = std::make_unique<QCoreApplication>(argc, argv);
    else
        application = std::make_unique<QApplication>(argc, argv);

    sonvale::qt::QtAppPlatform platform(headless);
    sonvale::CSonvaleApp app(platform);
    app.InitInstance();
    return 0;
}
