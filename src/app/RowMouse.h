#pragma once
// The mouse table of a list row: which part of a row, which mouse event and
// which modifier keys lead to which action.

#include "app/WindowActions.h"
#include "app/ProgramRow.h"

namespace box {

// The parts of a row a mouse event can come from; Panel is the bare content
// panel between the rows.
enum class RowPart { Icon, Name, Action, Hint, Progress, Delete, Tutorial, Panel };

enum class MouseEventKind { LeftDown, LeftUp, RightDown, RightUp, Click };

// Modifier state as the mouse events report it.
inline constexpr int kModifierCtrl = 1;
inline constexpr int kModifierShift = 2;
inline constexpr int kModifierAlt = 4;

enum class RowAction {
    None,            // the event means nothing here
    HideSearchOnly,  // only hides the search hits
    Run,
    Locate,
    Homepage,
    Shortcut,
    Download,
    Delete,
    Tutorial,
};

RowAction RowMouseAction(RowPart part, MouseEventKind event, int modifiers);

// Looks the event up in the table and calls the handler, after hiding the
// search hits. The row is the decimal tag of the control. Returns the action.
RowAction DispatchRowMouse(WindowActions& actions, RowPart part, MouseEventKind event,
                           int modifiers, const Text& tag);

// The row index a tag stands for; 0 when the tag holds no number.
int RowFromTag(const Text& tag);

// The control of a row that a part stands for; null for the bare panel.
const ControlState* RowControl(const ProgramRow& row, RowPart part);

// What lies under a point of the content panel. index is the row's position
// in the list (0 over the bare panel); the control's tag names the row for the
// handlers.
struct RowHit {
    int index = 0;
    RowPart part = RowPart::Panel;
    bool operator==(const RowHit&) const = default;
};

// The topmost visible control at (x, y), in the order the controls are
// stacked: later rows over earlier ones, and within a row the progress
// control (with the hint inside it) over the tutorial, delete and action
// buttons, the name and the icon. Disabled controls count: they hide the
// panel beneath them.
RowHit HitTestRows(const ProgramList& list, int x, int y);

// The rectangle a row's visible controls cover together (the hint lies
// inside its progress control); empty when none is visible.
Rect RowBounds(const ProgramRow& row);

}  // namespace box
