#pragma once
// A FIFO planted under a file's name, and a guard for code that must not
// block on it: the code runs on a thread of its own, and if it has not
// returned after a very generous bound, the FIFO is opened for writing and
// closed again, which releases a reader stuck in open or read, so the test
// fails instead of hanging.

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

namespace box::test {

inline bool MakeFifo(const std::filesystem::path& path) {
    return ::mkfifo(path.c_str(), 0600) == 0;
}

inline bool ReturnsWithoutAWriter(const std::filesystem::path& fifo, std::function<void()> code) {
    std::packaged_task<void()> task(std::move(code));
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    const bool returned = done.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
    }
    runner.join();
    return returned;
}

}  // namespace box::test
