#pragma once
// The box's icon in the notification area (QSystemTrayIcon) over the tray
// logic of the core, and the window as the tray sees it.

#include <memory>

#include <QObject>
#include <QSystemTrayIcon>

#include "app/TrayIcon.h"

class QWidget;

namespace box {

// A top-level widget as the tray's window.
class QtTrayWindow : public TrayWindow {
public:
    explicit QtTrayWindow(QWidget& window) : window_(window) {}
    bool IsShown() const override;
    void Hide() override;
    void Show() override;
    bool IsMinimized() const override;
    void Restore() override;
    void Activate() override;

private:
    QWidget& window_;
};

// The icon with the box's tooltip. A left click (Trigger) and a right click
// (Context) reach the logic as the mouse messages it knows. Where no
// notification area exists yet, Qt puts the icon up as soon as one appears.
class QtTrayIcon : public QObject {
    Q_OBJECT
public:
    QtTrayIcon(QWidget& window, EventPump& pump, Dialogs& dialogs, std::function<void()> exitBox);
    ~QtTrayIcon() override;

    TrayIconLogic& logic() { return logic_; }
    QSystemTrayIcon& icon() { return icon_; }
    // Takes the icon away (the box is ending).
    void Remove();

private:
    QtTrayWindow window_;
    TrayIconLogic logic_;
    QSystemTrayIcon icon_;
};

// The box's icon picture (window and tray).
QIcon BoxIcon();

// Ends the box with exitCode: the tray icon goes, then every event loop
// ends, the window's loop returning exitCode.
void ExitBox(int exitCode = 0);

}  // namespace box
