// writeNumber and readNumber on a settings file as the box keeps it: 300
// programs in each of the two sort-order sections.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace {

using box::Text;
using box::operator""_gbk;

constexpr int kPrograms = 300;

class QuietDialogs : public box::Dialogs {
public:
    int ShowMessage(const Text&, unsigned, const Text&) override { return box::kButtonOk; }
};

struct SettingsFile {
    std::filesystem::path folder;
    Text path;
    std::vector<Text> programs;

    SettingsFile() {
        folder = std::filesystem::temp_directory_path() /
                 ("softbox-bench-" + std::to_string(std::random_device{}()));
        std::filesystem::create_directories(folder);
        path = box::JoinPath(box::FromFsPath(folder), "汀芷·软件盒子.ini"_gbk);
        Text text = "[基本配置]\r\n非首次使用=真\r\nv1.0.7.0=真"_gbk;
        for (int i = 1; i <= kPrograms; ++i) programs.push_back("汀芷·软件"_gbk + box::ToText(i));
        for (const Text& section : {"软件排序_官方顺序"_gbk, "软件排序_使用次数"_gbk}) {
            text += "\r\n[" + section + "]";
            for (int i = 0; i < kPrograms; ++i)
                text += "\r\n" + programs[i] + "=" + box::ToText(i + 1);
        }
        box::WriteFileBytes(path, text);
    }
    ~SettingsFile() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

struct OpenStore {
    SettingsFile file;
    box::NullEventPump pump;
    QuietDialogs dialogs;
    box::SettingsStore store{pump, dialogs};

    explicit OpenStore(const Text& section) {
        store.open(file.path);
        store.selectSection(section);
    }
};

void BM_WriteNumberOfficialOrder(benchmark::State& state) {
    OpenStore s("软件排序_官方顺序"_gbk);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            s.store.writeNumber(s.file.programs[i % kPrograms], i % kPrograms + 1));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteNumberOfficialOrder);

// Use counts grow, so values change length now and then and the rest of the
// file moves.
void BM_WriteNumberUseCount(benchmark::State& state) {
    OpenStore s("软件排序_使用次数"_gbk);
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(s.store.writeNumber(s.file.programs[i % kPrograms], i));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteNumberUseCount);

void BM_ReadNumber(benchmark::State& state) {
    OpenStore s("软件排序_使用次数"_gbk);
    int i = 0;
    double sum = 0;
    for (auto _ : state) {
        sum += s.store.readNumber(s.file.programs[i % kPrograms]);
        ++i;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadNumber);

}  // namespace

BENCHMARK_MAIN();
