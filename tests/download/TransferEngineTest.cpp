#include "download/TransferEngine.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "download/ResumeState.h"
#include "download/SaveName.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::Answer;
using test::LoopbackServer;
using test::RawHttpServer;

constexpr auto kHangGuard = std::chrono::seconds(60);

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 7919) >> 3);
    return s;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Blocks until the client closes its side (or the hang guard runs out).
void WaitForClientToLeave(int fd) {
    char buffer[512];
    const auto until = std::chrono::steady_clock::now() + kHangGuard;
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
}

// Serves connections one after another from a script: each step gets the
// socket and the request head, and does what a faulty server would (send
// part of a body, close early, stall). The last step repeats.
class ScriptedServer {
public:
    using Step = std::function<void(int fd, const std::string& head)>;

    explicit ScriptedServer(std::vector<Step> steps) : steps_(std::move(steps)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(listener_, 8) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
            port_ = ntohs(addr.sin_port);
        }
        thread_ = std::thread([this] { Run(); });
    }
    ~ScriptedServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> Heads() const {
        std::lock_guard lock(mutex_);
        return heads_;
    }

private:
    void Run() {
        std::size_t served = 0;
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) continue;
            std::string data;
            char buffer[4096];
            while (data.find("\r\n\r\n") == std::string::npos && !stop_) {
                pollfd c{client, POLLIN, 0};
                if (::poll(&c, 1, 100) <= 0) continue;
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                data.append(buffer, static_cast<std::size_t>(n));
            }
            {
                std::lock_guard lock(mutex_);
                heads_.push_back(data);
            }
            if (!steps_.empty()) steps_[std::min(served++, steps_.size() - 1)](client, data);
            ::close(client);
        }
    }

    std::vector<Step> steps_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> heads_;
};

// Just enough of an FTP server for one anonymous download at a time:
// passive mode, SIZE, REST and RETR over one control connection each.
class LoopbackFtpServer {
public:
    explicit LoopbackFtpServer(std::map<std::string, std::string> files)
        : files_(std::move(files)) {
        listener_ = Listen(port_);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackFtpServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::string Url(const std::string& name) const {
        return "ftp://127.0.0.1:" + std::to_string(port_) + "/" + name;
    }
    std::vector<std::string> Commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }

private:
    static int Listen(int& port) {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::listen(s, 4) == 0 &&
            ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
            port = ntohs(addr.sin_port);
        }
        return s;
    }
    // Accepts with the hang guard; -1 when nobody came.
    int AcceptOne(int listener) {
        const auto until = std::chrono::steady_clock::now() + kHangGuard;
        while (!stop_ && std::chrono::steady_clock::now() < until) {
            pollfd p{listener, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) return ::accept(listener, nullptr, nullptr);
        }
        return -1;
    }
    bool ReadLine(int fd, std::string& line) {
        line.clear();
        char c = 0;
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            if (::recv(fd, &c, 1, 0) != 1) return false;
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return true;
            }
            line += c;
        }
        return false;
    }
    void Run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) continue;
            const int control = ::accept(listener_, nullptr, nullptr);
            if (control >= 0) Serve(control);
        }
    }
    void Serve(int control) {
        SendAll(control, "220 ready\r\n");
        int passive = -1;
        std::int64_t rest = 0;
        std::string line;
        while (ReadLine(control, line)) {
            {
                std::lock_guard lock(mutex_);
                commands_.push_back(line);
            }
            const std::string verb = line.substr(0, line.find(' '));
            const std::string argument =
                line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
            if (verb == "USER") {
                SendAll(control, "331 password please\r\n");
            } else if (verb == "PASS") {
                SendAll(control, "230 welcome\r\n");
            } else if (verb == "PWD") {
                SendAll(control, "257 \"/\"\r\n");
            } else if (verb == "EPSV") {
                if (passive >= 0) ::close(passive);
                int port = 0;
                passive = Listen(port);
                SendAll(control, "229 Entering Extended Passive Mode (|||" + std::to_string(port) +
                                     "|)\r\n");
            } else if (verb == "TYPE" || verb == "CWD") {
                SendAll(control, "200 ok\r\n");
            } else if (verb == "SIZE") {
                auto file = files_.find(argument);
                SendAll(control, file == files_.end()
                                     ? std::string("550 no such file\r\n")
                                     : "213 " + std::to_string(file->second.size()) + "\r\n");
            } else if (verb == "REST") {
                rest = std::stoll(argument);
                SendAll(control, "350 restarting\r\n");
            } else if (verb == "RETR") {
                auto file = files_.find(argument);
                if (file == files_.end() || passive < 0) {
                    SendAll(control, "550 no such file\r\n");
                    continue;
                }
                SendAll(control, "150 sending\r\n");
                const int data = AcceptOne(passive);
                if (data >= 0) {
                    SendAll(data,
                            std::string_view(file->second).substr(static_cast<std::size_t>(rest)));
                    ::close(data);
                }
                ::close(passive);
                passive = -1;
                rest = 0;
                SendAll(control, "226 done\r\n");
            } else if (verb == "QUIT") {
                SendAll(control, "221 bye\r\n");
                break;
            } else {
                SendAll(control, "502 not here\r\n");
            }
        }
        if (passive >= 0) ::close(passive);
        ::close(control);
    }

    std::map<std::string, std::string> files_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
};

