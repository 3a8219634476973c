#pragma once
// The window-level mouse-wheel hook, installed on the main window once the
// list is there. It scrolls the list when the pointer lies strictly inside
// the window and passes every event on.

#include <vector>

#include <QObject>

#include "app/MainWindowModel.h"

class QWidget;

namespace box {

class WheelHook : public QObject {
    Q_OBJECT
public:
    WheelHook(QWidget* window, MainWindowModel& model, const ProgramList& list,
              WindowActions& actions);

    // Also takes the wheel over a child that would scroll by its own rule
    // (the scroll bars): the window's rule covers its whole rectangle, and
    // the child's own scrolling is kept out.
    void AlsoOn(QWidget* child);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    MainWindowModel& model_;
    const ProgramList& list_;
    WindowActions& actions_;
    std::vector<QObject*> children_;
};

}  // namespace box
