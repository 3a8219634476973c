// Throughput of the HTTP client against curl, and of page decoding.
//
// FetchBytes downloads 256 MiB from a loopback server (Python's http.server
// on a temp folder, started here), and curl fetches the same URL into
// /dev/null in the same run; "ratio" is our throughput over curl's, and
// "faults" the page faults the fetching thread takes per download.

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
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <utility>

#include "net/Charset.h"
#include "net/HttpRequest.h"
#include "net/WebAccess.h"
#include "StaticFileServer.h"
#include "support/EventPump.h"

extern char** environ;

namespace box {
namespace {

constexpr std::size_t kBigFileSize = 256u * 1024 * 1024;

// One file of size bytes (a multiple of 1 MiB) in a temp folder, served.
class FileServer {
public:
    explicit FileServer(std::size_t size = kBigFileSize, std::string name = "big.bin")
        : name_(std::move(name)), dir_(MakeFolder(name_, size)), server_(dir_) {}
    ~FileServer() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    bool ready() const { return server_.ready(); }
    std::string Url() const { return server_.Url("/" + name_); }

private:
    static std::filesystem::path MakeFolder(const std::string& name, std::size_t size) {
        const auto dir = std::filesystem::temp_directory_path() /
                         ("softbox-bench-net-" + std::to_string(::getpid()) + "-" + name);
        std::filesystem::create_directories(dir);
        bench::WritePatternFile(dir / name, size >> 20);
        return dir;
    }

    std::string name_;
    std::filesystem::path dir_;
    bench::StaticFileServer server_;
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

long ThreadPageFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

// Times fetch (which returns the body) against curl into /dev/null on the
// same URL, alternating, after one untimed round each, so neither side pays
// for the server's first read of the file or the first large allocation of
// the process. Reports MiB/s of both and their ratio, and the page faults
// per fetch when countFaults.
template <typename Fetch>
void AgainstCurl(benchmark::State& state, const FileServer& server, std::size_t size, Fetch fetch,
                 bool countFaults = false) {
    if (!server.ready()) {
        state.SkipWithError("python3 -m http.server did not start");
        return;
    }
    const bool haveCurl = std::system("curl --version >/dev/null 2>&1") == 0;
    const std::string curlCommand = "curl -s -o /dev/null '" + server.Url() + "'";
    fetch();
    if (haveCurl && std::system(curlCommand.c_str()) != 0) {
        state.SkipWithError("curl failed");
        return;
    }
    double ours = 0;
    double theirs = 0;
    long faults = 0;
    for (auto _ : state) {
        const long faultsBefore = ThreadPageFaults();
        auto start = std::chrono::steady_clock::now();
        Bytes body = fetch();
        auto took = std::chrono::steady_clock::now() - start;
        faults += ThreadPageFaults() - faultsBefore;
        ours += Seconds(took);
        state.SetIterationTime(Seconds(took));
        if (body.size() != size) {
            state.SkipWithError("short body");
            return;
        }
        benchmark::DoNotOptimize(body.data());
        if (haveCurl) {
            start = std::chrono::steady_clock::now();
            int rc = std::system(curlCommand.c_str());
            theirs += Seconds(std::chrono::steady_clock::now() - start);
            if (rc != 0) {
                state.SkipWithError("curl failed");
                return;
            }
        }
    }
    const double mib = static_cast<double>(size) / (1024.0 * 1024.0);
    const double n = static_cast<double>(state.iterations());
    state.counters["MiB/s"] = mib * n / ours;
    if (countFaults) state.counters["faults"] = static_cast<double>(faults) / n;
    if (haveCurl) {
        state.counters["curl_MiB/s"] = mib * n / theirs;
        state.counters["ratio"] = theirs / ours;
    } else {
        state.SetLabel("curl not installed: no ratio");
    }
}

void BM_FetchBytes256MiB(benchmark::State& state) {
    static FileServer server;
    NullEventPump pump;
    HttpRequest request(pump);
    AgainstCurl(
        state, server, kBigFileSize, [&] { return request.FetchBytes(server.Url()); }, true);
}
BENCHMARK(BM_FetchBytes256MiB)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// WebAccess of a 50 MiB body (worker thread, the caller waiting with events)
// against curl into /dev/null, in the same run.
void BM_WebAccess50MiB(benchmark::State& state) {
    constexpr std::size_t kSize = 50u * 1024 * 1024;
    static FileServer server(kSize, "web.bin");
    NullEventPump pump;
    WebAccess web(pump);
    AgainstCurl(state, server, kSize, [&] { return web.Fetch(server.Url()); });
}
BENCHMARK(BM_WebAccess50MiB)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

// The floor under FetchBytes on this machine: storing 256 MiB in a fresh
// buffer the way a body arrives (512 KiB at a time), which curl's /dev/null
// run does not have to do.
void BM_StoreBody256MiB(benchmark::State& state) {
    const std::string slice(512 * 1024, 'x');
    for (auto _ : state) {
        Bytes body;
        body.reserve(kBigFileSize);
        for (std::size_t n = 0; n < kBigFileSize; n += slice.size()) {
            body.insert(body.end(), slice.begin(), slice.end());
        }
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kBigFileSize));
}
BENCHMARK(BM_StoreBody256MiB)->Iterations(5)->Unit(benchmark::kMillisecond);

std::string Utf8PageWithoutMarkOrMeta(std::size_t size) {
    std::string page = "<html><head><title>软件</title></head><body>\n";
    while (page.size() < size) {
        page += "<p class=\"row\">汀芷软件盒子 version 1.0.7 下载 <a href=\"/x\">链接</a></p>\n";
    }
    return page + "</body></html>";
}

void BM_DecodePageText5MB(benchmark::State& state) {
    const std::string page = Utf8PageWithoutMarkOrMeta(5 * 1000 * 1000);
    NullEventPump pump;
    for (auto _ : state) {
        int detected = 0;
        Text text = DecodePageText(page, kCharsetDetect, &detected, &pump);
        if (detected != kCharsetUtf8) {
            state.SkipWithError("not detected as UTF-8");
            return;
        }
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_DecodePageText5MB)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace box

BENCHMARK_MAIN();