// The page cache's view of a file (Linux 6.5 and later); nullopt where the
// kernel has no such call.
struct PageCacheState {
    std::uint64_t cached = 0, dirty = 0, writeback = 0, evicted = 0, recentlyEvicted = 0;
};
std::optional<PageCacheState> PageCache(const fs::path& path) {
    constexpr long kCachestat = 451;  // the same number on every architecture
    struct Range {
        std::uint64_t offset = 0, length = 0;  // length 0: to the end
    } range;
    PageCacheState state;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const long rc = ::syscall(kCachestat, fd, &range, &state, 0);
    ::close(fd);
    if (rc != 0) return std::nullopt;
    return state;
}

struct Event {
    TransferTaskId task;
    int kind;
    std::int64_t data;
    fs::path file;  // the engine's file name when the event came
    bool operator==(const Event& o) const {
        return task == o.task && kind == o.kind && data == o.data;
    }
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
    return out << "{task " << e.task << ", kind " << e.kind << ", " << e.data << "}";
}

// Reconnects after 20 ms instead of 5 s, so the tests do not wait them out.
TransferEngineOptions QuickReconnects() {
    TransferEngineOptions options;
    options.reconnectDelayMs = 20;
    return options;
}

test::ServerOptions At(const std::string& address) {
    test::ServerOptions options;
    options.address = address;
    return options;
}

class TransferEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "softbox-engine-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        engine.Release();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }

    TaskParam Param(const std::string& url, const std::string& name = "a v1.2.rar") {
        TaskParam p;
        p.url = url;
        p.savePath = dir / name;
        p.stopWait = 30000;  // the stopped task is gone when Stop returns
        p.eventCallback = [this](TransferTaskId task, int kind, std::int64_t data) {
            Event e{task, kind, data, engine.FileName()};
            std::lock_guard lock(mutex);
            events.push_back(e);
            changed.notify_all();
            return 0;
        };
        return p;
    }

    std::vector<Event> Events() {
        std::lock_guard lock(mutex);
        return events;
    }
    bool WaitForEvents(std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kHangGuard, [&] { return events.size() >= count; });
    }
    bool WaitUntil(const std::function<bool()>& condition) {
        const auto until = std::chrono::steady_clock::now() + kHangGuard;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    bool WaitForEnd() {
        return WaitUntil([&] { return !engine.Running(); });
    }

    fs::path dir;
    TransferEngine engine{QuickReconnects()};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Event> events;
};

