// Extraction of a program archive against bsdtar (libarchive's own tool) on
// the same archive in the same run.
//
// Big: a stored RAR of 200 MiB in four files. Tree: 5,000 files of 1 KiB in
// 50 folders. Each iteration extracts into the archive's folder over the
// previous iteration's files, as a second install of the same program does.
// "ratio" in the ExtractArchive rows is bsdtar's time over ours (above 1.0:
// we are faster); it needs the bsdtar rows of the same run, so run all rows.

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "RarWriter.h"
#include "download/ArchiveExtract.h"
#include "support/EventPump.h"

extern char** environ;

namespace box {
namespace {

namespace fs = std::filesystem;
using test::RarEntry;
using test::RarFormat;

struct Fixture {
    fs::path folder;
    fs::path archive;
};

std::vector<RarEntry> BigEntries() {
    std::vector<RarEntry> entries = {test::RarDirectory("大程序")};
    std::string data(50u << 20, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 2654435761u >> 24);
    for (int i = 0; i < 4; ++i) {
        entries.push_back(test::RarFile("大程序\\part" + std::to_string(i) + ".bin", data));
    }
    return entries;
}

std::vector<RarEntry> TreeEntries() {
    std::vector<RarEntry> entries;
    const std::string data(1024, 'x');
    for (int d = 0; d < 50; ++d) {
        const std::string dir = "树\\目录" + std::to_string(d);
        entries.push_back(test::RarDirectory(dir));
        for (int f = 0; f < 100; ++f) {
            entries.push_back(test::RarFile(dir + "\\文件" + std::to_string(f) + ".txt", data));
        }
    }
    return entries;
}

// The archives and what was extracted from them are removed at exit.
struct Archives : std::map<std::string, Fixture> {
    ~Archives() {
        std::error_code ec;
        for (const auto& [key, f] : *this) fs::remove_all(f.folder, ec);
    }
};

// One archive per kind and format, written once per run.
const Fixture& Archive(const std::string& kind, RarFormat format) {
    static Archives made;
    const std::string key = kind + (format == RarFormat::kRar4 ? "4" : "5");
    auto it = made.find(key);
    if (it != made.end()) return it->second;
    Fixture f;
    f.folder = fs::temp_directory_path() / ("softbox-bench-extract-" + key);
    fs::remove_all(f.folder);
    fs::create_directories(f.folder);
    f.archive = f.folder / "程序 v1.0.rar";
    test::WriteRar(f.archive, format, kind == "big" ? BigEntries() : TreeEntries());
    return made.emplace(key, f).first->second;
}

// Seconds per extraction of each archive by bsdtar, for the ratio.
std::map<std::string, double>& BsdtarSeconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

bool RunBsdtar(const Fixture& f, RarFormat format) {
    const std::string archive = f.archive.string(), folder = f.folder.string();
    // The same name conversion as ours: GBK names of format 4 to UTF-8.
    setenv("LC_ALL", "C.UTF-8", 1);
    std::vector<const char*> argv = {"bsdtar", "-xf", archive.c_str(), "-C", folder.c_str()};
    if (format == RarFormat::kRar4) {
        argv.push_back("--options");
        argv.push_back("rar:hdrcharset=CP936");
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "bsdtar", nullptr, nullptr, const_cast<char* const*>(argv.data()),
                     environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_Bsdtar(benchmark::State& state, const std::string& kind, RarFormat format) {
    const Fixture& f = Archive(kind, format);
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!RunBsdtar(f, format))
            state.SkipWithError("bsdtar failed (is libarchive-tools installed?)");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    BsdtarSeconds()[f.archive.string()] = total / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(f.archive)));
}

void BM_ExtractArchive(benchmark::State& state, const std::string& kind, RarFormat format) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    const Fixture& f = Archive(kind, format);
    NullEventPump pump;
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!ExtractArchive(pump, f.archive, 1)) state.SkipWithError("extraction failed");
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double ours = total / static_cast<double>(state.iterations());
    const auto bsdtar = BsdtarSeconds().find(f.archive.string());
    if (bsdtar != BsdtarSeconds().end()) state.counters["ratio"] = bsdtar->second / ours;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fs::file_size(f.archive)));
}

BENCHMARK_CAPTURE(BM_Bsdtar, big_rar4, std::string("big"), RarFormat::kRar4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ExtractArchive, big_rar4, std::string("big"), RarFormat::kRar4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Bsdtar, big_rar5, std::string("big"), RarFormat::kRar5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ExtractArchive, big_rar5, std::string("big"), RarFormat::kRar5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Bsdtar, tree_rar4, std::string("tree"), RarFormat::kRar4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_ExtractArchive, tree_rar4, std::string("tree"), RarFormat::kRar4)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace box

BENCHMARK_MAIN();
