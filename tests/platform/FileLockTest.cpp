#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/FileLock.h"
#include "support/FileText.h"
#include "TestDoubles.h"

namespace box {
namespace {

class Descriptor {
public:
    Descriptor(const std::filesystem::path& path, int flags)
        : fd_(::open(path.c_str(), flags | O_CLOEXEC)) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Two opens of one file in one process are two holders: a lock owned by the
// process instead would let the second one through.
TEST(FileLockTest, OneHolderPerFileEvenInsideOneProcess) {
    test::TempDir dir;
    const auto path = dir.path() / "locked.ini";
    ASSERT_TRUE(WriteFileBytes(path, "[a]\r\n"));
    Descriptor first(path, O_RDWR);
    Descriptor second(path, O_RDWR);
    Descriptor reader(path, O_RDONLY);
    ASSERT_GE(first.fd(), 0);
    ASSERT_GE(second.fd(), 0);
    ASSERT_GE(reader.fd(), 0);

    EXPECT_FALSE(IsWholeFileLocked(reader.fd()));
    EXPECT_EQ(LockWholeFile(first.fd()), FileLockResult::kLocked);
    EXPECT_EQ(LockWholeFile(second.fd()), FileLockResult::kHeldByOther);
    EXPECT_TRUE(IsWholeFileLocked(reader.fd()));
    // A write lock needs a descriptor open for writing.
    EXPECT_EQ(LockWholeFile(reader.fd()), FileLockResult::kFailed);
    EXPECT_EQ(LockWholeFile(-1), FileLockResult::kFailed);
    // Closing some other descriptor of the file leaves the lock alone.
    { Descriptor other(path, O_RDONLY); }
    EXPECT_EQ(LockWholeFile(second.fd()), FileLockResult::kHeldByOther);

    // The lock goes with its descriptor.
    first.Close();
    EXPECT_FALSE(IsWholeFileLocked(reader.fd()));
    EXPECT_EQ(LockWholeFile(second.fd()), FileLockResult::kLocked);
}

}  // namespace
}  // namespace box