TEST_F(TransferEngineTest, DownloadsToTheFileAndReportsStartAndEnd) {
    LoopbackServer server;
    const std::string body = Pattern(300 * 1024);
    server.SetAnswer("/soft/a.rar", {200, body, "application/octet-stream"});

    const TransferTaskId id = engine.Start(Param(server.Url("/soft/a.rar")));
    ASSERT_NE(id, 0u);
    EXPECT_EQ(engine.CurrentTask(), id);
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());

    const auto seen = Events();
    ASSERT_EQ(seen.size(), 2u);
    const auto size = static_cast<std::int64_t>(body.size());
    EXPECT_EQ(seen[0], (Event{id, kTransferStarted, size, {}}));
    EXPECT_EQ(seen[1], (Event{id, kTransferFinished, size, {}}));
    EXPECT_EQ(seen[0].file, dir / "a v1.2.rar");
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), body);
    EXPECT_EQ(engine.Received(), size);
    EXPECT_EQ(engine.SinceLast(), size);
    EXPECT_EQ(engine.SinceLast(), 0);

    // The resume state tells the same story.
    const std::string state = engine.Snapshot();
    EXPECT_EQ(engine.Query(state, 1, 0), size);
    EXPECT_EQ(engine.Query(state, 2, 0), size);
    EXPECT_EQ(engine.Query(state, 3, 0), 1);
    EXPECT_EQ(engine.Query(state, 4, 1), 0);
    EXPECT_EQ(engine.Query(state, 5, 1), size);
    EXPECT_EQ(engine.Query(state, 6, 1), size);
    EXPECT_EQ(engine.Query(state, 6, 2), -1);
    EXPECT_EQ(engine.Query(state, 0, 0), -1);
    EXPECT_EQ(engine.Query(state, 7, 0), -1);
    EXPECT_EQ(engine.Query("", 2, 0), -1);
    EXPECT_EQ(engine.Query(state.substr(0, state.size() - 1), 2, 0), -1);
    EXPECT_EQ(engine.Query("SBXR\x01garbage", 2, 0), -1);
}

TEST_F(TransferEngineTest, SendsExactlyTheRequestLinesInTheirOrder) {
    RawHttpServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
    ASSERT_TRUE(server.ok());
    const std::string url = server.Url("/soft/dir/a v1.2.rar?x=1");
    ASSERT_NE(engine.Start(Param(url)), 0u);
    ASSERT_TRUE(server.WaitForHeads(1));
    ASSERT_TRUE(WaitForEnd());

    const std::string hostPort = url.substr(7, url.find('/', 7) - 7);
    EXPECT_EQ(server.Heads()[0],
              "GET /soft/dir/a%20v1.2.rar?x=1 HTTP/1.1\r\n"
              "Host: " +
                  hostPort +
                  "\r\n"
                  "Accept: */*\r\n"
                  "Referer: http://" +
                  hostPort +
                  "/soft/dir/\r\n"
                  "User-Agent: Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)\r\n"
                  "Range: bytes=0-\r\n"
                  "Pragma: no-cache\r\n"
                  "Cache-Control: no-cache\r\n"
                  "Connection: close\r\n"
                  "\r\n");
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), "ok");
}

TEST_F(TransferEngineTest, StoppedTransferResumesFromItsStateWithARange) {
    const std::string body = Pattern(200 * 1024);
    const std::size_t half = 64 * 1024;
    ScriptedServer server({
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\n\r\n" + body.substr(0, half));
            WaitForClientToLeave(fd);
        },
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                            std::to_string(half) + "-" + std::to_string(body.size() - 1) + "/" +
                            std::to_string(body.size()) + "\r\nContent-Length: " +
                            std::to_string(body.size() - half) + "\r\n\r\n" + body.substr(half));
        },
    });
    const TransferTaskId first = engine.Start(Param(server.Url("/a.rar")));
    ASSERT_TRUE(WaitUntil([&] { return engine.Received() == static_cast<std::int64_t>(half); }));
    std::string state;
    engine.Stop(&state);
    EXPECT_FALSE(engine.Running());
    EXPECT_EQ(engine.Query(state, 1, 0), static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(engine.Query(state, 2, 0), static_cast<std::int64_t>(half));
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), body.substr(0, half));
    // The stopped task still ends the transfer for its caller.
    ASSERT_TRUE(WaitForEvents(2));
    EXPECT_EQ(Events()[1], (Event{first, kTransferFinished, static_cast<std::int64_t>(half), {}}));

    TaskParam resumed = Param(server.Url("/a.rar"));
    resumed.resumeState = state;
    const TransferTaskId second = engine.Start(resumed);
    ASSERT_TRUE(WaitForEvents(4));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_NE(server.Heads()[1].find("\r\nRange: bytes=" + std::to_string(half) + "-\r\n"),
              std::string::npos)
        << server.Heads()[1];
    const auto seen = Events();
    EXPECT_EQ(seen[2],
              (Event{second, kTransferStarted, static_cast<std::int64_t>(body.size()), {}}));
    EXPECT_EQ(seen[3],
              (Event{second, kTransferFinished, static_cast<std::int64_t>(body.size()), {}}));
    EXPECT_EQ(seen[2].file, dir / "a v1.2.rar");  // the same file, not a renamed one
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), body);
    EXPECT_FALSE(fs::exists(dir / "a v1(1).2.rar"));
}

