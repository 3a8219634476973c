#include "app/SortOrder.h"

#include "app/RowBuilder.h"
#include "catalog/UsageOrder.h"

namespace box {

void PlaceRow(ProgramRow& r, int row) {
    // An installed program's icon sits inset in its row (BuildRow moved it in
    // by 3 pixels); it keeps that inset when the row moves, or it would end up
    // out of line with its name after every sort.
    const int iconInset = (r.iconControl.rect.top - r.nameControl.rect.top) -
                          (rowtemplate::kIcon.top - rowtemplate::kName.top);
    r.iconControl.rect.top = RowRect(rowtemplate::kIcon, row).top + iconInset;
    r.nameControl.rect.top = RowRect(rowtemplate::kName, row).top;
    r.actionButton.rect.top = RowRect(rowtemplate::kAction, row).top;
    r.progressControl.rect.top = RowRect(rowtemplate::kProgress, row).top;
    r.deleteButton.rect.top = RowRect(rowtemplate::kDelete, row).top;
    r.tutorialButton.rect.top = RowRect(rowtemplate::kTutorial, row).top;
    const Text tag = ToText(row);
    for (ControlState* c : {&r.iconControl, &r.nameControl, &r.actionButton, &r.hintControl,
                            &r.progressControl, &r.deleteButton, &r.tutorialButton}) {
        c->tag = tag;
    }
}

void SortProgramList(ProgramList& list, SettingsStore& settings, EventPump& pump,
                     const std::function<void()>& rebuildSearchImages, const Text& usedName,
                     const std::function<bool()>& downloadRunning) {
    // The download queue refers to rows by index: no sort may move them
    // while a download runs, whoever asks for it.
    auto downloading = [&] { return downloadRunning && downloadRunning(); };

    pump.ProcessPendingEvents();
    if (!usedName.empty()) CountProgramUse(settings, usedName);
    if (downloading()) return;

    // A handler that runs while the keys are read may run a program, which
    // counts it and sorts the list: that sort read newer counts than some of
    // ours and has put the rows in order, so ours gives way rather than undo
    // it with stale keys.
    const unsigned mine = list.startSort();
    const int n = list.size();
    const auto keys = ReadUsageKeys(settings, n, [&list](int i) -> const Text* {
        const ProgramRow* row = list.find(i);
        return row ? &row->entry.name : nullptr;
    });
    if (!keys) return;  // the list shrank while events ran
    // From here on no event runs until the rows are in place, so a download
    // that has not started by now starts after the move.
    if (list.sortsStarted() != mine || downloading()) return;
    // The list may have changed size while events ran; sort only if it still
    // holds the rows that were read.
    if (list.size() != n) return;
    const std::vector<int> order = UsageOrder(*keys);
    std::vector<ProgramRow> sorted;
    sorted.reserve(static_cast<std::size_t>(n));
    for (int from : order) sorted.push_back(std::move(*list.find(from)));
    for (int i = 1; i <= n; ++i) {
        ProgramRow& row = *list.find(i);
        row = std::move(sorted[static_cast<std::size_t>(i - 1)]);
        PlaceRow(row, i);
    }
    list.Changed(0);
    if (rebuildSearchImages) rebuildSearchImages();
}

}  // namespace box
