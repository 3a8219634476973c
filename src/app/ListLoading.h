#pragma once
// Where the window's list comes from while the box has no catalog fetch of its
// own: the catalog file named by SOFTBOX_CATALOG_FILE, else the offline copy
// "\汀芷·软件列表.ini" in the box folder.

#include <filesystem>
#include <functional>

#include "app/ProgramRow.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"

namespace box {

class SettingsStore;

// Environment variable naming a catalog file (a path on disk) to use instead
// of the offline copy.
inline constexpr const char* kCatalogFileVariable = "SOFTBOX_CATALOG_FILE";

// The path of the offline catalog copy in the given box folder.
std::filesystem::path OfflineCatalogPath(const std::filesystem::path& boxFolder);

// The catalog text: the file named by SOFTBOX_CATALOG_FILE when the variable
// is set and not empty, else the offline copy. Read as ReadFileText reads:
// bytes up to the first zero byte; "" when missing, unreadable or empty.
Text ReadLocalCatalog(const std::filesystem::path& boxFolder);

// Builds the list from the local catalog (ReadLocalCatalog) and puts it in
// the user's order; this is where the catalog fetch will plug in. Without a
// catalog it says that the catalog could not be loaded; without a program in
// it the parser says so. Either way it returns false: the box cannot go on.
// boxDownloadSource receives "下载源" of section "盒子".
bool LoadLocalCatalog(const std::filesystem::path& boxFolder, SettingsStore& settings,
                      ProgramList& list, EventPump& pump, Dialogs& dialogs,
                      Text& boxDownloadSource);

// The list's bottom edge: top + height of the last row's tutorial button; 0
// for an empty list.
int ListBottom(const ProgramList& list);

}  // namespace box
