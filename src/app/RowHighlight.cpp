#include "app/RowHighlight.h"

namespace box {

void HighlightRow(ProgramList& list, int row) {
    for (int i = 1; i <= list.size(); ++i) {
        ControlState& name = list.at(i).nameControl;
        const bool hovered = i == row;
        const unsigned target = hovered ? kHoveredNameColor : kNameColor;
        if (name.textColor == target) continue;
        name.textColor = target;
        name.emphasis = hovered;
        list.Changed(i);
    }
}

}  // namespace box
