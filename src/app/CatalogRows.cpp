#include "app/CatalogRows.h"

#include "app/RowBuilder.h"

namespace box {

int ParseCatalogIntoList(const Text& catalogText, const CatalogContext& context, ProgramList& list,
                         Text& boxDownloadSource) {
    CatalogContext rows = context;
    rows.hooks.programsListed = [&list](int count) {
        list.clear();
        list.resize(count);
    };
    rows.hooks.programRead = [&list, &context](int index, CatalogEntry entry) {
        BuildRow(list, index, std::move(entry), context.boxFolder);
    };
    rows.hooks.programsDone = [&list] { list.Changed(0); };
    return ParseCatalog(catalogText, rows, boxDownloadSource);
}

}  // namespace box
