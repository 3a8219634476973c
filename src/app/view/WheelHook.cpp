#include "app/view/WheelHook.h"

#include <algorithm>

#include <QWheelEvent>
#include <QWidget>

namespace box {

WheelHook::WheelHook(QWidget* window, MainWindowModel& model, const ProgramList& list,
                     WindowActions& actions)
    : QObject(window), window_(window), model_(model), list_(list), actions_(actions) {}

void WheelHook::AlsoOn(QWidget* child) {
    children_.push_back(child);
    child->installEventFilter(this);
}

bool WheelHook::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel) return false;
    const bool child = std::find(children_.begin(), children_.end(), watched) != children_.end();
    if (watched != window_ && !child) return false;
    const auto* wheel = static_cast<QWheelEvent*>(event);
    // A tilted wheel is a different message altogether; only the vertical
    // wheel scrolls the list.
    const int delta = wheel->angleDelta().y();
    if (delta != 0) {
        const QRect frame = window_->frameGeometry();
        const QPoint at = wheel->globalPosition().toPoint();
        model_.WheelHook(Rect{frame.x(), frame.y(), frame.width(), frame.height()}, at.x(), at.y(),
                         delta, list_.size(), actions_);
    }
    return child;
}

}  // namespace box
