#include "catalog/UsageOrder.h"

#include <algorithm>
#include <numeric>

#include "settings/SettingsStore.h"

namespace box {

namespace {

const Text& UseCountSection() {
    static const Text kUseCount = "软件排序_使用次数"_gbk;
    return kUseCount;
}

const Text& OfficialOrderSection() {
    static const Text kOfficialOrder = "软件排序_官方顺序"_gbk;
    return kOfficialOrder;
}

constexpr double kTolerance = 1e-7;

bool ComesBefore(const UsageKey& a, const UsageKey& b) {
    if (a.count > b.count + kTolerance) return true;
    const bool equalCounts = !(a.count < b.count - kTolerance) && !(a.count > b.count + kTolerance);
    return equalCounts && a.official < b.official - kTolerance;
}

}  // namespace

void CountProgramUse(SettingsStore& settings, const Text& name) {
    settings.selectSection(UseCountSection());
    const double count = settings.readNumber(name, 0);
    settings.selectSection(UseCountSection());
    settings.writeNumber(name, count + 1);
}

std::optional<std::vector<UsageKey>> ReadUsageKeys(SettingsStore& settings, int count,
                                                   const std::function<const Text*(int)>& nameAt) {
    // Copies: the reads let events run, and they may change the programs.
    std::vector<Text> names;
    names.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 1; i <= count; ++i) {
        const Text* current = nameAt(i);
        if (!current) return std::nullopt;
        names.push_back(*current);
    }
    // One pass of events per section read, not one per program and section.
    settings.selectSection(UseCountSection());
    const std::vector<double> counts = settings.readNumbers(names, 0);
    settings.selectSection(OfficialOrderSection());
    const std::vector<double> official = settings.readNumbers(names, 0);
    std::vector<UsageKey> keys(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) keys[i] = {counts[i], official[i]};
    return keys;
}

std::vector<int> UsageOrder(const std::vector<UsageKey>& keys) {
    // Insertion sort over positions: stable, and with the tolerance (which
    // makes "equal" non-transitive) it gives exactly the order that moving
    // the programs one by one would give.
    std::vector<int> order(keys.size());
    std::iota(order.begin(), order.end(), 1);
    for (std::size_t i = 1; i < order.size(); ++i) {
        for (std::size_t j = i; j > 0; --j) {
            const UsageKey& moving = keys[static_cast<std::size_t>(order[j] - 1)];
            const UsageKey& front = keys[static_cast<std::size_t>(order[j - 1] - 1)];
            if (!ComesBefore(moving, front)) break;
            std::swap(order[j], order[j - 1]);
        }
    }
    return order;
}

}  // namespace box
