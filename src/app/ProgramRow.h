#pragma once
// The program list as plain state: what each control of a row shows. The Qt
// view renders it; the core changes it and tells the list which row changed.

#include <functional>
#include <vector>

#include "catalog/CatalogEntry.h"

namespace box {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect&) const = default;
};

// Colours are 0x00BBGGRR.
struct ControlState {
    Rect rect;
    Text caption;
    Text tag;  // the row's 1-based index as decimal text
    bool enabled = true;
    bool visible = false;
    int progress = 0;               // progress control: 0..100
    unsigned textColor = 0xFF0000;  // name control
    bool emphasis = false;          // name control: hovered style on
    std::string iconBmp;            // icon control: BMP bytes; empty = template picture
};

struct ProgramRow {
    ControlState iconControl;
    ControlState nameControl;
    ControlState actionButton;
    ControlState hintControl;  // lives inside the progress control, at (10, 0)
    ControlState progressControl;
    ControlState deleteButton;
    ControlState tutorialButton;
    Text actionCaption;  // the action caption as built, with its blank fill
    int idle = 1;        // 0 while the row holds a download slot
    CatalogEntry entry;
};

// Rectangles of the row templates inside the content panel.
namespace rowtemplate {
inline constexpr Rect kIcon{8, 8, 26, 26};
inline constexpr Rect kName{40, 8, 344, 26};
inline constexpr Rect kAction{392, 8, 176, 26};
inline constexpr Rect kHint{591, 8, 329, 26};
inline constexpr Rect kProgress{579, 8, 357, 26};
inline constexpr Rect kDelete{584, 8, 104, 26};
inline constexpr Rect kTutorial{712, 8, 104, 26};
}  // namespace rowtemplate

// The rows, 1-based as the rest of the box counts them.
class ProgramList {
public:
    int size() const { return static_cast<int>(rows_.size()); }
    bool empty() const { return rows_.empty(); }
    // The row with that index, or nullptr. Row indices come from the
    // controls' tags, and a damaged tag must reach no row rather than throw.
    ProgramRow* find(long index) {
        if (index < 1 || index > size()) return nullptr;
        return &rows_[static_cast<std::size_t>(index - 1)];
    }
    const ProgramRow* find(long index) const {
        if (index < 1 || index > size()) return nullptr;
        return &rows_[static_cast<std::size_t>(index - 1)];
    }
    // Throws std::out_of_range outside 1..size(); for indices known to be
    // valid.
    ProgramRow& at(int index) { return rows_.at(static_cast<std::size_t>(index - 1)); }
    const ProgramRow& at(int index) const { return rows_.at(static_cast<std::size_t>(index - 1)); }
    void resize(int n) { rows_.resize(static_cast<std::size_t>(n)); }
    void clear() { rows_.clear(); }

    // Each sort counts itself here when it starts reading its keys, so that
    // it can tell whether another sort of this list began meanwhile.
    unsigned startSort() { return ++sortsStarted_; }
    unsigned sortsStarted() const { return sortsStarted_; }

    // Tells the view that row index (0: every row) changed.
    void Changed(int index = 0) const {
        if (onChanged) onChanged(index);
    }
    std::function<void(int)> onChanged;

private:
    std::vector<ProgramRow> rows_;
    unsigned sortsStarted_ = 0;
};

}  // namespace box
