#include "app/NameCaptionParts.h"

#include <algorithm>

#include "catalog/EntryCaptions.h"

namespace box {

NameCaptionParts SplitNameCaption(const Text& caption, const CatalogEntry& entry) {
    const Text name = KindTag(entry.kind) + entry.name;
    const std::size_t fillEnd = std::max(kNameFillBytes, name.size());
    const bool built = caption.size() >= fillEnd && caption.compare(0, name.size(), name) == 0 &&
                       caption.find_first_not_of(' ', name.size()) >= fillEnd;
    if (!built) return {caption, {}};
    return {name, caption.substr(fillEnd)};
}

}  // namespace box