TEST_F(TransferEngineTest, DroppedConnectionIsResumedByTheEngineItself) {
    const std::string body = Pattern(150 * 1024);
    const std::size_t part = 50 * 1024;
    const std::string head200 =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    for (const bool serverHonoursRange : {true, false}) {
        SCOPED_TRACE(serverHonoursRange ? "206 for the rest" : "200 with the whole file again");
        events.clear();
        std::error_code ec;
        fs::remove(dir / "a.rar", ec);
        ScriptedServer server({
            [&](int fd, const std::string&) { SendAll(fd, head200 + body.substr(0, part)); },
            [&](int fd, const std::string&) {
                if (!serverHonoursRange) {
                    SendAll(fd, head200 + body);
                    return;
                }
                SendAll(fd, "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                                std::to_string(part) + "-" + std::to_string(body.size() - 1) + "/" +
                                std::to_string(body.size()) +
                                "\r\nContent-Length: " + std::to_string(body.size() - part) +
                                "\r\n\r\n" + body.substr(part));
            },
        });
        const TransferTaskId id = engine.Start(Param(server.Url("/a.rar"), "a.rar"));
        ASSERT_TRUE(WaitForEvents(2));
        ASSERT_TRUE(WaitForEnd());
        const auto size = static_cast<std::int64_t>(body.size());
        EXPECT_EQ(Events(), (std::vector<Event>{{id, kTransferStarted, size, {}},
                                                {id, kTransferFinished, size, {}}}));
        EXPECT_EQ(ReadAll(dir / "a.rar"), body);
        ASSERT_EQ(server.Heads().size(), 2u);
        EXPECT_NE(server.Heads()[1].find("\r\nRange: bytes=" + std::to_string(part) + "-\r\n"),
                  std::string::npos);
    }
}

TEST_F(TransferEngineTest, AConnectionClosedBeforeAnyAnswerIsTriedAgainQuietly) {
    ScriptedServer server({
        [](int, const std::string&) {},  // closes without a word
        [](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello");
        },
    });
    const TransferTaskId id = engine.Start(Param(server.Url("/a.rar")));
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Events(),
              (std::vector<Event>{{id, kTransferStarted, 5, {}}, {id, kTransferFinished, 5, {}}}));
    const auto heads = server.Heads();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(heads[0], heads[1]);
}

TEST_F(TransferEngineTest, TruncatedChunkedAnswerIsContinuedFromTheFirstMissingByte) {
    const std::string body = Pattern(40 * 1024);
    const std::size_t part = 10 * 1024;
    ScriptedServer server({
        [&](int fd, const std::string&) {
            std::ostringstream chunk;
            chunk << std::hex << part << "\r\n";
            // One whole chunk, then a second one cut short with no last chunk.
            SendAll(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + chunk.str() +
                            body.substr(0, part) + "\r\n" + chunk.str() + body.substr(part, 100));
        },
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                            std::to_string(part + 100) + "-" + std::to_string(body.size() - 1) +
                            "/" + std::to_string(body.size()) +
                            "\r\nContent-Length: " + std::to_string(body.size() - part - 100) +
                            "\r\n\r\n" + body.substr(part + 100));
        },
    });
    const TransferTaskId id = engine.Start(Param(server.Url("/a.rar")));
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    // Without a length the chunked answer announces 0; the file is whole all the same.
    EXPECT_EQ(Events()[0], (Event{id, kTransferStarted, 0, {}}));
    EXPECT_EQ(Events()[1],
              (Event{id, kTransferFinished, static_cast<std::int64_t>(body.size()), {}}));
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), body);
    EXPECT_NE(server.Heads()[1].find("Range: bytes=" + std::to_string(part + 100) + "-"),
              std::string::npos);
}

TEST_F(TransferEngineTest, SizesBeyondFourGigabytesKeepTheirValue) {
    const std::int64_t announced = (std::int64_t{1} << 32) + 5;
    ScriptedServer server({
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(announced) +
                            "\r\n\r\n" + Pattern(1000));
        },
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        },
    });
    const TransferTaskId id = engine.Start(Param(server.Url("/a.rar")));
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Events(), (std::vector<Event>{{id, kTransferStarted, announced, {}},
                                            {id, kTransferFinished, 1000, {}}}));
    EXPECT_EQ(engine.Query(engine.Snapshot(), 1, 0), announced);
}

