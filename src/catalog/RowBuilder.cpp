#include "catalog/RowBuilder.h"

#include "catalog/ProgramIcon.h"
#include "catalog/VersionInfo.h"
#include "support/BoxFolder.h"

namespace box {

namespace {

constexpr std::size_t kNameWidth = 32;
constexpr std::size_t kActionWidth = 17;

void RewriteStatusControls(ProgramRow& r) {
    const CatalogEntry& e = r.entry;
    r.nameControl.caption = NameCaption(e);
    r.actionButton.caption = ActionCaption(e);
    if (e.status == kUpToDate) r.actionButton.enabled = false;
    r.deleteButton.enabled = e.status != kNotDownloaded;
}

}  // namespace

std::filesystem::path ProgramExecutablePath(const std::filesystem::path& boxFolder,
                                            const Text& name) {
    return JoinPath(boxFolder, JoinPath(name, name + ".exe"));
}

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

Rect RowRect(const Rect& t, int row) {
    return {t.left, t.top + (row - 1) * t.height, t.width, t.height};
}

void BuildRow(ProgramList& list, int row, CatalogEntry entry,
              const std::filesystem::path& boxFolder) {
    static const Text kDeleteCaption = "删除软件"_gbk;
    static const Text kTutorialCaption = "视频教程"_gbk;
    static const Text kNoTutorial = "暂无教程"_gbk;
    ProgramRow* slot = list.find(row);
    if (!slot) return;
    const Text tag = ToText(row);
    ProgramRow r;
    r.entry = std::move(entry);
    auto place = [&](ControlState& c, const Rect& t) {
        c.rect = RowRect(t, row);
        c.tag = tag;
    };
    place(r.iconControl, rowtemplate::kIcon);
    place(r.nameControl, rowtemplate::kName);
    place(r.actionButton, rowtemplate::kAction);
    place(r.deleteButton, rowtemplate::kDelete);
    place(r.tutorialButton, rowtemplate::kTutorial);
    place(r.progressControl, rowtemplate::kProgress);
    // The hint lives inside the progress control.
    r.hintControl.rect = {10, 0, rowtemplate::kHint.width, rowtemplate::kHint.height};
    r.hintControl.tag = tag;

    if (r.entry.status != kNotDownloaded) {
        Rect& icon = r.iconControl.rect;
        icon = {icon.left + 3, icon.top + 3, icon.width - 3, icon.height - 3};
        ShowProgramIcon(ProgramExecutablePath(boxFolder, r.entry.name), r.iconControl);
    }
    r.iconControl.visible = true;

    RewriteStatusControls(r);
    r.nameControl.visible = true;
    r.actionButton.visible = true;
    r.actionCaption = r.actionButton.caption;
    r.deleteButton.caption = kDeleteCaption;
    r.deleteButton.visible = true;

    r.tutorialButton.visible = true;
    r.tutorialButton.caption = kTutorialCaption;
    if (r.entry.tutorialUrl.empty()) {
        r.tutorialButton.caption = kNoTutorial;
        r.tutorialButton.enabled = false;
    }
    r.progressControl.visible = false;
    r.idle = 1;
    *slot = std::move(r);
}

void RefreshRowStatus(ProgramList& list, int row, const std::filesystem::path& boxFolder,
                      bool enableAction) {
    ProgramRow* found = list.find(row);
    if (!found) return;
    ProgramRow& r = *found;
    CatalogEntry& e = r.entry;
    const std::filesystem::path exe = ProgramExecutablePath(boxFolder, e.name);
    e.installedVersion = ReadVersionInfo(exe).fileVersion;
    e.status = CompareVersions(e.installedVersion, e.latestVersion);
    RewriteStatusControls(r);
    if (enableAction && e.status != kUpToDate) r.actionButton.enabled = true;
    if (e.status != kNotDownloaded) ShowProgramIcon(exe, r.iconControl);
    list.Changed(row);
}

}  // namespace box
