#pragma once
// The update program's small window: a progress bar with a label over it and
// the tick timer. Everything it shows comes from the session.

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "updater/UpdateSession.h"

namespace box {

// Message boxes of the update program (QMessageBox, the box's button codes).
class UpdaterDialogs : public Dialogs {
public:
    int ShowMessage(const Text& text, unsigned flags, const Text& title) override;
};

class UpdaterPump : public EventPump {
public:
    void ProcessPendingEvents() override;
};

class UpdaterWindow : public QWidget {
public:
    explicit UpdaterWindow(UpdateSession& session);

    // Starts the session; false when it ended at once.
    bool Begin();
    void Show(const UpdaterView& view);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void OnTick();

    UpdateSession& session_;
    QProgressBar progress_;
    QLabel label_;
    QTimer timer_;
};

}  // namespace box