TEST_F(TransferEngineTest, ASilentServerPastTheReceiveTimeOutIsLeftAndAskedAgain) {
    const std::string body = Pattern(80 * 1024);
    const std::size_t part = 30 * 1024;
    ScriptedServer server({
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\n\r\n" + body.substr(0, part));
            WaitForClientToLeave(fd);
        },
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 206 Partial Content\r\nContent-Length: " +
                            std::to_string(body.size() - part) + "\r\n\r\n" + body.substr(part));
        },
    });
    TaskParam param = Param(server.Url("/a.rar"));
    param.receiveTimeout = 200;
    ASSERT_NE(engine.Start(param), 0u);
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Events()[1].data, static_cast<std::int64_t>(body.size()));
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), body);
    ASSERT_EQ(server.Heads().size(), 2u);
    EXPECT_NE(server.Heads()[1].find("Range: bytes=" + std::to_string(part) + "-"),
              std::string::npos);
}

TEST_F(TransferEngineTest, AResumeStateWhoseFileIsGoneOrALinkStartsAfresh) {
    LoopbackServer server;
    const std::string body = Pattern(10 * 1024);
    server.SetAnswer("/a.rar", {200, body, "application/octet-stream"});
    ResumeState state;
    state.total = static_cast<std::int64_t>(body.size());
    state.received = 4096;
    state.segments = {{0, state.total, state.received}};
    state.file = dir / "a v1.2.rar";
    WriteAll(dir / "outside", "user's file");

    for (const char* planted : {"short", "link", "none"}) {
        SCOPED_TRACE(planted);
        events.clear();
        std::error_code ec;
        for (const char* name : {"a v1.2.rar", "a v1(1).2.rar"}) fs::remove(dir / name, ec);
        if (std::string(planted) == "short") WriteAll(dir / "a v1.2.rar", "abc");
        if (std::string(planted) == "link") fs::create_symlink(dir / "outside", dir / "a v1.2.rar");
        TaskParam param = Param(server.Url("/a.rar"));
        param.resumeState = SerializeResumeState(state);
        ASSERT_NE(engine.Start(param), 0u);
        ASSERT_TRUE(WaitForEvents(2));
        ASSERT_TRUE(WaitForEnd());
        EXPECT_EQ(server.LastRequest().Header("Range"), "bytes=0-");
        EXPECT_EQ(ReadAll(Events()[0].file), body);
        EXPECT_EQ(ReadAll(dir / "outside"), "user's file");
    }
}

TEST_F(TransferEngineTest, AnswersOtherThan200And206FailWithoutEventsOrFile) {
    LoopbackServer server;
    server.SetAnswer("/403", {403, "no"});
    server.SetAnswer("/416", {416, ""});
    server.SetAnswer("/500", {500, "oops"});
    server.SetAnswer("/303", {303, "", "text/html", {{"Location", "/ok"}}});
    server.SetAnswer("/302-nowhere", {302, ""});
    server.SetAnswer("/big-head", {200, "x", "text/html", {{"X-Filler", std::string(5000, 'f')}}});
    for (const char* path :
         {"/missing", "/403", "/416", "/500", "/303", "/302-nowhere", "/big-head"}) {
        SCOPED_TRACE(path);
        ASSERT_NE(engine.Start(Param(server.Url(path))), 0u);
        ASSERT_TRUE(WaitForEnd());
        EXPECT_TRUE(Events().empty());
        EXPECT_FALSE(fs::exists(dir / "a v1.2.rar"));
    }
    // No reconnects for answers: one request each.
    EXPECT_EQ(server.RequestCount(), 7u);
}

