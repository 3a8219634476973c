#include "app/SortOrder.h"

#include "app/RowBuilder.h"
#include "catalog/UsageOrder.h"

namespace box {

bool PlaceRow(ProgramRow& r, int row) {
    // An installed program's icon sits inset in its row (BuildRow moved it in
    // by 3 pixels); it keeps that inset when the row moves, or it would end up
    // out of line with its name after every sort.
    const int iconInset = (r.iconControl.rect.top - r.nameControl.rect.top) -
                          (rowtemplate::kIcon.top - rowtemplate::kName.top);
    bool changed = false;
    auto setTop = [&changed](ControlState& c, int top) {
        changed = changed || c.rect.top != top;
        c.rect.top = top;
    };
    setTop(r.iconControl, RowRect(rowtemplate::kIcon, row).top + iconInset);
    setTop(r.nameControl, RowRect(rowtemplate::kName, row).top);
    setTop(r.actionButton, RowRect(rowtemplate::kAction, row).top);
    setTop(r.progressControl, RowRect(rowtemplate::kProgress, row).top);
    setTop(r.deleteButton, RowRect(rowtemplate::kDelete, row).top);
    setTop(r.tutorialButton, RowRect(rowtemplate::kTutorial, row).top);
    const Text tag = ToText(row);
    for (ControlState* c : {&r.iconControl, &r.nameControl, &r.actionButton, &r.hintControl,
                            &r.progressControl, &r.deleteButton, &r.tutorialButton}) {
        if (c->tag == tag) continue;
        c->tag = tag;
        changed = true;
    }
    return changed;
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
    // The rows move in place, cycle by cycle: a row that keeps its place is
    // not touched, and no second list of rows is made (the usual start, with
    // no program used yet, moves nothing).
    std::vector<bool> placed(static_cast<std::size_t>(n), false);
    bool changed = false;
    for (int start = 1; start <= n; ++start) {
        if (placed[static_cast<std::size_t>(start - 1)]) continue;
        placed[static_cast<std::size_t>(start - 1)] = true;
        int from = order[static_cast<std::size_t>(start - 1)];
        if (from == start) continue;
        changed = true;
        ProgramRow held = std::move(*list.find(start));
        int to = start;
        while (from != start) {
            *list.find(to) = std::move(*list.find(from));
            to = from;
            placed[static_cast<std::size_t>(to - 1)] = true;
            from = order[static_cast<std::size_t>(to - 1)];
        }
        *list.find(to) = std::move(held);
    }
    for (int i = 1; i <= n; ++i) changed = PlaceRow(*list.find(i), i) || changed;
    // A sort that leaves every row as it was has nothing new to show.
    if (changed) list.Changed(0);
    if (rebuildSearchImages) rebuildSearchImages();
}

}  // namespace box
