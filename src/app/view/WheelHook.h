#pragma once
// The window-level mouse-wheel hook, installed on the main window once the
// list is there. It scrolls the list when the pointer lies strictly inside
// the window and passes every event on.

#include <QObject>

#include "app/MainWindowModel.h"

class QWidget;

namespace box {

class WheelHook : public QObject {
    Q_OBJECT
public:
    WheelHook(QWidget* window, MainWindowModel& model, const ProgramList& list,
              WindowActions& actions);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    MainWindowModel& model_;
    const ProgramList& list_;
    WindowActions& actions_;
};

}  // namespace box