TEST_F(TransferEngineTest, RedirectsAreFollowedWithFreshHostAndReferer) {
    LoopbackServer target(At("127.0.0.2"));
    ASSERT_TRUE(target.ok());
    target.SetAnswer("/files/b.rar", {200, "archive", "application/octet-stream"});
    LoopbackServer server;
    server.SetAnswer("/go", {302, "", "text/html", {{"Location", "/moved/here"}}});
    server.SetAnswer("/moved/here",
                     {301, "", "text/html", {{"Location", target.Url("/files/b.rar")}}});
    server.SetAnswer("/loop", {302, "", "text/html", {{"Location", "/loop"}}});

    const TransferTaskId id = engine.Start(Param(server.Url("/go")));
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Events()[0], (Event{id, kTransferStarted, 7, {}}));
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), "archive");
    EXPECT_EQ(server.RequestCount(), 2u);
    const auto sent = target.LastRequest();
    EXPECT_EQ(sent.Header("Host"), "127.0.0.2:" + std::to_string(target.port()));
    EXPECT_EQ(sent.Header("Referer"), target.Url("/files/"));

    events.clear();
    ASSERT_NE(engine.Start(Param(server.Url("/loop"), "loop.rar")), 0u);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(Events().empty());
    EXPECT_EQ(server.RequestCount(), 2u + 11u);  // the first request and ten redirects
    EXPECT_FALSE(fs::exists(dir / "loop.rar"));
}

TEST_F(TransferEngineTest, ExistingFilesAreNeverOverwritten) {
    LoopbackServer server;
    server.SetAnswer("/a.rar", {200, "new", "application/octet-stream"});
    WriteAll(dir / "a v1.2.rar", "old");
    WriteAll(dir / "a v1(1).2.rar", "older");
    WriteAll(dir / "outside", "user's file");
    fs::create_symlink(dir / "outside", dir / "a v1(2).2.rar");

    ASSERT_NE(engine.Start(Param(server.Url("/a.rar"))), 0u);
    ASSERT_TRUE(WaitForEvents(2));
    EXPECT_EQ(Events()[0].file, dir / "a v1(3).2.rar");
    EXPECT_EQ(engine.FileName(), dir / "a v1(3).2.rar");
    EXPECT_EQ(ReadAll(dir / "a v1(3).2.rar"), "new");
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), "old");
    EXPECT_EQ(ReadAll(dir / "a v1(1).2.rar"), "older");
    EXPECT_EQ(ReadAll(dir / "outside"), "user's file");
}

TEST_F(TransferEngineTest, AFinishedFileIsLeftToBackgroundWritebackLikeAnyOther) {
    // Writing a whole download out to disk when the file is closed held the
    // engine's thread most of a second per GiB; a file written the plain way
    // shows what "left to the kernel" looks like on this file system now.
    const std::string body = Pattern(4 * 1024 * 1024);
    WriteAll(dir / "plain.bin", body);
    const auto plain = PageCache(dir / "plain.bin");
    if (!plain) GTEST_SKIP() << "no cachestat in this kernel";
    if (plain->dirty == 0) GTEST_SKIP() << "this file system writes through";

    LoopbackServer server;
    server.SetAnswer("/a.rar", {200, body, "application/octet-stream"});
    ASSERT_NE(engine.Start(Param(server.Url("/a.rar"))), 0u);
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    ASSERT_EQ(ReadAll(dir / "a v1.2.rar"), body);
    const auto ours = PageCache(dir / "a v1.2.rar");
    ASSERT_TRUE(ours);
    EXPECT_GT(ours->dirty, 0u) << "writeback " << ours->writeback << " of " << ours->cached;
}

TEST(SaveNameTest, NumbersTheNameBeforeItsFirstDot) {
    EXPECT_EQ(NextSaveName("a v1.2.rar"), "a v1(1).2.rar");
    EXPECT_EQ(NextSaveName("a v1(1).2.rar"), "a v1(2).2.rar");
    EXPECT_EQ(NextSaveName("x(9).rar"), "x(10).rar");
    EXPECT_EQ(NextSaveName("x(98).rar"), "x(99).rar");
    EXPECT_EQ(NextSaveName("x(99).rar"), std::nullopt);
    EXPECT_EQ(NextSaveName("x(100).rar"), "x(100)(1).rar");
    EXPECT_EQ(NextSaveName("x().rar"), "x()(1).rar");
    EXPECT_EQ(NextSaveName("noext"), "noext(1)");
    EXPECT_EQ(NextSaveName(".rar"), "(1).rar");
    EXPECT_EQ(NextSaveName("(4)"), "(5)");
}

