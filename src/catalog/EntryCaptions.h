#pragma once
// The texts a program's row shows for its catalog entry. Built by bytes, as
// the rest of the box counts them.

#include "catalog/CatalogEntry.h"

namespace box {

// "[免]" for kind 1, "[游]" for kind 2, else nothing.
Text KindTag(int kind);

// Tag and name filled with blanks to 32 bytes, then " v" + installed version,
// or " (未下载)" when nothing is installed.
Text NameCaption(const CatalogEntry& entry);

// "下载 v" + latest (status 0), "升级 v" + latest (status 1) or "已是最新版本!"
// (status 2), filled with blanks to 17 bytes; latest is "0.0.0.0" when the
// catalog gives none.
Text ActionCaption(const CatalogEntry& entry);

}  // namespace box
