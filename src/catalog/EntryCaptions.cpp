#include "catalog/EntryCaptions.h"

namespace box {

namespace {

constexpr std::size_t kNameWidth = 32;
constexpr std::size_t kActionWidth = 17;

}  // namespace

Text KindTag(int kind) {
    static const Text kFree = "[免]"_gbk;
    static const Text kGame = "[游]"_gbk;
    if (kind == 1) return kFree;
    if (kind == 2) return kGame;
    return {};
}

Text NameCaption(const CatalogEntry& entry) {
    static const Text kNotDownloadedPart = " (未下载)"_gbk;
    Text caption = PadToBytes(KindTag(entry.kind) + entry.name, kNameWidth);
    if (entry.installedVersion.empty()) return caption + kNotDownloadedPart;
    return caption + " v" + entry.installedVersion;
}

Text ActionCaption(const CatalogEntry& entry) {
    static const Text kDownload = "下载 v"_gbk;
    static const Text kUpgrade = "升级 v"_gbk;
    static const Text kLatest = "已是最新版本!"_gbk;
    const Text latest = entry.latestVersion.empty() ? Text("0.0.0.0") : entry.latestVersion;
    Text caption;
    switch (entry.status) {
        case kNotDownloaded:
            caption = kDownload + latest;
            break;
        case kUpdateAvailable:
            caption = kUpgrade + latest;
            break;
        default:
            caption = kLatest;
            break;
    }
    return PadToBytes(std::move(caption), kActionWidth);
}

}  // namespace box
