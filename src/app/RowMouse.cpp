#include "app/RowMouse.h"

#include <algorithm>
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

const ControlState* RowControl(const ProgramRow& row, RowPart part) {
    switch (part) {
        case RowPart::Icon:
            return &row.iconControl;
        case RowPart::Name:
            return &row.nameControl;
        case RowPart::Action:
            return &row.actionButton;
        case RowPart::Hint:
            return &row.hintControl;
        case RowPart::Progress:
            return &row.progressControl;
        case RowPart::Delete:
            return &row.deleteButton;
        case RowPart::Tutorial:
            return &row.tutorialButton;
        case RowPart::Panel:
            return nullptr;
    }
    return nullptr;
}

namespace {

bool Contains(const Rect& r, int x, int y) {
    return r.left <= x && x < r.left + r.width && r.top <= y && y < r.top + r.height;
}

// Hit-testing order within a row, topmost first; the hint is handled with
// its progress control.
constexpr RowPart kStackedParts[] = {RowPart::Progress, RowPart::Tutorial, RowPart::Delete,
                                     RowPart::Action,   RowPart::Name,     RowPart::Icon};

RowPart HitTestRow(const ProgramRow& row, int x, int y) {
    for (RowPart part : kStackedParts) {
        const ControlState& control = *RowControl(row, part);
        if (!control.visible || !Contains(control.rect, x, y)) continue;
        if (part == RowPart::Progress) {
            const ControlState& hint = row.hintControl;
            if (hint.visible && Contains(hint.rect, x - control.rect.left, y - control.rect.top)) {
                return RowPart::Hint;
            }
        }
        return part;
    }
    return RowPart::Panel;
}

Rect Unite(const Rect& a, const Rect& b) {
    if (a.width <= 0 || a.height <= 0) return b;
    if (b.width <= 0 || b.height <= 0) return a;
    const int left = std::min(a.left, b.left);
    const int top = std::min(a.top, b.top);
    const int right = std::max(a.left + a.width, b.left + b.width);
    const int bottom = std::max(a.top + a.height, b.top + b.height);
    return {left, top, right - left, bottom - top};
}

}  // namespace

RowHit HitTestRows(const ProgramList& list, int x, int y) {
    for (int i = list.size(); i >= 1; --i) {
        const RowPart part = HitTestRow(list.at(i), x, y);
        if (part != RowPart::Panel) return {i, part};
    }
    return {};
}

Rect RowBounds(const ProgramRow& row) {
    Rect bounds;
    for (RowPart part : kStackedParts) {
        const ControlState& control = *RowControl(row, part);
        if (control.visible) bounds = Unite(bounds, control.rect);
    }
    return bounds;
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
