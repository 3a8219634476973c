#include "support/BackgroundWriter.h"

#include "support/FileText.h"

namespace box {

BackgroundWriter::BackgroundWriter() : thread_([this] { Run(); }) {}

BackgroundWriter::~BackgroundWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void BackgroundWriter::Write(std::filesystem::path path, std::string bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.emplace_back(std::move(path), std::move(bytes));
    }
    changed_.notify_all();
}

void BackgroundWriter::Flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void BackgroundWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        // Queued writes are done before the writer goes.
        if (queue_.empty()) return;
        auto job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        WriteFileBytes(job.first, job.second);
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace box
