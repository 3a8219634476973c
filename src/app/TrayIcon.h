#pragma once
// The box's icon in the notification area and how the box ends: a left click
// hides or shows the window, a right click asks whether to quit.

#include <functional>

#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

// Mouse messages the tray reports (the values the box was written against).
inline constexpr int kTrayLeftButtonDown = 0x201;
inline constexpr int kTrayRightButtonUp = 0x205;

// The main window as far as the tray needs it.
class TrayWindow {
public:
    virtual ~TrayWindow() = default;
    virtual bool IsShown() const = 0;
    virtual void Hide() = 0;
    virtual void Show() = 0;
    virtual bool IsMinimized() const = 0;
    virtual void Restore() = 0;
    // Brings the window in front of the others and gives it the focus,
    // without changing whether it stays on top of other windows.
    virtual void Activate() = 0;
};

// The tooltip of the box's icon.
Text TrayToolTip();

class TrayIconLogic {
public:
    TrayIconLogic(TrayWindow& window, EventPump& pump, Dialogs& dialogs,
                  std::function<void()> exitBox)
        : window_(window), pump_(pump), dialogs_(dialogs), exitBox_(std::move(exitBox)) {}

    // A mouse message on the icon.
    void OnTrayEvent(int mouseMessage);

    // Shown: hidden. Hidden: visible, restored and in front.
    void ToggleWindow();

private:
    TrayWindow& window_;
    EventPump& pump_;
    Dialogs& dialogs_;
    std::function<void()> exitBox_;
};

}  // namespace box
