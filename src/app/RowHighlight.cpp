#include "app/RowHighlight.h"

namespace box {

void HighlightRow(ProgramList& list, int row) {
    for (int i = 1; ProgramRow* r = list.find(i); ++i) {
        ControlState& name = r->nameControl;
        const bool hovered = i == row;
        const unsigned target = hovered ? kHoveredNameColor : kNameColor;
        if (name.textColor == target) continue;
        name.textColor = target;
        name.emphasis = hovered;
        list.Changed(i);
    }
}

}  // namespace box
