#include "app/CatalogLoader.h"

#include "app/CatalogRows.h"
#include "app/DesktopShortcut.h"
#include "app/ListLoading.h"
#include "app/SortOrder.h"
#include "net/HttpRequest.h"
#include "settings/SettingsStore.h"
#include "support/FileText.h"

namespace box {

namespace {

const Text& BasicSection() {
    static const Text kSection = "基本配置"_gbk;
    return kSection;
}

// Fetches the catalog, up to kCatalogAttempts times; "" when every attempt
// failed. The wait follows every failed attempt, the last one too.
Text FetchWithRetries(const CatalogLoadSetup& setup, CatalogLoadServices& services) {
    for (int attempt = 1; attempt <= kCatalogAttempts; ++attempt) {
        Text text = services.fetch ? services.fetch(setup.catalogUrl) : Text{};
        if (!text.empty()) return text;
        WaitWithEvents(services.pump, kCatalogRetryWaitMs);
    }
    return {};
}

void OfferDesktopShortcuts(const CatalogLoadSetup& setup, CatalogLoadServices& services) {
    static const Text kNotFirstUse = "非首次使用"_gbk;
    static const Text kOffer =
        "是否在桌面创建本盒子的快捷方式文件？（本提示仅出现一次）\r\n\r\n点【是】将创建 2 "
        "个快捷方式文件：‘汀芷·软件盒子.lnk’和‘离线模式启动盒子.lnk’\r\n\r\n关于离线模式使用盒子，"
        "具体请参考盒子目录下的‘如何让盒子使用离线模式.txt’\r\n\r\n点击【否】，后续你也可以自己创建"
        "快捷方式"_gbk;
    static const Text kOfflineLink = "离线模式启动盒子"_gbk;
    static const Text kBoxLink = "汀芷·软件盒子"_gbk;

    SettingsStore& settings = services.settings;
    settings.selectSection(BasicSection());
    if (settings.readBool(kNotFirstUse, false)) return;
    // Written before asking: whatever the answer, the offer is made once.
    settings.selectSection(BasicSection());
    settings.writeBool(kNotFirstUse, true);
    if (AskUser(services.dialogs, kOffer, kMbYesNo) != kButtonYes) return;
    const std::filesystem::path exe = setup.boxFolder / setup.executableName;
    PutShortcutOnDesktop(setup.desktopFolder, kOfflineLink, exe, "lxms");
    PutShortcutOnDesktop(setup.desktopFolder, kBoxLink, exe);
}

void ShowVersionNotice(CatalogLoadServices& services) {
    static const Text kVersionKey = "v1.0.7.0"_gbk;
    static const Text kNotice =
        "1.0.7.0 版本可以按住Alt键再单击软件，就会自动在桌面创建该软件的快捷方式！"_gbk;
    SettingsStore& settings = services.settings;
    settings.selectSection(BasicSection());
    if (settings.readBool(kVersionKey, false)) return;
    settings.selectSection(BasicSection());
    settings.writeBool(kVersionKey, true);
    ShowPlainMessage(services.dialogs, kNotice, kMbOk);
}

}  // namespace

Text FetchCatalogText(HttpRequest& request, const Text& url) {
    Text text = request.FetchText(url);
    const int status = request.Status();
    if (status < 200 || status > 299) return {};
    return text;
}

Text OfflineCopyText(const Text& catalogText, const Text& downloadSource) {
    static const Text kKey = "下载源="_gbk;
    return ReplaceAll(catalogText, kKey + downloadSource, "");
}

CatalogLoadResult LoadCatalog(const CatalogLoadSetup& setup, CatalogLoadServices& services,
                              Text& boxDownloadSource) {
    static const Text kOfflineFallback =
        "加载远程配置文件失败！盒子将加载历史配置（离线模式）！"_gbk;
    static const Text kNoCatalog =
        "加载远程配置文件失败！请检查本软件是否被拦截网络访问！如果是，请添加信任，然后重新运行本软件！或咨询汀芷"_gbk;

    const std::filesystem::path offlineFile = OfflineCatalogPath(setup.boxFolder);
    const Text offlineText = ReadFileText(offlineFile);
    Text catalogText;
    bool fetchedFromServer = false;
    if (setup.offlineMode && !offlineText.empty()) {
        catalogText = offlineText;
    } else {
        catalogText = FetchWithRetries(setup, services);
        if (catalogText.empty()) {
            if (offlineText.empty()) {
                ShowPlainMessage(services.dialogs, kNoCatalog, kMbOk);
                return CatalogLoadResult::kEnded;
            }
            ShowPlainMessage(services.dialogs, kOfflineFallback, kMbOk);
            catalogText = offlineText;
        } else {
            fetchedFromServer = true;
        }
    }

    services.list.clear();
    services.list.Changed();

    bool ended = false;
    CatalogContext context{setup.boxFolder, services.settings, services.pump, services.dialogs, {}};
    context.hooks.exitBox = [&ended](int) { ended = true; };
    // A box that handed over to the update program shows no list and asks
    // nothing more: the first-run offer would be answered for a user who
    // never saw it.
    context.hooks.checkSelfUpdate = [&](const Text& latestVersion, Text& packageAddress,
                                        bool allowChoice) {
        if (!services.checkSelfUpdate ||
            !services.checkSelfUpdate(latestVersion, packageAddress, allowChoice)) {
            return false;
        }
        ended = true;
        return true;
    };
    context.hooks.packageSha256Read = services.packageSha256Read;
    context.hooks.downloadSourceRead = [&](const Text& source, int programCount) {
        // Only a text with programs replaces the copy: an error page or a
        // broken answer must not cost the user the next offline start.
        if (!fetchedFromServer || programCount == 0) return;
        const Text copy = OfflineCopyText(catalogText, source);
        if (services.saveOfflineCopy) {
            services.saveOfflineCopy(offlineFile, copy);
        } else {
            WriteFileText(offlineFile, copy);
        }
    };
    const int rows = ParseCatalogIntoList(catalogText, context, services.list, boxDownloadSource);
    if (ended || rows == 0) return CatalogLoadResult::kEnded;

    if (services.listShown) services.listShown();
    // The sort tells the view about the rows it moves; the rows as built are
    // on screen already.
    SortProgramList(services.list, services.settings, services.pump, services.rebuildSearchImages,
                    {}, services.downloadRunning);

    OfferDesktopShortcuts(setup, services);
    ShowVersionNotice(services);
    return CatalogLoadResult::kShown;
}

}  // namespace box
