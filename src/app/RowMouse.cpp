#include "app/RowMouse.h"

#include <cmath>
#include <limits>

namespace box {

RowAction RowMouseAction(RowPart part, MouseEventKind event, int modifiers) {
    switch (part) {
        case RowPart::Name:
            if (event == MouseEventKind::LeftDown) {
                if (modifiers == kModifierCtrl) return RowAction::Homepage;
                if (modifiers == kModifierAlt) return RowAction::Shortcut;
                return RowAction::Run;
            }
            if (event == MouseEventKind::RightUp) return RowAction::Locate;
            return RowAction::None;
        case RowPart::Icon:
            if (event == MouseEventKind::LeftDown) {
                return modifiers == kModifierCtrl ? RowAction::Homepage : RowAction::Run;
            }
            if (event == MouseEventKind::RightDown) return RowAction::Locate;
            return RowAction::None;
        case RowPart::Action:
            return event == MouseEventKind::Click ? RowAction::Download : RowAction::None;
        case RowPart::Delete:
            return event == MouseEventKind::Click ? RowAction::Delete : RowAction::None;
        case RowPart::Tutorial:
            return event == MouseEventKind::Click ? RowAction::Tutorial : RowAction::None;
        case RowPart::Hint:
        case RowPart::Progress:
        case RowPart::Panel:
            return event == MouseEventKind::LeftDown ? RowAction::HideSearchOnly : RowAction::None;
    }
    return RowAction::None;
}

int RowFromTag(const Text& tag) {
    double value = LeadingNumber(tag);
    if (!std::isfinite(value) || value < 0 || value > std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(value);
}

RowAction DispatchRowMouse(WindowActions& actions, RowPart part, MouseEventKind event,
                           int modifiers, const Text& tag) {
    const RowAction action = RowMouseAction(part, event, modifiers);
    if (action == RowAction::None) return action;
    actions.HideSearchResults();
    const int row = RowFromTag(tag);
    const bool fromIcon = part == RowPart::Icon;
    switch (action) {
        case RowAction::Run:
            actions.RunProgram(row, fromIcon);
            break;
        case RowAction::Locate:
            actions.LocateProgram(row, fromIcon);
            break;
        case RowAction::Homepage:
            actions.OpenHomepage(row, fromIcon);
            break;
        case RowAction::Shortcut:
            actions.MakeShortcut(row);
            break;
        case RowAction::Download:
            actions.ToggleDownload(row);
            break;
        case RowAction::Delete:
            actions.DeleteProgram(row);
            break;
        case RowAction::Tutorial:
            actions.OpenTutorial(row);
            break;
        case RowAction::None:
        case RowAction::HideSearchOnly:
            break;
    }
    return action;
}

}  // namespace box
