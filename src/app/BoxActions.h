#pragma once
// The window's handlers of the whole box: the program actions, and the
// search, whose hits run programs and which every row action hides.

#include "app/ProgramActions.h"
#include "app/SearchModel.h"

namespace box {

class BoxActions : public ProgramActions {
public:
    BoxActions(ProgramList& list, SettingsStore& settings, EventPump& pump, Dialogs& dialogs,
               DesktopShell& shell, ProgramActionsSetup setup);

    void HideSearchResults() override { search_.Hide(); }
    void SearchTextChanged(const Text& text) override { search_.TextChanged(text); }

    SearchModel& search() { return search_; }

private:
    SearchModel search_;
};

}  // namespace box
