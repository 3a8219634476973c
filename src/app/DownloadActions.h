#pragma once
// The window's handlers with the downloads added: download clicks go to the
// queue, everything else to the actions it wraps.

#include "app/DownloadQueue.h"
#include "app/WindowActions.h"

namespace box {

class DownloadActions : public WindowActions {
public:
    DownloadActions(WindowActions& others, DownloadQueue& queue) : others_(others), queue_(queue) {}

    void ToggleDownload(int row) override { queue_.OnRowActionClick(row); }
    void DownloadAll() override { queue_.ToggleDownloadAll(); }

    void HideSearchResults() override { others_.HideSearchResults(); }
    void RunProgram(int row, bool fromIcon) override { others_.RunProgram(row, fromIcon); }
    void LocateProgram(int row, bool fromIcon) override { others_.LocateProgram(row, fromIcon); }
    void OpenHomepage(int row, bool fromIcon) override { others_.OpenHomepage(row, fromIcon); }
    void MakeShortcut(int row) override { others_.MakeShortcut(row); }
    void DeleteProgram(int row) override { others_.DeleteProgram(row); }
    void OpenTutorial(int row) override { others_.OpenTutorial(row); }
    void OpenHeaderLink(HeaderLink link) override { others_.OpenHeaderLink(link); }
    void SearchTextChanged(const Text& text) override { others_.SearchTextChanged(text); }

private:
    WindowActions& others_;
    DownloadQueue& queue_;
};

}  // namespace box
