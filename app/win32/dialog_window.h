// The least dialog framework the player needs: a modal dialog from a resource
// template whose messages are dispatched through a static table per class.
#ifndef SONVALE_APP_WIN32_DIALOG_WINDOW_H
#define SONVALE_APP_WIN32_DIALOG_WINDOW_H

#include <windows.h>

#include <optional>

namespace sonvale::win32 {

// Derived declares
//   static const MessageEntry kMessageTable[];
// Each handler returns what the dialog procedure returns for its message.
// Derived may also have
//   std::optional<INT_PTR> OnUnlistedMessage(UINT, WPARAM, LPARAM);
// for messages the table cannot name; nothing means default processing.
template <class Derived>
class DialogWindow {
public:
    struct MessageEntry {
        UINT message;
        INT_PTR (Derived::*handler)(WPARAM, LPARAM);
    };

    INT_PTR RunModal(HINSTANCE instance, int templateId, HWND owner)
    {
        return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), owner, &DialogWindow::Procedure,
                               reinterpret_cast<LPARAM>(static_cast<Derived*>(this)));
    }

    HWND Handle() const { return hwnd_; }

protected:
    DialogWindow() = default;
    ~DialogWindow() = default;

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<Derived*>(GetWindowLongPtrW(hwnd, DWLP_USER));
        if (message == WM_INITDIALOG) {
            self = reinterpret_cast<Derived*>(lParam);
            SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
            self->hwnd_ = hwnd;
        }
        if (!self)
            return FALSE;
        for (const MessageEntry& entry : Derived::kMessageTable) {
            if (entry.message == message) {
                const INT_PTR result = (self->*entry.handler)(wParam, lParam);
                if (message == WM_NCDESTROY)
                    self->hwnd_ = nullptr;
                return result;
            }
        }
        // Messages whose numbers are known only at run time (registered ones).
        if constexpr (requires { self->OnUnlistedMessage(message, wParam, lParam); }) {
            if (const auto result = self->OnUnlistedMessage(message, wParam, lParam))
                return *result;
        }
        if (message == WM_NCDESTROY)
            self->hwnd_ = nullptr;
        return FALSE;
    }

    HWND hwnd_ = nullptr;
};

}  // namespace sonvale::win32

#endif
