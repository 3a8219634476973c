#pragma once
// What a program row shows: built once per catalog load, rewritten when the
// installed program changes.

#include <filesystem>

#include "catalog/ProgramRow.h"
#include "support/Text.h"

namespace box {

// Where a program lives: box folder \ name \ name.exe.
std::filesystem::path ProgramExecutablePath(const std::filesystem::path& boxFolder,
                                            const Text& name);

// "[免]" for kind 1, "[游]" for kind 2, else nothing.
Text KindTag(int kind);

// Tag and name filled with blanks to 32 bytes, then " v" + installed version,
// or " (未下载)" when nothing is installed.
Text NameCaption(const CatalogEntry& entry);

// "下载 v" + latest (status 0), "升级 v" + latest (status 1) or "已是最新版本!"
// (status 2), filled with blanks to 17 bytes; latest is "0.0.0.0" when the
// catalog gives none.
Text ActionCaption(const CatalogEntry& entry);

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
