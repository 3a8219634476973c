#include "app/view/QtTray.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

#include "app/view/QtText.h"

namespace box {

namespace {

// The icon of the running box, taken away by ExitBox.
QtTrayIcon* activeTray = nullptr;

}  // namespace

bool QtTrayWindow::IsShown() const {
    return window_.isVisible();
}

void QtTrayWindow::Hide() {
    window_.hide();
}

void QtTrayWindow::Show() {
    window_.show();
}

bool QtTrayWindow::IsMinimized() const {
    return window_.isMinimized();
}

void QtTrayWindow::Restore() {
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
}

void QtTrayWindow::Activate() {
    window_.raise();
    window_.activateWindow();
}

QIcon BoxIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(QColor(0x1E, 0x88, 0xE5));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.2, size * 0.2);
        QFont font = QApplication::font();
        font.setPixelSize(size * 7 / 10);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString::fromUtf8("盒"));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QtTrayIcon::QtTrayIcon(QWidget& window, EventPump& pump, Dialogs& dialogs,
                       std::function<void()> exitBox)
    : window_(window), logic_(window_, pump, dialogs, std::move(exitBox)) {
    icon_.setIcon(BoxIcon());
    icon_.setToolTip(
        ToQString(TrayToolTip()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) {
                    logic_.OnTrayEvent(kTrayLeftButtonDown);
                } else if (reason == QSystemTrayIcon::Context) {
                    logic_.OnTrayEvent(kTrayRightButtonUp);
                }
            });
    icon_.show();
    activeTray = this;
}

QtTrayIcon::~QtTrayIcon() {
    if (activeTray == this) activeTray = nullptr;
}

void QtTrayIcon::Remove() {
    icon_.hide();
}

void ExitBox(int exitCode) {
    if (activeTray) activeTray->Remove();
    QCoreApplication::exit(exitCode);
}

}  // namespace box
