#pragma once
// What the main window's controls ask the box to do. The window only decides
// which handler a mouse action reaches; the program actions, the search and
// the download queue override the handlers. The defaults do nothing.

#include "support/Text.h"

namespace box {

// The header's pictures and links that open something.
enum class HeaderLink { Help, Contact, Homepage, Vip, Site };

class WindowActions {
public:
    virtual ~WindowActions() = default;

    // Hides the drop-down list of search hits.
    virtual void HideSearchResults() {}

    // Row actions. row is the index read from the control's tag; it may lie
    // outside the list when a tag is damaged, so handlers check it.
    virtual void RunProgram(int row, bool fromIcon) {}
    virtual void LocateProgram(int row, bool fromIcon) {}
    virtual void OpenHomepage(int row, bool fromIcon) {}
    virtual void MakeShortcut(int row) {}
    virtual void ToggleDownload(int row) {}
    virtual void DeleteProgram(int row) {}
    virtual void OpenTutorial(int row) {}

    // Header controls.
    virtual void OpenHeaderLink(HeaderLink link) {}
    virtual void DownloadAll() {}
    virtual void SearchTextChanged(const Text& text) {}
};

}  // namespace box
