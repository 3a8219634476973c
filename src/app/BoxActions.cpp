#include "app/BoxActions.h"

namespace box {

BoxActions::BoxActions(ProgramList& list, SettingsStore& settings, EventPump& pump,
                       Dialogs& dialogs, DesktopShell& shell, ProgramActionsSetup setup)
    : ProgramActions(list, settings, pump, dialogs, shell, std::move(setup)),
      search_(list, pump, [this](int row) { RunOrLocateProgram(row); }) {
    rebuildSearchImages = [this] { search_.BuildSearchImages(); };
}

}  // namespace box
