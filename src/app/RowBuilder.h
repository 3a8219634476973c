#pragma once
// What a program row shows: built once per catalog load, rewritten when the
// installed program changes.

#include <filesystem>

#include "app/ProgramRow.h"
#include "support/Text.h"

namespace box {

// Rectangle of a row's control: the template moved down by (row - 1) of its
// own height.
Rect RowRect(const Rect& templateRect, int row);

// Builds row `row` (1-based) of the list for the entry, whose installedVersion
// and status are already set, and stores it there. The list must already
// hold that many rows.
void BuildRow(ProgramList& list, int row, CatalogEntry entry,
              const std::filesystem::path& boxFolder);

// Re-reads the row's executable and rewrites its status, name caption, action
// button, delete button and icon. With enableAction the action button is
// enabled unless the program is up to date. The saved actionCaption stays.
void RefreshRowStatus(ProgramList& list, int row, const std::filesystem::path& boxFolder,
                      bool enableAction = false);

}  // namespace box