TEST(SaveNameTest, GivesUpAfterNinetyNineNumberedNames) {
    std::string pattern = (fs::temp_directory_path() / "softbox-names-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    WriteAll(dir / "a.rar", "");
    for (int n = 1; n <= 98; ++n) WriteAll(dir / ("a(" + std::to_string(n) + ").rar"), "");
    fs::path used;
    int fd = CreateSaveFile(dir / "a.rar", used);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(used, dir / "a(99).rar");
    if (fd >= 0) ::close(fd);
    EXPECT_EQ(CreateSaveFile(dir / "a.rar", used), -1);
    fs::remove_all(dir);
}

TEST_F(TransferEngineTest, AStoppedTasksLateEventsNeverReachTheCaller) {
    const std::string body = Pattern(100 * 1024);
    ScriptedServer server({
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 999999\r\n\r\n" + body);
            WaitForClientToLeave(fd);
        },
        [&](int fd, const std::string&) {
            SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                            "\r\n\r\n" + body);
        },
    });
    const TransferTaskId first = engine.Start(Param(server.Url("/a.rar")));
    ASSERT_TRUE(WaitForEvents(1));
    // A retry starts the next task while the first still runs: its finished
    // event comes after the switch and must be dropped.
    const TransferTaskId second = engine.Start(Param(server.Url("/a.rar"), "b.rar"));
    ASSERT_NE(second, first);
    ASSERT_TRUE(WaitForEvents(3));
    ASSERT_TRUE(WaitForEnd());
    const auto size = static_cast<std::int64_t>(body.size());
    EXPECT_EQ(Events(), (std::vector<Event>{{first, kTransferStarted, 999999, {}},
                                            {second, kTransferStarted, size, {}},
                                            {second, kTransferFinished, size, {}}}));
    EXPECT_EQ(engine.Received(), size);
    EXPECT_EQ(ReadAll(dir / "b.rar"), body);
}

TEST_F(TransferEngineTest, RefusedStartsReportNothing) {
    LoopbackServer server;
    server.SetAnswer("/a.rar", {200, "x"});
    ASSERT_NE(engine.Start(Param(server.Url("/a.rar"))), 0u);
    ASSERT_TRUE(WaitForEvents(2));
    events.clear();
    for (const char* url : {"mms://127.0.0.1/a.rar", "rtsp://127.0.0.1/a.rar", "", "   ",
                            "file:///etc/passwd", "127.0.0.1/a.rar", "gopher://127.0.0.1/"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(engine.Start(Param(url)), 0u);
        EXPECT_EQ(engine.CurrentTask(), 0u);
        EXPECT_FALSE(engine.Running());
        EXPECT_EQ(engine.Received(), 0);
        EXPECT_EQ(engine.Snapshot(), "");
    }
    EXPECT_EQ(engine.Start(Param(server.Url("/a.rar") + "\r\nX: y")), 0u);
    EXPECT_TRUE(Events().empty());
    engine.Release();
    EXPECT_EQ(engine.Start(Param(server.Url("/a.rar"))), 0u);
}

TEST_F(TransferEngineTest, HttpsWithTheConfiguredAuthority) {
    fs::create_directories(dir / "tls");
    auto tls = test::CreateTestTlsFiles(dir / "tls");
    if (!tls.ok()) GTEST_SKIP() << "openssl tool missing";
    test::ServerOptions options;
    options.certificate = tls.serverCertificate;
    options.privateKey = tls.serverKey;
    LoopbackServer server(options);
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/a.rar", {200, "secure", "application/octet-stream"});

    TransferEngineOptions trust;
    trust.caFile = tls.caCertificate.string();
    TransferEngine trusting(trust);
    TaskParam param = Param(server.Url("/a.rar"));
    std::vector<int> kinds;
    std::mutex kindsMutex;
    param.eventCallback = [&](TransferTaskId, int kind, std::int64_t) {
        std::lock_guard lock(kindsMutex);
        kinds.push_back(kind);
        return 0;
    };
    ASSERT_NE(trusting.Start(param), 0u);
    ASSERT_TRUE(WaitUntil([&] { return !trusting.Running(); }));
    EXPECT_EQ(kinds, (std::vector<int>{kTransferStarted, kTransferFinished}));
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), "secure");

    // Without the authority the server is not trusted: no start, no file.
    ASSERT_NE(engine.Start(Param(server.Url("/a.rar"), "b.rar")), 0u);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(Events().empty());
    EXPECT_FALSE(fs::exists(dir / "b.rar"));
}

