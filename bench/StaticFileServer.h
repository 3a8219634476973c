#pragma once
// Python's http.server on a folder, on a free loopback port: the static
// server the download benchmarks compare the box and curl against (the test
// servers read whole files into memory and would measure themselves).

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

extern char** environ;

namespace box::bench {

inline int FreeLoopbackPort() {
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

inline bool AcceptsConnections(int port) {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(s);
    return ok;
}

// Writes mib MiB of a fixed pattern to path.
inline void WritePatternFile(const std::filesystem::path& path, std::size_t mib) {
    std::ofstream out(path, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
    for (std::size_t i = 0; i < mib; ++i) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

class StaticFileServer {
public:
    explicit StaticFileServer(const std::filesystem::path& folder) : port_(FreeLoopbackPort()) {
        const std::string portText = std::to_string(port_);
        const std::string dirText = folder.string();
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
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pid_ > 0 && !AcceptsConnections(port_) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ready_ = pid_ > 0 && AcceptsConnections(port_);
    }
    ~StaticFileServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    StaticFileServer(const StaticFileServer&) = delete;
    StaticFileServer& operator=(const StaticFileServer&) = delete;

    bool ready() const { return ready_; }
    // path starts with "/".
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

private:
    int port_ = 0;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace box::bench
