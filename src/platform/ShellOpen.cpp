#include "platform/ShellOpen.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

bool OpenInShell(const std::string& urlOrUtf8Path, const ShellLauncher& launcher) {
    if (urlOrUtf8Path.empty() || launcher.program.empty()) return false;
    // A file name starting with '-' would be read as an option.
    const std::string argument =
        urlOrUtf8Path.front() == '-' ? "./" + urlOrUtf8Path : urlOrUtf8Path;

    SpawnSetup setup;
    // Its own session: the handler outlives the box and no signal sent to
    // the box's terminal reaches it. stdin from /dev/null: it must not read
    // the box's.
    if (::posix_spawnattr_setflags(setup.attr(), POSIX_SPAWN_SETSID) != 0) return false;
    if (::posix_spawn_file_actions_addopen(setup.actions(), STDIN_FILENO, "/dev/null", O_RDONLY,
                                           0) != 0) {
        return false;
    }
    char* argv[] = {const_cast<char*>(launcher.program.c_str()),
                    const_cast<char*>(argument.c_str()), nullptr};
    pid_t pid = 0;
    // glibc reports a program that could not be run here, not as an exit
    // status later.
    if (::posix_spawnp(&pid, launcher.program.c_str(), setup.actions(), setup.attr(), argv,
                       environ) != 0) {
        return false;
    }
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

}  // namespace box