TEST_F(TransferEngineTest, AFileSizeLimitFailsTheTaskNotTheProcess) {
    LoopbackServer server;
    const std::string body = Pattern(512 * 1024);
    server.SetAnswer("/a.rar", {200, body, "application/octet-stream"});
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limited = before;
    limited.rlim_cur = 100 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const TransferTaskId id = engine.Start(Param(server.Url("/a.rar")));
    const bool ended = WaitForEvents(2) && WaitForEnd();
    ::setrlimit(RLIMIT_FSIZE, &before);
    ASSERT_TRUE(ended);
    const auto seen = Events();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].task, id);
    EXPECT_EQ(seen[1].kind, kTransferFinished);
    EXPECT_LE(seen[1].data, 100 * 1024);
    EXPECT_LT(seen[1].data, seen[0].data);
    EXPECT_EQ(server.RequestCount(), 1u);  // a write fault is no connection fault
}

TEST_F(TransferEngineTest, FtpSourcesAreFetchedAnonymouslyInBinaryAndResumed) {
    const std::string body = Pattern(70 * 1024);
    LoopbackFtpServer server({{"a.rar", body}});
    const TransferTaskId id = engine.Start(Param(server.Url("a.rar")));
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    const auto size = static_cast<std::int64_t>(body.size());
    EXPECT_EQ(Events(), (std::vector<Event>{{id, kTransferStarted, size, {}},
                                            {id, kTransferFinished, size, {}}}));
    EXPECT_EQ(ReadAll(dir / "a v1.2.rar"), body);
    auto commands = server.Commands();
    auto sent = [&](const std::string& command) {
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    };
    EXPECT_TRUE(sent("USER anonymous"));
    EXPECT_TRUE(sent("PASS softbox@localhost"));
    EXPECT_TRUE(sent("TYPE I"));
    EXPECT_TRUE(sent("RETR a.rar"));

    // The first 20 KB are on disk: only the rest is asked for.
    WriteAll(dir / "b.rar", body.substr(0, 20480));
    ResumeState state;
    state.total = size;
    state.received = 20480;
    state.segments = {{0, size, 20480}};
    state.file = dir / "b.rar";
    TaskParam resumed = Param(server.Url("a.rar"), "b.rar");
    resumed.resumeState = SerializeResumeState(state);
    events.clear();
    ASSERT_NE(engine.Start(resumed), 0u);
    ASSERT_TRUE(WaitForEvents(2));
    ASSERT_TRUE(WaitForEnd());
    commands = server.Commands();
    EXPECT_TRUE(sent("REST 20480"));
    EXPECT_EQ(Events()[0].data, size);
    EXPECT_EQ(Events()[1].data, size);
    EXPECT_EQ(ReadAll(dir / "b.rar"), body);

    // A missing file fails at once, without a reconnect.
    events.clear();
    const std::size_t before = server.Commands().size();
    ASSERT_NE(engine.Start(Param(server.Url("gone.rar"), "c.rar")), 0u);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(Events().empty());
    EXPECT_FALSE(fs::exists(dir / "c.rar"));
    commands = server.Commands();
    EXPECT_EQ(std::count_if(commands.begin() + static_cast<std::ptrdiff_t>(before), commands.end(),
                            [](const std::string& c) { return c.rfind("USER", 0) == 0; }),
              1);
}

TEST(ResumeStateTest, RoundTripsAndRefusesDamage) {
    ResumeState state;
    state.total = 5'000'000'000;  // beyond 32 bits
    state.received = 123;
    state.segments = {{0, 5'000'000'000, 123}};
    state.url = "http://127.0.0.1/a b.rar";
    state.file = "/tmp/a v1.2.rar";
    const std::string bytes = SerializeResumeState(state);
    auto back = ParseResumeState(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->total, state.total);
    EXPECT_EQ(back->received, 123);
    EXPECT_EQ(back->url, state.url);
    EXPECT_EQ(back->file, state.file);
    EXPECT_EQ(QueryResumeState(bytes, 1, 0), 5'000'000'000);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_FALSE(ParseResumeState(bytes.substr(0, cut))) << cut;
    }
    EXPECT_FALSE(ParseResumeState(bytes + "x"));
    ResumeState wrong = state;
    wrong.received = wrong.total + 1;
    EXPECT_FALSE(ParseResumeState(SerializeResumeState(wrong)));
}

}  // namespace
}  // namespace box
