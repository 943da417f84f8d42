// What the notification-area icon's mouse events do, and where a window
// brought back from it goes: the decisions both shells share.
#ifndef SONVALE_UI_TRAY_RULES_H
#define SONVALE_UI_TRAY_RULES_H

namespace sonvale {

// The callback message of the icon (the first user message plus 5).
inline constexpr unsigned kTrayNotifyMessage = 0x405;
inline constexpr unsigned kTrayIconId = 128;

// Mouse events as the icon reports them.
inline constexpr unsigned kMouseMove = 0x200;
inline constexpr unsigned kLeftButtonDown = 0x201;
inline constexpr unsigned kLeftButtonUp = 0x202;
inline constexpr unsigned kLeftButtonDoubleClick = 0x203;
inline constexpr unsigned kRightButtonDown = 0x204;

// Left press, left double-click and right press bring the window back; the icon
// has no menu, and releases and moves do nothing.
constexpr bool RestoresWindow(unsigned mouseEvent)
{
    return mouseEvent == kLeftButtonDown || mouseEvent == kLeftButtonDoubleClick || mouseEvent == kRightButtonDown;
}

struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }
    friend constexpr bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// The window centred on the work area in integer arithmetic, then moved back
// inside past the right or bottom edge, then aligned with the left or top edge
// if it starts outside. Only the position changes.
constexpr ScreenRect CentreOnWorkArea(const ScreenRect& window, const ScreenRect& work)
{
    const int width = window.Width();
    const int height = window.Height();
    int left = (work.left + work.right) / 2 - width / 2;
    int top = (work.top + work.bottom) / 2 - height / 2;
    if (left + width > work.right)
        left = work.right - width;
    if (top + height > work.bottom)
        top = work.bottom - height;
    if (left < work.left)
        left = work.left;
    if (top < work.top)
        top = work.top;
    return {left, top, left + width, top + height};
}

}  // namespace sonvale

#endif
