#include "app/ListLoading.h"

#include <cstdlib>

#include "app/CatalogRows.h"
#include "app/SortOrder.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {

std::filesystem::path OfflineCatalogPath(const std::filesystem::path& boxFolder) {
    static const Text kName = "汀芷·软件列表.ini"_gbk;
    return JoinPath(boxFolder, kName);
}

Text ReadLocalCatalog(const std::filesystem::path& boxFolder) {
    const char* named = std::getenv(kCatalogFileVariable);
    // A path given on the command line of a shell is in the locale's
    // encoding (UTF-8 here), not in the box's GBK: open it as it is.
    if (named && *named) return ReadFileText(std::filesystem::path(named));
    return ReadFileText(OfflineCatalogPath(boxFolder));
}

bool LoadLocalCatalog(const std::filesystem::path& boxFolder, SettingsStore& settings,
                      ProgramList& list, EventPump& pump, Dialogs& dialogs,
                      Text& boxDownloadSource) {
    static const Text kNoCatalog =
        "加载远程配置文件失败！请检查本软件是否被拦截网络访问！如果是，请添加信任，然后重新运行本软件！或咨询汀芷"_gbk;
    const Text text = ReadLocalCatalog(boxFolder);
    if (text.empty()) {
        list.clear();
        list.Changed();
        ShowPlainMessage(dialogs, kNoCatalog);
        return false;
    }
    bool ended = false;
    CatalogContext context{boxFolder, settings, pump, dialogs, {}};
    context.hooks.exitBox = [&ended](int) { ended = true; };
    const int rows = ParseCatalogIntoList(text, context, list, boxDownloadSource);
    if (ended || rows == 0) return false;
    SortProgramList(list, settings, pump, {});
    list.Changed();
    return true;
}

int ListBottom(const ProgramList& list) {
    const ProgramRow* last = list.find(list.size());
    if (!last) return 0;
    return last->tutorialButton.rect.top + last->tutorialButton.rect.height;
}

}  // namespace box
