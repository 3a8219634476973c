// Download-all of 50 small programs from the demo server through the queue,
// the worker, the transfer engine and the extraction, against the sum of the
// same 50 fetches by `curl -s -o FILE` (each its own process, as a user
// fetching them by hand would run it).
//
// The download timer is ticked as soon as a transfer has ended instead of once
// a second, so the figure is the queue's own cost; the box's one-second timer
// adds up to a second per program on top. "ratio" is curl's summed time over
// ours (above 1: faster); curl does not extract.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "DemoServer.h"
#include "TestDoubles.h"
#include "app/DownloadQueue.h"
#include "app/RowBuilder.h"
#include "catalog/InstalledProgram.h"
#include "download/ArchiveExtract.h"
#include "download/TransferEngine.h"

namespace box {
namespace {

namespace fs = std::filesystem;
constexpr int kPrograms = 50;

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// One download-all into an empty box folder; the programs installed after it.
int DownloadAll(const demo::DemoServer& server, const fs::path& boxFolder) {
    ProgramList list;
    list.resize(kPrograms);
    for (const auto& program : demo::DemoPrograms(kPrograms)) {
        CatalogEntry entry;
        entry.name = Utf8ToGbk(program.name);
        entry.latestVersion = program.latestVersion;
        entry.downloadUrl = server.BaseUrl() + "/files/" + std::to_string(program.index) + ".rar";
        RefreshEntryStatus(entry, boxFolder);
        BuildRow(list, program.index, entry, boxFolder);
    }
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    TransferEngine engine;
    EngineTransfer transfer(engine);
    DownloadServices services;
    services.extract = [&pump](const fs::path& archive) {
        return ExtractArchive(pump, archive, 1);
    };
    DownloadQueue queue(list, pump, dialogs, transfer, boxFolder, std::move(services));
    queue.ToggleDownloadAll();
    const auto guard = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (queue.timerPeriod() != 0 || !queue.queue().empty()) {
        if (std::chrono::steady_clock::now() > guard) break;
        if (!engine.Running())
            queue.OnProgressTimer();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    engine.Release();
    int installed = 0;
    for (int row = 1; row <= kPrograms; ++row) installed += list.at(row).entry.status == kUpToDate;
    return installed;
}

void BM_DownloadAll50(benchmark::State& state) {
    demo::DemoServer server({.port = 0, .programs = kPrograms});
    if (!server.ok()) {
        state.SkipWithError("demo server did not start");
        return;
    }
    const bool haveCurl = std::system("curl --version >/dev/null 2>&1") == 0;
    test::TempDir scratch;
    double oursSeconds = 0;
    double curlSeconds = 0;
    int round = 0;
    for (auto _ : state) {
        const fs::path box = scratch.path() / ("box" + std::to_string(++round));
        fs::create_directories(box);
        auto start = std::chrono::steady_clock::now();
        const int installed = DownloadAll(server, box);
        const auto took = std::chrono::steady_clock::now() - start;
        oursSeconds += Seconds(took);
        state.SetIterationTime(Seconds(took));
        if (installed != kPrograms) {
            state.SkipWithError("not every program was installed");
            return;
        }
        if (haveCurl) {
            const fs::path out = scratch.path() / "curl.rar";
            for (int i = 1; i <= kPrograms; ++i) {
                const std::string command = "curl -s -o '" + out.string() + "' '" +
                                            server.BaseUrl() + "/files/" + std::to_string(i) +
                                            ".rar'";
                start = std::chrono::steady_clock::now();
                const int rc = std::system(command.c_str());
                curlSeconds += Seconds(std::chrono::steady_clock::now() - start);
                if (rc != 0) {
                    state.SkipWithError("curl failed");
                    return;
                }
            }
        }
        std::error_code ec;
        fs::remove_all(box, ec);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = oursSeconds * 1000.0 / n;
    if (haveCurl) {
        state.counters["curl_sum_ms"] = curlSeconds * 1000.0 / n;
        state.counters["ratio"] = curlSeconds / oursSeconds;
    } else {
        state.SetLabel("curl not installed: no ratio");
    }
}
BENCHMARK(BM_DownloadAll50)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace box

BENCHMARK_MAIN();
