#pragma once
// Whole-file writes that need not hold up the window: the bytes are copied,
// written (as WriteFileBytes writes, synced) on a thread of the writer's own,
// in the order given; the writer waits for the last one when it goes.

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace box {

class BackgroundWriter {
public:
    BackgroundWriter();
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // Queues the write; failures are not reported (the callers ignore them).
    void Write(std::filesystem::path path, std::string bytes);
    // Returns once every queued write has ended.
    void Flush();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::filesystem::path, std::string>> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace box
