#include "platform/FileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace box {

namespace {

#ifdef F_OFD_SETLK
constexpr int kSetLock = F_OFD_SETLK;
constexpr int kGetLock = F_OFD_GETLK;
#else
constexpr int kSetLock = F_SETLK;
constexpr int kGetLock = F_GETLK;
#endif

struct flock WholeFileWriteLock() {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    lock.l_pid = 0;
    return lock;
}

}  // namespace

FileLockResult LockWholeFile(int fd) {
    struct flock lock = WholeFileWriteLock();
    if (::fcntl(fd, kSetLock, &lock) == 0) return FileLockResult::kLocked;
    return errno == EAGAIN || errno == EACCES ? FileLockResult::kHeldByOther
                                              : FileLockResult::kFailed;
}

bool IsWholeFileLocked(int fd) {
    struct flock lock = WholeFileWriteLock();
    return ::fcntl(fd, kGetLock, &lock) == 0 && lock.l_type != F_UNLCK;
}

}  // namespace box
