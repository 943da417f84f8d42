#ifndef SONVALE_APP_SONVALE_APP_H
#define SONVALE_APP_SONVALE_APP_H

namespace sonvale {

class AppPlatform;

// Runs once per process: claims the single instance, brings up the socket
// layer and runs the main window until Exit.
class CSonvaleApp {
public:
    explicit CSonvaleApp(AppPlatform& platform) : platform_(platform) {}

    // Returns false on every path: the process ends when it returns.
    bool InitInstance();

private:
    AppPlatform& platform_;
};

}  // namespace sonvale

#endif
