// The transfer engine to disk against `curl -o FILE` on the same loopback URL
// in the same run.
//
// The file (256 MiB, and 1 GiB: the benchmark's argument is the size in MiB,
// e.g. --benchmark_filter=/1024) is served by Python's http.server from a temp folder; the
// engine writes it into another temp file, and curl writes the same URL to a
// file beside it. "ratio" is our throughput over curl's (above 1: faster),
// "peak_rss_MiB" the process's peak resident size after the engine's runs
// (curl runs as a child and is not counted).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "StaticFileServer.h"
#include "download/TransferEngine.h"

extern char** environ;

namespace box {
namespace {

namespace fs = std::filesystem;

// A served temp folder holding the files of the sizes asked for, and a
// second folder for the downloads.
class FileServer {
public:
    FileServer() : dir_(MakeFolders()), server_(dir_ / "served") {}
    ~FileServer() {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    bool ready() const { return server_.ready(); }
    // The URL of a file of mib MiB, written on first use.
    std::string Url(std::size_t mib) {
        const std::string name = "big-" + std::to_string(mib) + ".rar";
        const fs::path path = dir_ / "served" / name;
        std::error_code ec;
        if (!fs::exists(path, ec)) bench::WritePatternFile(path, mib);
        return server_.Url("/" + name);
    }
    void Remove(std::size_t mib) {
        std::error_code ec;
        fs::remove(dir_ / "served" / ("big-" + std::to_string(mib) + ".rar"), ec);
    }
    fs::path Out(const std::string& name) const { return dir_ / "out" / name; }

private:
    static fs::path MakeFolders() {
        const fs::path dir =
            fs::temp_directory_path() / ("softbox-bench-engine-" + std::to_string(::getpid()));
        fs::create_directories(dir / "served");
        fs::create_directories(dir / "out");
        return dir;
    }

    fs::path dir_;
    bench::StaticFileServer server_;
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// One engine download to the end; the bytes received, -1 when it never started.
std::int64_t EngineDownload(TransferEngine& engine, const std::string& url, const fs::path& file) {
    std::mutex mutex;
    std::condition_variable finished;
    std::int64_t received = -1;
    bool done = false;
    TaskParam param;
    param.url = url;
    param.savePath = file;
    param.eventCallback = [&](TransferTaskId, int kind, std::int64_t data) {
        if (kind == kTransferFinished) {
            std::lock_guard lock(mutex);
            received = data;
            done = true;
            finished.notify_all();
        }
        return 0;
    };
    if (engine.Start(param) == 0) return -1;
    std::unique_lock lock(mutex);
    finished.wait_for(lock, std::chrono::minutes(5), [&] { return done; });
    return received;
}

long PeakRssKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void BM_EngineToDisk(benchmark::State& state) {
    static FileServer server;
    const std::size_t mib = static_cast<std::size_t>(state.range(0));
    const std::size_t size = mib * 1024 * 1024;
    if (!server.ready()) {
        state.SkipWithError("python3 -m http.server did not start");
        return;
    }
    const bool haveCurl = std::system("curl --version >/dev/null 2>&1") == 0;
    const std::string url = server.Url(mib);
    const fs::path ours = server.Out("engine.rar");
    const fs::path theirs = server.Out("curl.rar");
    const std::string curlCommand = "curl -s -o '" + theirs.string() + "' '" + url + "'";
    TransferEngine engine;
    std::error_code ec;
    // One untimed round each, so neither side pays for the server's first
    // read of the file.
    EngineDownload(engine, url, ours);
    fs::remove(ours, ec);
    if (haveCurl && std::system(curlCommand.c_str()) != 0) {
        state.SkipWithError("curl failed");
        return;
    }
    fs::remove(theirs, ec);
    double oursSeconds = 0;
    double theirsSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const std::int64_t received = EngineDownload(engine, url, ours);
        auto took = std::chrono::steady_clock::now() - start;
        oursSeconds += Seconds(took);
        state.SetIterationTime(Seconds(took));
        if (received != static_cast<std::int64_t>(size) || fs::file_size(ours, ec) != size) {
            state.SkipWithError("short download");
            return;
        }
        fs::remove(ours, ec);
        if (haveCurl) {
            start = std::chrono::steady_clock::now();
            const int rc = std::system(curlCommand.c_str());
            theirsSeconds += Seconds(std::chrono::steady_clock::now() - start);
            if (rc != 0) {
                state.SkipWithError("curl failed");
                return;
            }
            fs::remove(theirs, ec);
        }
    }
    server.Remove(mib);
    const double n = static_cast<double>(state.iterations());
    state.counters["MiB/s"] = static_cast<double>(mib) * n / oursSeconds;
    state.counters["peak_rss_MiB"] = static_cast<double>(PeakRssKiB()) / 1024.0;
    if (haveCurl) {
        state.counters["curl_MiB/s"] = static_cast<double>(mib) * n / theirsSeconds;
        state.counters["ratio"] = theirsSeconds / oursSeconds;
    } else {
        state.SetLabel("curl not installed: no ratio");
    }
}
BENCHMARK(BM_EngineToDisk)->Arg(256)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineToDisk)
    ->Arg(1024)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace box

BENCHMARK_MAIN();
