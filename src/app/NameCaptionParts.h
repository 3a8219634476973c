#pragma once
// How a row's name caption is drawn. The caption is built by bytes: tag and
// name filled with blanks to 32 bytes, then the installed version, which lines
// the versions up only where every byte is equally wide. The list draws the
// tag and name with the font's own widths instead, and starts what follows the
// fill at a fixed column.

#include "catalog/CatalogEntry.h"

namespace box {

// Bytes of the name's blank fill; the fixed column lies this many byte
// columns into the name control.
inline constexpr std::size_t kNameFillBytes = 32;

struct NameCaptionParts {
    Text name;  // tag and name, without the fill
    Text rest;  // what follows the fill: " v" + version or " (未下载)"
    bool operator==(const NameCaptionParts&) const = default;
};

// Splits a caption built for the entry. A caption that is not the entry's tag
// and name followed by its fill (rewritten by other code) comes back whole as
// the name.
NameCaptionParts SplitNameCaption(const Text& caption, const CatalogEntry& entry);

}  // namespace box
