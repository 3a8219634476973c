// Catalog load with the maker's full catalog: 1,000 programs, all installed,
// each with a version resource and a usual icon group (16, 32, 48 pixels as
// DIB images, 256 as PNG). Measures the parse with row building (versions
// and icons read from the executables) in total and per row.

#include <benchmark/benchmark.h>

#include <memory>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/CatalogRows.h"
#include "app/ProgramIcon.h"
#include "app/RowBuilder.h"
#include "app/SortOrder.h"
#include "catalog/InstalledProgram.h"
#include "catalog/VersionInfo.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"

namespace {

using namespace box;

constexpr int kPrograms = 1000;

std::string ProgramName(int i) {
    return "汀芷·软件" + std::to_string(i);
}

IconPicture Gradient(int side, std::uint32_t base) {
    IconPicture p;
    p.width = p.height = side;
    p.argb.resize(static_cast<std::size_t>(side) * side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const bool edge = x < side / 8 || y < side / 8 || x >= side - side / 8;
            p.argb[static_cast<std::size_t>(y * side + x)] =
                edge ? 0 : 0xFF000000u | base | static_cast<std::uint32_t>((x * 255 / side) << 8);
        }
    }
    return p;
}

struct Box {
    test::TempDir dir;
    Text catalog;

    Box() {
        Text text = Utf8ToGbk("[盒子]\r\n最新版本=1.0.7.0\r\n下载地址=http://example.com/box.rar");
        for (int i = 1; i <= kPrograms; ++i) {
            const std::string name = ProgramName(i);
            test::PeLayout layout =
                test::ProgramLayout("1." + std::to_string(i % 7) + ".0.0", i % 2 == 0);
            layout.icons = {{Gradient(16, 0x200000), test::IconFormat::kDib8},
                            {Gradient(32, 0x400000), test::IconFormat::kDib32},
                            {Gradient(48, 0x600000), test::IconFormat::kDib32},
                            {Gradient(256, 0x800000), test::IconFormat::kPng}};
            test::InstallProgram(dir.path(), name, layout);
            text +=
                Utf8ToGbk("\r\n[" + name + "]\r\n最新版本=1.3.0.0\r\n软件主页=http://example.com/" +
                          std::to_string(i) + "\r\n下载地址=http://example.com/" +
                          std::to_string(i) + ".rar\r\n视频教程=http://v.example.com/" +
                          std::to_string(i) + "\r\n软件类型=" + std::to_string(i % 3));
        }
        catalog = text;
    }
};

Box& TheBox() {
    static Box box;
    return box;
}

void ParseFullCatalog(benchmark::State& state) {
    Box& box = TheBox();
    NullEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings(pump, dialogs);
    settings.open(JoinPath(box.dir.gbk(), Utf8ToGbk("汀芷·软件盒子.ini")));
    ProgramList list;
    CatalogContext context{box.dir.path(), settings, pump, dialogs, {}};
    Text source;
    for (auto _ : state) {
        const int rows = ParseCatalogIntoList(box.catalog, context, list, source);
        SortProgramList(list, settings, pump, {});
        if (rows != kPrograms || list.find(1)->entry.status != kUpdateAvailable) {
            state.SkipWithError("catalog not parsed as expected");
            break;
        }
    }
    state.counters["rows"] = kPrograms;
    state.counters["per_row"] = benchmark::Counter(
        static_cast<double>(kPrograms),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(ParseFullCatalog)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// A catalog load in an empty box folder, with the settings in a file as the
// box keeps them: the parse and the settings alone.
void ParseInEmptyFolder(benchmark::State& state, const Text& catalog, int programs) {
    test::TempDir empty;
    NullEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings(pump, dialogs);
    settings.open(JoinPath(empty.gbk(), Utf8ToGbk("汀芷·软件盒子.ini")));
    ProgramList list;
    CatalogContext context{empty.path(), settings, pump, dialogs, {}};
    Text source;
    // Every start but the first finds the official order in the settings
    // already and only rewrites its values.
    ParseCatalogIntoList(catalog, context, list, source);
    for (auto _ : state) {
        if (ParseCatalogIntoList(catalog, context, list, source) != programs ||
            list.find(programs)->entry.latestVersion.empty()) {
            state.SkipWithError("catalog not parsed as expected");
            break;
        }
    }
    state.counters["KB"] = static_cast<double>(catalog.size()) / 1024.0;
    state.counters["per_program"] = benchmark::Counter(
        static_cast<double>(programs),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void ParseFullCatalogNothingInstalled(benchmark::State& state) {
    ParseInEmptyFolder(state, TheBox().catalog, kPrograms);
}
BENCHMARK(ParseFullCatalogNothingInstalled)->Unit(benchmark::kMillisecond);

// Catalogs of small programs (four keys each). per_program shows how the
// load grows with the catalog; the official order that it writes into the
// settings counts in.
Text SmallProgramsCatalog(int programs) {
    Text text = Utf8ToGbk("[盒子]\r\n最新版本=1.0.7.0\r\n下载地址=http://example.com/box.rar");
    for (int i = 1; i <= programs; ++i) {
        text += Utf8ToGbk("\r\n[" + ProgramName(i) + "]\r\n最新版本=1." + std::to_string(i % 9) +
                          "\r\n下载地址=http://d/" + std::to_string(i) +
                          "\r\n软件主页=http://h/\r\n软件类型=" + std::to_string(i % 3));
    }
    return text;
}

// One program section whose keys follow 20,000 short lines that start like a
// header and never end like one, 400 KB in all.
Text HostileCatalog() {
    Text text = Utf8ToGbk("[盒子]\r\n最新版本=1.0.7.0\r\n[" + ProgramName(1) + "]");
    const std::string line = "\r\n[" + std::string(16, ']') + "x";
    while (text.size() + line.size() < 400 * 1024) text += line;
    text += Utf8ToGbk(
        "\r\n最新版本=1.3.0.0\r\n软件主页=http://h/\r\n下载地址=http://d/1"
        "\r\n是否打开=是\r\n视频教程=http://v/\r\n软件类型=1");
    return text;
}

void ParseSmallPrograms(benchmark::State& state) {
    const int programs = static_cast<int>(state.range(0));
    ParseInEmptyFolder(state, SmallProgramsCatalog(programs), programs);
}
BENCHMARK(ParseSmallPrograms)->Arg(1000)->Arg(8000)->Unit(benchmark::kMillisecond);

void ParseHostileCatalog(benchmark::State& state) {
    ParseInEmptyFolder(state, HostileCatalog(), 1);
}
BENCHMARK(ParseHostileCatalog)->Unit(benchmark::kMillisecond);

// The parts of one row, to see where the time goes.
void ReadOneVersion(benchmark::State& state) {
    const auto exe = ProgramExecutablePath(TheBox().dir.path(), Utf8ToGbk(ProgramName(500)));
    for (auto _ : state) benchmark::DoNotOptimize(ReadVersionInfo(exe));
}
BENCHMARK(ReadOneVersion)->Unit(benchmark::kMicrosecond);

void DrawOneIcon(benchmark::State& state) {
    const auto exe = ProgramExecutablePath(TheBox().dir.path(), Utf8ToGbk(ProgramName(500)));
    for (auto _ : state) benchmark::DoNotOptimize(ProgramIconBmp(exe));
}
BENCHMARK(DrawOneIcon)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
