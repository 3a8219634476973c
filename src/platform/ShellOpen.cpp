#include "platform/ShellOpen.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

extern char** environ;

namespace box {

namespace {

class SpawnSetup {
public:
    SpawnSetup() {
        ::posix_spawnattr_init(&attr_);
        ::posix_spawn_file_actions_init(&actions_);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions_);
        ::posix_spawnattr_destroy(&attr_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawnattr_t* attr() { return &attr_; }
    posix_spawn_file_actions_t* actions() { return &actions_; }

private:
    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t actions_{};
};

// Starts argv[0] (looked up in PATH) in a session of its own with stdin from
// /dev/null, and, when outputFd is given, its stdout into that descriptor.
std::optional<pid_t> Spawn(const std::vector<std::string>& args, int outputFd = -1) {
    if (args.empty() || args.front().empty()) return std::nullopt;
    SpawnSetup setup;
    // Its own session: the program outlives the box and no signal sent to
    // the box's terminal reaches it. stdin from /dev/null: it must not read
    // the box's.
    if (::posix_spawnattr_setflags(setup.attr(), POSIX_SPAWN_SETSID) != 0) return std::nullopt;
    if (::posix_spawn_file_actions_addopen(setup.actions(), STDIN_FILENO, "/dev/null", O_RDONLY,
                                           0) != 0) {
        return std::nullopt;
    }
    if (outputFd >= 0 &&
        ::posix_spawn_file_actions_adddup2(setup.actions(), outputFd, STDOUT_FILENO) != 0) {
        return std::nullopt;
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    // glibc reports a program that could not be run here, not as an exit
    // status later.
    if (::posix_spawnp(&pid, argv[0], setup.actions(), setup.attr(), argv.data(), environ) != 0) {
        return std::nullopt;
    }
    return pid;
}

int Reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

// Starts the program and reaps it in the background.
bool StartDetached(const std::vector<std::string>& args) {
    const std::optional<pid_t> pid = Spawn(args);
    if (!pid) return false;
    std::thread([pid = *pid] { Reap(pid); }).detach();
    return true;
}

struct RunResult {
    bool ok = false;  // ran and exited with status 0 in time
    std::string output;
};

// Runs the program to its end (at most timeout; then it is killed) and
// collects up to 64 KB of its stdout. For the quick helper programs of the
// desktop; called on background threads only.
RunResult RunCollecting(const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
    RunResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return result;
    const std::optional<pid_t> pid = Spawn(args, fds[1]);
    ::close(fds[1]);
    if (!pid) {
        ::close(fds[0]);
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool timedOut = false;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            timedOut = ready == 0;
            break;
        }
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (result.output.size() < 65536) result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    // The program ran in a session of its own: its group is its pid.
    if (timedOut) ::kill(-*pid, SIGKILL);
    const int status = Reap(*pid);
    result.ok = !timedOut && status >= 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    return line;
}

constexpr std::chrono::seconds kHelperTimeout{5};

bool IsWindowsExecutableType(const std::string& type) {
    return type == "application/x-ms-dos-executable" || type == "application/x-msdownload" ||
           type == "application/vnd.microsoft.portable-executable" ||
           type == "application/x-msdos-program" || type == "application/x-dosexec";
}

std::string SafeArgument(const std::string& text) {
    // A file name starting with '-' would be read as an option.
    return !text.empty() && text.front() == '-' ? "./" + text : text;
}

}  // namespace

bool OpenInShell(const std::string& urlOrUtf8Path, const ShellLauncher& launcher) {
    if (urlOrUtf8Path.empty() || launcher.program.empty()) return false;
    return StartDetached({launcher.program, SafeArgument(urlOrUtf8Path)});
}

bool StartProgram(const std::vector<std::string>& argv) {
    return StartDetached(argv);
}

std::string FileUri(const std::filesystem::path& file) {
    static const char* kHex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char c : file.native()) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           c == '/';
        if (plain) {
            uri += static_cast<char>(c);
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

bool FindProgram(const std::string& program, const std::string& path) {
    if (program.empty()) return false;
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find(':', start);
        std::string dir = path.substr(start, end == std::string::npos ? end : end - start);
        if (dir.empty()) dir = ".";
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

bool ShowInFileManager(const std::filesystem::path& file, const ShellLauncher& launcher) {
    if (file.empty()) return false;
    std::thread([file, launcher] {
        const RunResult shown = RunCollecting(
            {launcher.dbusSend, "--session", "--print-reply", "--reply-timeout=3000",
             "--dest=org.freedesktop.FileManager1", "--type=method_call",
             "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1.ShowItems",
             "array:string:" + FileUri(file), "string:"},
            kHelperTimeout);
        if (shown.ok) return;
        std::filesystem::path folder = file.parent_path();
        if (folder.empty()) folder = ".";
        OpenInShell(folder.native(), launcher);
    }).detach();
    return true;
}

bool StartProgramFile(const std::filesystem::path& file, const ShellLauncher& launcher) {
    if (file.empty()) return false;
    std::thread([file, launcher] {
        const char* pathValue = std::getenv("PATH");
        const std::string path = pathValue ? pathValue : "";
        if (FindProgram(launcher.wine, path)) {
            const RunResult type = RunCollecting(
                {launcher.mimeQuery, "query", "filetype", SafeArgument(file.native())},
                kHelperTimeout);
            const std::string mime = FirstLine(type.output);
            if (type.ok && IsWindowsExecutableType(mime)) {
                const RunResult handler =
                    RunCollecting({launcher.mimeQuery, "query", "default", mime}, kHelperTimeout);
                if (FirstLine(handler.output).empty()) {
                    StartDetached({launcher.wine, SafeArgument(file.native())});
                    return;
                }
            }
        }
        OpenInShell(file.native(), launcher);
    }).detach();
    return true;
}

}  // namespace box
