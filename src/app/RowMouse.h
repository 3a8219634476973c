#pragma once
// The mouse table of a list row: which part of a row, which mouse event and
// which modifier keys lead to which action.

#include "app/WindowActions.h"

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

}  // namespace box
