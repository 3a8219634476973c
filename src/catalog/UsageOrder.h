#pragma once
// The order of the programs: most used first, then the catalog's order. Only
// the order itself; whoever shows the programs moves them.

#include <functional>
#include <optional>
#include <vector>

#include "support/Text.h"

namespace box {

class SettingsStore;

// Counts one use of the program in "软件排序_使用次数".
void CountProgramUse(SettingsStore& settings, const Text& name);

struct UsageKey {
    double count = 0;     // "软件排序_使用次数"
    double official = 0;  // "软件排序_官方顺序"
};

// Reads the keys of programs 1..count. nameAt gives each program's name
// (1-based), all of them before any key is read; nullptr means that the
// program is gone, and then so is the order: nullopt. The store lets events
// run once per section it reads, and a handler may select another section
// meanwhile, so each read selects its own; a handler that changes the
// programs is the caller's to notice.
std::optional<std::vector<UsageKey>> ReadUsageKeys(SettingsStore& settings, int count,
                                                   const std::function<const Text*(int)>& nameAt);

// The permutation that puts the programs in order: element k is the 1-based
// index of the program that goes to place k + 1. Counts decide, then the
// official position; programs equal in both keep their places.
std::vector<int> UsageOrder(const std::vector<UsageKey>& keys);

}  // namespace box
