#pragma once
// Message boxes and event processing of the Qt window, for the core.

#include <vector>

#include <QMessageBox>

#include "support/Dialogs.h"
#include "support/EventPump.h"

namespace box {

// Shows a QMessageBox with the buttons, icon and modality the flags ask for
// and answers with the button code. Safe to construct before the
// application object; showing needs one.
class QtDialogs : public Dialogs {
public:
    int ShowMessage(const Text& text, unsigned flags, const Text& title) override;
};

// Processes the window's pending events.
class QtEventPump : public EventPump {
public:
    void ProcessPendingEvents() override;
};

// The buttons of a flag set, in their usual order, and the code of each.
std::vector<QMessageBox::StandardButton> DialogButtons(unsigned flags);
QMessageBox::Icon DialogIcon(unsigned flags);
int ButtonCode(QMessageBox::StandardButton button);
// The caption of a button as a Chinese system shows it; "" for others.
QString ButtonCaption(QMessageBox::StandardButton button);

}  // namespace box
