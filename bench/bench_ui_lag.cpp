// How late the window's thread gets while the box downloads a 1 GiB program
// and unpacks it.
//
// The window's thread is played by this benchmark's main thread, without Qt:
// it runs a loop with a 10 ms probe timer and the queue's one-second download
// timer, and hands the queue an event pump that is the same loop. The probe's
// lateness (fire time minus due time, the queue's progress ticks included) is
// recorded while the bytes move ("download_lag_max_ms") and, separately, the
// longest time the loop was held by the tick that extracts
// ("extraction_stall_ms"): the extraction runs on the window's thread and
// blocks it by design. "idle_lag_max_ms" is the same loop's lateness over 3 s
// with nothing to do, for the machine's own noise. The transfer engine runs on
// a thread of its own; the machine's other load competes with both.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "StaticFileServer.h"
#include "PeWriter.h"
#include "RarWriter.h"
#include "TestDoubles.h"
#include "app/DownloadQueue.h"
#include "app/RowBuilder.h"
#include "catalog/InstalledProgram.h"
#include "download/ArchiveExtract.h"
#include "download/TransferEngine.h"

extern char** environ;

namespace box {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The window's message loop: a 10 ms probe timer and the download timer.
class ProbeLoop : public EventPump {
public:
    static constexpr auto kProbe = std::chrono::milliseconds(10);

    std::function<void()> downloadTick;
    std::function<bool()> downloading;  // whether lateness counts as the download's
    double downloadLagMaxMs = 0;
    double extractionStallMs = 0;
    long probes = 0;

    // Runs pending timers: what the window's loop does when it gets control.
    void ProcessPendingEvents() override {
        const auto now = Clock::now();
        if (now >= nextProbe_) {
            const double late = Ms(now - nextProbe_);
            if (downloading && downloading()) downloadLagMaxMs = std::max(downloadLagMaxMs, late);
            ++probes;
            nextProbe_ = now + kProbe;
        }
    }

    // The loop itself until done() holds.
    void Run(const std::function<bool()>& done, int tickPeriodMs) {
        nextProbe_ = Clock::now() + kProbe;
        auto nextTick = Clock::now() + std::chrono::milliseconds(tickPeriodMs);
        while (!done()) {
            const auto wake = std::min(nextProbe_, nextTick);
            std::this_thread::sleep_until(wake);
            ProcessPendingEvents();
            if (Clock::now() >= nextTick) {
                const bool wasDownloading = downloading && downloading();
                const auto start = Clock::now();
                downloadTick();
                const double held = Ms(Clock::now() - start);
                nextTick = Clock::now() + std::chrono::milliseconds(tickPeriodMs);
                // A progress tick holds the window like anything else the
                // download makes it do, so the probe behind it counts it. The
                // tick that finds the transfer ended extracts: its hold is
                // reported apart, and the probe starts afresh after it.
                if (!(wasDownloading && downloading())) {
                    extractionStallMs = std::max(extractionStallMs, held);
                    nextProbe_ = std::max(nextProbe_, Clock::now());
                }
            }
        }
    }

private:
    Clock::time_point nextProbe_;
};

void BM_UiLagDuring1GiBDownloadAndExtraction(benchmark::State& state) {
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * 1024 * 1024;
    test::TempDir dir;
    const std::string name = "汀芷·大程序";
    fs::create_directories(dir.path() / "served");
    const fs::path served = dir.path() / "served" / "big.rar";
    {
        std::string data(size, '\0');
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 >> 3);
        if (!test::WriteRar(served, test::RarFormat::kRar5,
                            {test::RarFile(name + "/" + name + ".exe",
                                           test::BuildPe(test::ProgramLayout("2.0.0.0"))),
                             test::RarFile(name + "/data.bin", std::move(data))})) {
            state.SkipWithError("cannot write the archive");
            return;
        }
    }
    bench::StaticFileServer server(dir.path() / "served");
    if (!server.ready()) {
        state.SkipWithError("server did not start");
        return;
    }

    double lag = 0, stall = 0, idleLag = 0;
    for (auto _ : state) {
        // The same loop for 3 s with nothing to do: the machine's own noise.
        {
            ProbeLoop idle;
            idle.downloadTick = [] {};
            idle.downloading = [] { return true; };
            const auto until = Clock::now() + std::chrono::seconds(3);
            idle.Run([&] { return Clock::now() >= until; }, DownloadQueue::kDownloadPeriodMs);
            idleLag = std::max(idleLag, idle.downloadLagMaxMs);
        }
        const fs::path box = dir.path() / "box";
        fs::create_directories(box);
        ProgramList list;
        list.resize(1);
        CatalogEntry entry;
        entry.name = Utf8ToGbk(name);
        entry.latestVersion = "2.0.0.0";
        entry.downloadUrl = server.Url("/big.rar");
        RefreshEntryStatus(entry, box);
        BuildRow(list, 1, entry, box);
        ProbeLoop loop;
        test::ScriptedDialogs dialogs;
        TransferEngine engine;
        EngineTransfer transfer(engine);
        DownloadServices services;
        services.extract = [&loop](const fs::path& archive) {
            return ExtractArchive(loop, archive, 1);
        };
        DownloadQueue queue(list, loop, dialogs, transfer, box, std::move(services));
        loop.downloadTick = [&] { queue.OnProgressTimer(); };
        loop.downloading = [&] { return engine.Running(); };
        const auto start = Clock::now();
        queue.OnRowActionClick(1);
        loop.Run([&] { return queue.timerPeriod() == 0 && queue.runningCount() == 0; },
                 DownloadQueue::kDownloadPeriodMs);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        engine.Release();
        if (list.at(1).entry.status != kUpToDate) {
            const std::string why =
                "the program was not installed: " + GbkToUtf8(list.at(1).hintControl.caption) +
                (dialogs.shown.empty() ? "" : " / " + GbkToUtf8(dialogs.shown.back().text));
            state.SkipWithError(why.c_str());
            return;
        }
        lag = std::max(lag, loop.downloadLagMaxMs);
        stall = std::max(stall, loop.extractionStallMs);
        std::error_code ec;
        fs::remove_all(box, ec);
    }
    state.counters["idle_lag_max_ms"] = idleLag;
    state.counters["download_lag_max_ms"] = lag;
    state.counters["extraction_stall_ms"] = stall;
}
BENCHMARK(BM_UiLagDuring1GiBDownloadAndExtraction)
    ->Arg(1024)
    ->UseManualTime()
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace box

BENCHMARK_MAIN();
