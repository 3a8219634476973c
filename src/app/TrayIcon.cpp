#include "app/TrayIcon.h"

namespace box {

Text TrayToolTip() {
    static const Text kTip = "汀芷·软件盒子\r\n为汀芷软件旗下数十款软件提供下载、升级服务"_gbk;
    return kTip;
}

void TrayIconLogic::OnTrayEvent(int mouseMessage) {
    static const Text kQuit = "确实要退出《汀芷·软件盒子》吗？"_gbk;
    if (mouseMessage == kTrayLeftButtonDown) {
        ToggleWindow();
    } else if (mouseMessage == kTrayRightButtonUp) {
        if (AskUser(dialogs_, kQuit, kMbOkCancel) == kButtonOk && exitBox_) exitBox_();
    }
}

void TrayIconLogic::ToggleWindow() {
    if (window_.IsShown()) {
        window_.Hide();
        return;
    }
    // Events that arrived meanwhile first: one of them may show the window.
    pump_.ProcessPendingEvents();
    if (!window_.IsShown()) window_.Show();
    if (window_.IsMinimized()) window_.Restore();
    window_.Activate();
}

}  // namespace box
