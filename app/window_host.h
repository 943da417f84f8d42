// The native main window as the portable window object sees it. The shell that
// owns the real window implements it and hands it over at initialisation.
#ifndef SONVALE_APP_WINDOW_HOST_H
#define SONVALE_APP_WINDOW_HOST_H

namespace sonvale {

class MeterSurface;

inline constexpr int kDialogOk = 1;
inline constexpr int kDialogCancel = 2;

class WindowHost {
public:
    virtual ~WindowHost() = default;
    // Ends the modal run; the shell destroys the window afterwards.
    virtual void EndModal(int result) = 0;
    // The spectrum meter control; null where nothing is shown (headless).
    virtual MeterSurface* Meter() { return nullptr; }
};

}  // namespace sonvale

#endif
