#include "settings/DiskFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/FileLock.h"

namespace box {

namespace {

bool ReadAt(int fd, std::size_t offset, char* data, std::size_t count, std::size_t* got) {
    *got = 0;
    while (*got < count) {
        ssize_t n = ::pread(fd, data + *got, count - *got, static_cast<off_t>(offset + *got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        *got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::unique_ptr<DiskFile> DiskFile::Open(const std::filesystem::path& path, bool* lockConflict) {
    if (lockConflict) *lockConflict = false;
    if (path.empty()) return nullptr;
    // O_NONBLOCK so that a FIFO or device planted under the name cannot hang
    // the open; anything but a regular file is refused below.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    const FileLockResult locked = LockWholeFile(fd);
    if (locked != FileLockResult::kLocked) {
        if (lockConflict) *lockConflict = locked == FileLockResult::kHeldByOther;
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<DiskFile>(new DiskFile(fd));
}

bool DiskFile::IsLockedByOther(const std::filesystem::path& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool locked = IsWholeFileLocked(fd);
    ::close(fd);
    return locked;
}

DiskFile::~DiskFile() {
    ::close(fd_);
}

std::optional<std::size_t> DiskFile::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::size_t>(st.st_size);
}

std::optional<std::string> DiskFile::readAll() const {
    auto total = size();
    if (!total) return std::nullopt;
    std::string data(*total, '\0');
    std::size_t got = 0;
    if (!ReadAt(fd_, 0, data.data(), data.size(), &got)) return std::nullopt;
    data.resize(got);
    return data;
}

bool DiskFile::writeAt(std::size_t offset, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool DiskFile::grow(std::size_t size, std::size_t extra) {
    // Reserve the space first: when the disk is full the edit fails before a
    // single byte of the file has moved.
    int rc = ::posix_fallocate(fd_, static_cast<off_t>(size), static_cast<off_t>(extra));
    if (rc == EOPNOTSUPP || rc == EINVAL)
        return ::ftruncate(fd_, static_cast<off_t>(size + extra)) == 0;
    return rc == 0;
}

bool DiskFile::moveTail(std::size_t from, std::size_t end, std::size_t to) {
    if (from >= end || from == to) return true;
    std::vector<char> block(kBlockSize);
    std::size_t got = 0;
    if (to > from) {
        // Towards the end: work backwards so no byte is overwritten before
        // it has been moved.
        std::size_t pos = end;
        while (pos > from) {
            std::size_t chunk = std::min(kBlockSize, pos - from);
            pos -= chunk;
            if (!ReadAt(fd_, pos, block.data(), chunk, &got) || got != chunk) return false;
            if (!writeAt(pos + (to - from), std::string_view(block.data(), chunk))) return false;
        }
    } else {
        for (std::size_t pos = from; pos < end;) {
            std::size_t chunk = std::min(kBlockSize, end - pos);
            if (!ReadAt(fd_, pos, block.data(), chunk, &got) || got != chunk) return false;
            if (!writeAt(pos - (from - to), std::string_view(block.data(), chunk))) return false;
            pos += chunk;
        }
    }
    return true;
}

bool DiskFile::insert(std::size_t offset, std::string_view bytes) {
    return replace(offset, 0, bytes);
}

bool DiskFile::erase(std::size_t offset, std::size_t count) {
    return replace(offset, count, {});
}

bool DiskFile::replace(std::size_t offset, std::size_t count, std::string_view bytes) {
    auto total = size();
    if (!total) return false;
    std::size_t sz = *total;
    offset = std::min(offset, sz);
    count = std::min(count, sz - offset);
    std::size_t n = bytes.size();
    if (n == count) return writeAt(offset, bytes);
    if (n > count) {
        return grow(sz, n - count) && moveTail(offset + count, sz, offset + n) &&
               writeAt(offset, bytes);
    }
    return writeAt(offset, bytes) && moveTail(offset + count, sz, offset + n) &&
           ::ftruncate(fd_, static_cast<off_t>(sz - (count - n))) == 0;
}

bool DiskFile::rewrite(std::string_view bytes) {
    auto total = size();
    if (!total) return false;
    if (bytes.size() > *total && !grow(*total, bytes.size() - *total)) return false;
    return writeAt(0, bytes) && ::ftruncate(fd_, static_cast<off_t>(bytes.size())) == 0;
}

bool DiskFile::isFile(const std::filesystem::path& path) const {
    struct stat mine {
    }, other{};
    if (::fstat(fd_, &mine) != 0 || ::stat(path.c_str(), &other) != 0) return false;
    return mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

BackingFile::OutsideChange DiskFile::outsideChange(const std::filesystem::path& path,
                                                   std::string_view expected) const {
    struct stat mine {
    }, atPath{};
    // Without an answer about our own descriptor there is nothing to follow;
    // a failing step then marks the file stale.
    if (::fstat(fd_, &mine) != 0) return OutsideChange::kNone;
    if (mine.st_nlink == 0) return OutsideChange::kDetached;
    if (::stat(path.c_str(), &atPath) != 0) {
        // Renamed away (an editor that keeps the old file as its backup):
        // nothing is at the path any more. Any other error says nothing
        // about the file, which is still linked somewhere.
        return errno == ENOENT || errno == ENOTDIR ? OutsideChange::kDetached
                                                   : OutsideChange::kNone;
    }
    if (atPath.st_dev != mine.st_dev || atPath.st_ino != mine.st_ino)
        return OutsideChange::kDetached;
    // A program that ignores the lock may have rewritten it in place. Time
    // stamps are too coarse to tell a rewrite in the same tick: compare.
    if (static_cast<std::size_t>(mine.st_size) != expected.size()) return OutsideChange::kRewritten;
    // Settings files are small: one read compares all of them.
    constexpr std::size_t kCompareBlock = 64 * 1024;
    std::vector<char> block(std::min(kCompareBlock, expected.size()));
    for (std::size_t pos = 0; pos < expected.size();) {
        std::size_t chunk = std::min(kCompareBlock, expected.size() - pos);
        std::size_t got = 0;
        if (!ReadAt(fd_, pos, block.data(), chunk, &got)) return OutsideChange::kNone;
        if (std::string_view(block.data(), got) != expected.substr(pos, chunk))
            return OutsideChange::kRewritten;
        pos += chunk;
    }
    return OutsideChange::kNone;
}

}  // namespace box
