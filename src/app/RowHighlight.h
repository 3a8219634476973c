#pragma once
// Hover effect of the program list.

#include "app/ProgramRow.h"

namespace box {

inline constexpr unsigned kHoveredNameColor = 0xFF0090;
inline constexpr unsigned kNameColor = 0xFF0000;

// Highlights the row with the given index (0: none) and un-highlights all
// others. A name control is only written, and its row only reported as
// changed, when its colour differs from the target colour, so moving the
// mouse within one name does not redraw the list.
void HighlightRow(ProgramList& list, int row);

}  // namespace box
