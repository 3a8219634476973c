#include "app/RowBuilder.h"

#include "app/ProgramIcon.h"
#include "catalog/EntryCaptions.h"
#include "catalog/InstalledProgram.h"

namespace box {

namespace {

void RewriteStatusControls(ProgramRow& r) {
    const CatalogEntry& e = r.entry;
    r.nameControl.caption = NameCaption(e);
    r.actionButton.caption = ActionCaption(e);
    if (e.status == kUpToDate) r.actionButton.enabled = false;
    r.deleteButton.enabled = e.status != kNotDownloaded;
}

}  // namespace

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
    const CatalogEntry& e = r.entry;
    const std::filesystem::path exe = RefreshEntryStatus(r.entry, boxFolder);
    RewriteStatusControls(r);
    if (enableAction && e.status != kUpToDate) r.actionButton.enabled = true;
    if (e.status != kNotDownloaded) ShowProgramIcon(exe, r.iconControl);
    list.Changed(row);
}

}  // namespace box
