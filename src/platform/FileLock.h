#pragma once
// Write locks over whole files, held by an open file descriptor.
//
// The lock belongs to the open file description where the system has such
// locks: a second descriptor opened for the same file, in this process or
// another, is refused too, and closing some other descriptor of the file does
// not silently drop the lock. It goes with the descriptor's last close.

namespace box {

enum class FileLockResult {
    kLocked,
    kHeldByOther,  // someone else holds a lock on the file
    kFailed,       // any other reason
};

// Takes a write lock over the whole file of fd (open for writing), without
// waiting.
FileLockResult LockWholeFile(int fd);

// True when someone holds a lock on the file of fd (open for reading) that
// would refuse LockWholeFile.
bool IsWholeFileLocked(int fd);

}  // namespace box
