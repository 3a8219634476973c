#pragma once
// The window's program list from the catalog text: one row per program the
// parser hands out, built as it hands it out.

#include "app/ProgramRow.h"
#include "catalog/CatalogParser.h"

namespace box {

// ParseCatalog with the list emptied first and then given one row per
// program, in catalog order; the view hears of the whole list once every row
// is built. The program hooks of context are the list's own here; its other
// hooks run as ParseCatalog runs them. Returns the number of rows built.
int ParseCatalogIntoList(const Text& catalogText, const CatalogContext& context, ProgramList& list,
                         Text& boxDownloadSource);

}  // namespace box
