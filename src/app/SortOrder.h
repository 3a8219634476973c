#pragma once
// Puts the program list in the usage order and every row at its place.

#include <functional>

#include "app/ProgramRow.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

class SettingsStore;

// Counts one use of usedName (when given) in "软件排序_使用次数", then, unless
// a download is running (the download queue refers to rows by index),
// re-sorts the list by use count and official position, re-places every row,
// rewrites the rows' tags, tells the list when any of that changed a row, and
// calls rebuildSearchImages.
//
// downloadRunning is asked, not given: the sort lets events run while it
// reads the settings, and one of them may start a download. It is asked
// after the last of those; left empty, no download runs.
void SortProgramList(ProgramList& list, SettingsStore& settings, EventPump& pump,
                     const std::function<void()>& rebuildSearchImages, const Text& usedName = {},
                     const std::function<bool()>& downloadRunning = {});

// Puts every control of row `row` at its place for that index (an installed
// program's icon keeps its inset within the row) and writes the index into the
// seven tags. True when that changed anything.
bool PlaceRow(ProgramRow& r, int row);

}  // namespace box
