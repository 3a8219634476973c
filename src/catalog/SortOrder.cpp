#include "catalog/SortOrder.h"

#include <numeric>

#include "catalog/RowBuilder.h"
#include "settings/SettingsStore.h"

namespace box {

namespace {

constexpr double kTolerance = 1e-7;

struct SortKey {
    double count;
    double official;
};

bool ComesBefore(const SortKey& a, const SortKey& b) {
    if (a.count > b.count + kTolerance) return true;
    const bool equalCounts = !(a.count < b.count - kTolerance) && !(a.count > b.count + kTolerance);
    return equalCounts && a.official < b.official - kTolerance;
}

}  // namespace

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
    static const Text kUseCount = "软件排序_使用次数"_gbk;
    static const Text kOfficialOrder = "软件排序_官方顺序"_gbk;
    // The download queue refers to rows by index: no sort may move them
    // while a download runs, whoever asks for it.
    auto downloading = [&] { return downloadRunning && downloadRunning(); };

    pump.ProcessPendingEvents();
    if (!usedName.empty()) {
        settings.selectSection(kUseCount);
        const double count = settings.readNumber(usedName, 0);
        settings.selectSection(kUseCount);
        settings.writeNumber(usedName, count + 1);
    }
    if (downloading()) return;

    // The keys are read once; the store lets events run while reading, and
    // a handler may select another section, so each read selects its own. A
    // handler may also run a program, which counts it and sorts the list:
    // that sort read newer counts than some of ours and has put the rows in
    // order, so ours gives way rather than undo it with stale keys.
    const unsigned mine = list.startSort();
    const int n = list.size();
    std::vector<SortKey> keys(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i) {
        const ProgramRow* row = list.find(i);
        if (!row) return;  // the list shrank while events ran
        const Text name = row->entry.name;
        settings.selectSection(kUseCount);
        keys[static_cast<std::size_t>(i - 1)].count = settings.readNumber(name, 0);
        settings.selectSection(kOfficialOrder);
        keys[static_cast<std::size_t>(i - 1)].official = settings.readNumber(name, 0);
    }
    // From here on no event runs until the rows are in place, so a download
    // that has not started by now starts after the move.
    if (list.sortsStarted() != mine || downloading()) return;
    // The list may have changed size while events ran; sort only if it still
    // holds the rows that were read.
    if (list.size() != n) return;
    // Insertion sort over positions: stable, and with the tolerance (which
    // makes "equal" non-transitive) it gives exactly the order that moving
    // the rows one by one would give.
    std::vector<int> order(static_cast<std::size_t>(n));
    std::iota(order.begin(), order.end(), 1);
    for (std::size_t i = 1; i < order.size(); ++i) {
        for (std::size_t j = i; j > 0; --j) {
            const SortKey& moving = keys[static_cast<std::size_t>(order[j] - 1)];
            const SortKey& front = keys[static_cast<std::size_t>(order[j - 1] - 1)];
            if (!ComesBefore(moving, front)) break;
            std::swap(order[j], order[j - 1]);
        }
    }
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
