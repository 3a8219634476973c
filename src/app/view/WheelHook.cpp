#include "app/view/WheelHook.h"

#include <QWheelEvent>
#include <QWidget>

namespace box {

WheelHook::WheelHook(QWidget* window, MainWindowModel& model, const ProgramList& list,
                     WindowActions& actions)
    : QObject(window), window_(window), model_(model), list_(list), actions_(actions) {}

bool WheelHook::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_ || event->type() != QEvent::Wheel) return false;
    const auto* wheel = static_cast<QWheelEvent*>(event);
    // A tilted wheel is a different message altogether; only the vertical
    // wheel scrolls the list.
    const int delta = wheel->angleDelta().y();
    if (delta == 0) return false;
    const QRect frame = window_->frameGeometry();
    const QPoint at = wheel->globalPosition().toPoint();
    model_.WheelHook(Rect{frame.x(), frame.y(), frame.width(), frame.height()}, at.x(), at.y(),
                     delta, list_.size(), actions_);
    return false;
}

}  // namespace box
