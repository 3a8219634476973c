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
#include "support/EventPump.h"

extern char** environ;

namespace box {
namespace {

constexpr std::size_t kBigFileSize = 256u * 1024 * 1024;

int FreeLoopbackPort() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(s);
    return port;
}

bool Accepts(int port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

// A static file server on a temp folder holding one file of size bytes (a
// multiple of 1 MiB).
class FileServer {
public:
    explicit FileServer(std::size_t size = kBigFileSize, std::string name = "big.bin")
        : name_(std::move(name)) {
        dir_ = std::filesystem::temp_directory_path() /
               ("softbox-bench-net-" + std::to_string(::getpid()) + "-" + name_);
        std::filesystem::create_directories(dir_);
        {
            std::ofstream out(dir_ / name_, std::ios::binary);
            std::string block(1 << 20, '\0');
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
            for (std::size_t written = 0; written < size; written += block.size()) {
                out.write(block.data(), static_cast<std::streamsize>(block.size()));
            }
        }
        port_ = FreeLoopbackPort();
        std::string portText = std::to_string(port_);
        std::string dirText = dir_.string();
        const char* argv[] = {"python3", "-m",        "http.server", portText.c_str(),
                              "--bind",  "127.0.0.1", "--directory", dirText.c_str(),
                              nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawnp(&pid_, "python3", &actions, nullptr, const_cast<char**>(argv), environ) !=
            0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pid_ > 0 && !Accepts(port_) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ready_ = pid_ > 0 && Accepts(port_);
    }
    ~FileServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    bool ready() const { return ready_; }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/" + name_; }

private:
    std::string name_;
    std::filesystem::path dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

long ThreadPageFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt + usage.ru_majflt;
}

void BM_FetchBytes256MiB(benchmark::State& state) {
    static FileServer server;
    if (!server.ready()) {
        state.SkipWithError("python3 -m http.server did not start");
        return;
    }
    const bool haveCurl = std::system("curl --version >/dev/null 2>&1") == 0;
    const std::string curlCommand = "curl -s -o /dev/null '" + server.Url() + "'";
    NullEventPump pump;
    HttpRequest request(pump);
    // One untimed round each, so neither side pays for the server's first
    // read of the file or the first large allocation of the process.
    request.FetchBytes(server.Url());
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
        Bytes body = request.FetchBytes(server.Url());
        auto took = std::chrono::steady_clock::now() - start;
        faults += ThreadPageFaults() - faultsBefore;
        ours += Seconds(took);
        state.SetIterationTime(Seconds(took));
        if (body.size() != kBigFileSize) {
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
    const double mib = static_cast<double>(kBigFileSize) / (1024.0 * 1024.0);
    const double n = static_cast<double>(state.iterations());
    state.counters["MiB/s"] = mib * n / ours;
    state.counters["faults"] = static_cast<double>(faults) / n;
    if (haveCurl) {
        state.counters["curl_MiB/s"] = mib * n / theirs;
        state.counters["ratio"] = theirs / ours;
    } else {
        state.SetLabel("curl not installed: no ratio");
    }
}
BENCHMARK(BM_FetchBytes256MiB)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// WebAccess of a 50 MiB body (worker thread, the caller waiting with events)
// against curl into /dev/null, in the same run.
void BM_WebAccess50MiB(benchmark::State& state) {
    constexpr std::size_t kSize = 50u * 1024 * 1024;
    static FileServer server(kSize, "web.bin");
    if (!server.ready()) {
        state.SkipWithError("python3 -m http.server did not start");
        return;
    }
    const bool haveCurl = std::system("curl --version >/dev/null 2>&1") == 0;
    const std::string curlCommand = "curl -s -o /dev/null '" + server.Url() + "'";
    NullEventPump pump;
    WebAccess web(pump);
    web.Fetch(server.Url());
    if (haveCurl && std::system(curlCommand.c_str()) != 0) {
        state.SkipWithError("curl failed");
        return;
    }
    double ours = 0;
    double theirs = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        Bytes body = web.Fetch(server.Url());
        auto took = std::chrono::steady_clock::now() - start;
        ours += Seconds(took);
        state.SetIterationTime(Seconds(took));
        if (body.size() != kSize) {
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
    const double mib = static_cast<double>(kSize) / (1024.0 * 1024.0);
    const double n = static_cast<double>(state.iterations());
    state.counters["MiB/s"] = mib * n / ours;
    if (haveCurl) {
        state.counters["curl_MiB/s"] = mib * n / theirs;
        state.counters["ratio"] = theirs / ours;
    } else {
        state.SetLabel("curl not installed: no ratio");
    }
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
