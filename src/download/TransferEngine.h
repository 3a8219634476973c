#pragma once
// The transfer engine behind the download worker: one task at a time moves a
// file from an http, https or ftp source to disk, on a thread of its own,
// while the window's thread polls its counters.
//
// A task reports through its callback, on the engine's thread: kind 3
// (started) once the answer is accepted and bytes start to arrive, with the
// total size; kind 4 (finished) once at the end of every task that reported
// kind 3, successful or not, with the bytes received (the resumed part
// included). A task that never got an answer it could accept reports nothing.
//
// Task identities: Start gives every task a new identity, which its events
// carry. The engine delivers an event only while its task is the engine's
// current one, and Start (and Release) change the current task under the same
// lock that delivery holds: once Start returns, no event of an earlier task
// can arrive, even when that task's thread is still winding down. Stop leaves
// the task current, so the finished event of a stopped task still ends the
// caller's "transfer active" state. A caller keeping several tasks' records
// apart compares the event's identity with the one Start returned or with
// CurrentTask(). The callback must not call Start, Stop or Release, nor wait
// for the thread that does.
//
// Requests: for http and https exactly these lines, in this order: the
// request line, Host, Accept, Referer (the URL up to its last "/" unless the
// task names one), User-Agent, "Range: bytes=N-" (N the first missing byte),
// Pragma, Cache-Control and "Connection: close". Answers 200 and 206 are
// accepted (a 200 to a request from N > 0 restarts the file from its first
// byte), 301 and 302 are followed over a new connection, anything else fails
// the task. A connection that fails (refused, dropped, cut short, silent past
// the receive time-out) is tried again after the reconnect delay, from the
// first missing byte.
//
// Bytes go to the file as they arrive. A new task never overwrites a file:
// when the save path exists it writes "name(1).ext" and so on (see
// SaveName.h); FileName() gives the name used, valid from the started event.
// Constructing an engine sets SIGXFSZ to be ignored in the whole process, so
// that a file-size limit fails the task instead of killing the box.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "support/Text.h"

namespace box {

using TransferTaskId = std::uint64_t;

inline constexpr int kTransferStarted = 3;
inline constexpr int kTransferFinished = 4;

// (task, kind, data); the result is ignored (0 by convention).
using TransferCallback = std::function<int(TransferTaskId task, int kind, std::int64_t data)>;

// What a task is started with; the engine copies what it needs.
struct TaskParam {
    Text url;  // GBK text; non-ASCII bytes go out UTF-8, percent-encoded
    std::filesystem::path savePath;
    Text ftpUser = "anonymous";
    Text ftpPassword = "softbox@localhost";
    int connections = 1;  // one connection per task is all this engine opens
    int readSizeOverride =
        0;  // bytes per read, 512 KiB at least; 0: readSize (ftpReadSize for ftp)
    int connectTimeout = 20000;  // ms
    int sendTimeout = 20000;     // ms, the request going out
    int receiveTimeout = 20000;  // ms of silence before the connection counts as failed
    int stopWait = 1000;         // ms Stop waits for the task to wind down
    int readSize = 20480;
    int ftpReadSize = 1024;
    TransferCallback eventCallback;
    Text referer;             // "": the URL up to its last "/"
    int ftpTransferType = 1;  // 1 binary, 2 ASCII, 3 binary for binaryExtensions only
    Text binaryExtensions = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
    // A state from Stop or Snapshot: continue its file from its received
    // count, when that file still holds as many bytes; else start afresh.
    std::string resumeState;
};

struct TransferEngineOptions {
    std::string caFile;  // PEM certificate authorities for https (NetConfig::caFile)
    int reconnectDelayMs = 5000;
    int maxReconnects = 999;
    int maxRedirects = 10;
};

class TransferEngine {
public:
    explicit TransferEngine(TransferEngineOptions options = {});
    ~TransferEngine();  // releases
    TransferEngine(const TransferEngine&) = delete;
    TransferEngine& operator=(const TransferEngine&) = delete;

    // Ends the current task (waiting until its thread is gone), then starts
    // a new one and returns at once with its identity. 0: refused (empty URL,
    // a scheme other than http, https or ftp, released engine); a refused
    // start reports no events.
    TransferTaskId Start(const TaskParam& param);
    // Asks the task to end and waits up to its stopWait for it; then writes
    // the resume state (empty when there is no task).
    void Stop(std::string* resumeState = nullptr);
    // Bytes in the file so far (the resumed part included).
    std::int64_t Received() const;
    // Bytes received since the previous call (or since the start).
    std::int64_t SinceLast();
    // The current resume state without stopping; empty when there is no task.
    std::string Snapshot() const;
    // A value out of a resume state; see QueryResumeState.
    std::int64_t Query(std::string_view state, int kind, int index) const;
    // The file the task writes: the save path until the started event, then
    // the name actually used.
    std::filesystem::path FileName() const;
    TransferTaskId CurrentTask() const;
    // Whether the current task ended with the source's whole body: the only
    // word on a body of unknown size that was cut short. Set before the
    // finished event.
    bool Completed() const;
    bool Running() const;
    // Ends the task and every later start; called at exit.
    void Release();

    struct Task;

private:
    void Retire(std::shared_ptr<Task> task);
    std::shared_ptr<Task> Current() const;

    TransferEngineOptions options_;
    mutable std::mutex mutex_;  // current_, released_
    std::shared_ptr<Task> current_;
    bool released_ = false;
    std::atomic<TransferTaskId> nextId_{0};

    // Held while an event is delivered and while the current identity changes.
    std::mutex eventMutex_;
    TransferTaskId currentId_ = 0;

    friend struct TaskRunner;
};

}  // namespace box
