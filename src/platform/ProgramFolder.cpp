#include "platform/ProgramFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

namespace box {

namespace {

// Each level of the tree holds one descriptor open; a tree deeper than this
// is no program's folder, and going on would run out of descriptors.
constexpr int kMaxDepth = 200;

bool IsDotName(const std::string& name) {
    return name == "." || name == "..";
}

bool IsWithin(const std::filesystem::path& folder, const std::filesystem::path& inner) {
    auto f = folder.begin();
    auto i = inner.begin();
    for (; f != folder.end(); ++f, ++i) {
        if (f->empty() && std::next(f) == folder.end()) return true;  // trailing separator
        if (i == inner.end() || *f != *i) return false;
    }
    return true;
}

bool RemoveEntry(int dirFd, const char* name, int depth);

// Empties the folder open as fd; keeps going past failures so that as much as
// can go does go, and reports whether everything went.
bool RemoveContents(int fd, int depth) {
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    // Names are read first: removing entries while reading the folder may
    // make readdir skip some.
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (!IsDotName(name)) names.push_back(std::move(name));
    }
    bool ok = true;
    for (const auto& name : names) ok = RemoveEntry(::dirfd(dir), name.c_str(), depth) && ok;
    ::closedir(dir);
    return ok;
}

bool RemoveEntry(int dirFd, const char* name, int depth) {
    struct stat st {};
    if (::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(dirFd, name, 0) == 0;
    if (depth >= kMaxDepth) return false;
    // O_NOFOLLOW: a folder swapped for a link since fstatat is not entered.
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR) return ::unlinkat(dirFd, name, 0) == 0;
        return false;
    }
    const bool emptied = RemoveContents(fd, depth + 1);
    return ::unlinkat(dirFd, name, AT_REMOVEDIR) == 0 && emptied;
}

}  // namespace

bool RemoveProgramFolder(const std::filesystem::path& boxFolder,
                         const std::filesystem::path& programFolder) {
    if (boxFolder.empty() || programFolder.empty()) return false;
    std::error_code ec;
    auto folder = std::filesystem::absolute(programFolder, ec).lexically_normal();
    if (ec) return false;
    if (!folder.has_filename()) folder = folder.parent_path();
    const std::string name = folder.filename().native();
    if (name.empty() || IsDotName(name)) return false;

    // The parent is resolved, the last component is not: a program folder
    // that is itself a link is judged by where the link is, not where it
    // points.
    const auto parent = std::filesystem::weakly_canonical(folder.parent_path(), ec);
    if (ec) return false;
    const auto box = std::filesystem::weakly_canonical(boxFolder, ec);
    if (ec || !IsWithin(box, parent)) return false;

    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) return false;
    struct stat st {};
    bool ok = ::fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    // Without the right to remove the folder's own entry, emptying it first
    // would lose the program's files and still fail.
    ok = ok && ::faccessat(parentFd, ".", W_OK | X_OK, AT_EACCESS) == 0;
    ok = ok && RemoveEntry(parentFd, name.c_str(), 0);
    ::close(parentFd);
    return ok;
}

}  // namespace box
