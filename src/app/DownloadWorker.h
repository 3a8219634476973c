#pragma once
// One download attempt from the start of its transfer to its end: the
// transfer's events, the download timer's tick with progress and speed, the
// retries, and the extraction of the finished archive.
//
// Two threads meet here. The transfer's events run on its own thread and only
// set the flags below; the window's thread reads them on each tick. The
// finished event stores whether the transfer succeeded before it clears
// "active", and the started event stores size and file name before it sets
// "active", so a tick that sees the change also sees those values.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>

#include "download/TransferEngine.h"
#include "support/Text.h"

namespace box {

class DownloadQueue;

// The transfer as the worker drives it; TransferEngine behind it in the box,
// a scripted double in tests.
class DownloadTransfer {
public:
    virtual ~DownloadTransfer() = default;
    // Starts a task (ending the one before); 0 when refused.
    virtual TransferTaskId Start(const Text& url, const std::filesystem::path& path,
                                 TransferCallback callback) = 0;
    virtual void Stop() = 0;
    virtual std::int64_t Received() = 0;
    virtual std::int64_t SinceLast() = 0;
    // Bytes received according to the task's resume state (after its end).
    virtual std::int64_t ReceivedInState() = 0;
    virtual std::filesystem::path FileName() = 0;
    virtual TransferTaskId CurrentTask() = 0;
    // Whether the task ended with the source's whole body.
    virtual bool Completed() = 0;
};

class EngineTransfer : public DownloadTransfer {
public:
    // receiveTimeoutMs: the silence after which a connection counts as failed.
    explicit EngineTransfer(TransferEngine& engine, int receiveTimeoutMs = 20000)
        : engine_(engine), receiveTimeoutMs_(receiveTimeoutMs) {}
    TransferTaskId Start(const Text& url, const std::filesystem::path& path,
                         TransferCallback callback) override;
    void Stop() override { engine_.Stop(&state_); }
    std::int64_t Received() override { return engine_.Received(); }
    std::int64_t SinceLast() override { return engine_.SinceLast(); }
    std::int64_t ReceivedInState() override;
    std::filesystem::path FileName() override { return engine_.FileName(); }
    TransferTaskId CurrentTask() override { return engine_.CurrentTask(); }
    bool Completed() override { return engine_.Completed(); }

private:
    TransferEngine& engine_;
    int receiveTimeoutMs_;
    std::string state_;  // the last resume state; never handed back to a task
};

class DownloadWorker {
public:
    static constexpr int kMaxRetries = 3;

    DownloadWorker(DownloadQueue& queue, DownloadTransfer& transfer)
        : queue_(queue), transfer_(transfer) {}

    // A fresh task for url into path. A refused start is not reported: the
    // next tick finds nothing running and counts a failed attempt.
    void StartTransfer(const Text& url, const std::filesystem::path& path);
    void StopTransfer();
    std::int64_t ReceivedBytes();
    std::int64_t BytesSinceLastQuery() { return transfer_.SinceLast(); }

    // The tick of the download timer, for the queue's current row.
    void OnProgressTimer();

    // The transfer's callback; runs on the transfer's thread.
    int OnTransferEvent(TransferTaskId task, int kind, std::int64_t data);

    bool transferActive() const { return active_.load(std::memory_order_acquire); }
    bool transferSucceeded() const { return succeeded_.load(std::memory_order_acquire); }
    std::int64_t transferTotalSize() const { return totalSize_.load(std::memory_order_acquire); }
    // The file the current attempt writes, as its started event reported it;
    // empty before that event.
    std::filesystem::path transferFileName() const;
    // Finished events taken so far (for waiting on a transfer's end).
    int finishedEvents() const { return finished_.load(std::memory_order_acquire); }

    // Whether the archive of the attempt is to stay on disk (its extraction
    // failed); FinishDownload asks once.
    bool TakeKeepArchive() {
        const bool keep = keepArchive_;
        keepArchive_ = false;
        return keep;
    }

private:
    void Extract(int row);
    void RetryOrGiveUp(int row);

    DownloadQueue& queue_;
    DownloadTransfer& transfer_;
    std::atomic<bool> active_{false};
    std::atomic<bool> succeeded_{false};
    std::atomic<std::int64_t> totalSize_{0};
    std::atomic<int> finished_{0};
    mutable std::mutex fileNameMutex_;
    std::filesystem::path fileName_;
    bool keepArchive_ = false;
};

}  // namespace box
