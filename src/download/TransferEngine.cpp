#include "download/TransferEngine.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <thread>
#include <utility>

#include "download/ResumeState.h"
#include "download/SaveName.h"
#include "net/HttpWire.h"

namespace box {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
// Longer answer heads are refused: a download source has no reason to send more.
constexpr std::size_t kMaxHeadBytes = 4097;
// libcurl's receive buffer, the most one read from the socket takes; libcurl
// still hands the body to OnBody in pieces of at most 16 KiB, so the file sees
// writes of that size whatever the buffer. The task's read size is only a
// floor: for 1 GiB bench_engine measured 0.95 and 0.98 of curl's speed with
// 16 KiB reads, 1.25 to 1.5 with 100 KiB or 512 KiB.
constexpr long kMinBufferSize = 512 * 1024;
constexpr long kMaxBufferSize = 10 * 1024 * 1024;

enum class Scheme { kNone, kHttp, kHttps, kFtp };

Scheme SchemeOf(std::string_view url) {
    auto starts = [&](std::string_view prefix) {
        return url.size() >= prefix.size() &&
               EqualsIgnoringCase(url.substr(0, prefix.size()), prefix);
    };
    if (starts("http://")) return Scheme::kHttp;
    if (starts("https://")) return Scheme::kHttps;
    if (starts("ftp://")) return Scheme::kFtp;
    return Scheme::kNone;  // mms and rtsp included: nothing maintained speaks them
}

// How one connection ended.
enum class Outcome { kDone, kRedirect, kRetry, kFailed, kStopped };

bool IsFatal(CURLcode code) {
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_LOGIN_DENIED:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_BAD_CONTENT_ENCODING:
        case CURLE_TOO_MANY_REDIRECTS:
        case CURLE_RANGE_ERROR:
        case CURLE_BAD_DOWNLOAD_RESUME:
        case CURLE_FILESIZE_EXCEEDED:
        case CURLE_OUT_OF_MEMORY:
        case CURLE_HTTP_RETURNED_ERROR:
            return true;
        default:
            return false;
    }
}

// "bytes FIRST-LAST/TOTAL"; total -1 for "*".
bool ParseContentRange(std::string_view value, std::int64_t& first, std::int64_t& total) {
    auto number = [](std::string_view s, std::int64_t& out) {
        if (s.empty() || s.size() > 18) return false;
        out = 0;
        for (char c : s) {
            if (c < '0' || c > '9') return false;
            out = out * 10 + (c - '0');
        }
        return true;
    };
    value = TrimBlanks(value);
    if (value.substr(0, 6) != "bytes ") return false;
    value.remove_prefix(6);
    const std::size_t dash = value.find('-');
    const std::size_t slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return false;
    std::int64_t last = 0;
    if (!number(value.substr(0, dash), first) ||
        !number(value.substr(dash + 1, slash - dash - 1), last))
        return false;
    const std::string_view totalText = value.substr(slash + 1);
    if (totalText == "*") {
        total = -1;
        return true;
    }
    return number(totalText, total);
}

bool CurlReady() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

// The state's file is still a regular file (no link) with at least the bytes
// the state counts.
bool StillHolds(const ResumeState& state) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(state.file, ec);
    if (ec || !std::filesystem::is_regular_file(status)) return false;
    const auto size = std::filesystem::file_size(state.file, ec);
    return !ec && static_cast<std::int64_t>(size) >= state.received;
}

bool ExtensionListed(std::string_view path, std::string_view list) {
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view extension = name.substr(dot);
    while (!list.empty()) {
        const std::size_t bar = list.find('|');
        if (EqualsIgnoringCase(TrimBlanks(list.substr(0, bar)), extension)) return true;
        if (bar == std::string_view::npos) break;
        list.remove_prefix(bar + 1);
    }
    return false;
}

}  // namespace

struct TransferEngine::Task {
    TransferTaskId id = 0;
    TaskParam param;
    TransferEngineOptions options;
    TransferEngine* engine = nullptr;
    std::string startUrl;  // as it goes on the wire
    Scheme scheme = Scheme::kNone;
    std::thread thread;

    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> received{0};
    std::atomic<std::int64_t> sinceLast{0};
    std::atomic<std::int64_t> total{0};
    std::atomic<bool> complete{false};  // the source's whole body arrived

    mutable std::mutex mutex;  // everything below
    std::condition_variable changed;
    bool done = false;
    std::filesystem::path file;
    CURLM* multi = nullptr;

    void RequestStop() {
        stop = true;
        std::lock_guard lock(mutex);
        if (multi) curl_multi_wakeup(multi);
        changed.notify_all();
    }
    // Waits up to ms for the thread to end; true when it has.
    bool WaitDone(int ms) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
                                [&] { return done; });
    }
    std::filesystem::path File() const {
        std::lock_guard lock(mutex);
        return file;
    }
    void SetFile(const std::filesystem::path& path) {
        std::lock_guard lock(mutex);
        file = path;
    }
};

// Runs one task on its thread: connections in turn until the file is complete,
// the task fails or it is stopped.
struct TaskRunner {
    using Task = TransferEngine::Task;

    explicit TaskRunner(Task& t) : task(t) {}
    ~TaskRunner() {
        if (fd >= 0) ::close(fd);
    }

    Task& task;
    std::string url;  // the connection's target, after redirects
    int fd = -1;
    bool started = false;
    std::optional<ResumeState> resume;

    // Per connection.
    CURL* easy = nullptr;
    Outcome verdict = Outcome::kRetry;
    bool verdictSet = false;
    bool accepted = false;
    std::size_t headBytes = 0;
    std::string redirectTo;
    Clock::time_point lastActivity;

    void Emit(int kind, std::int64_t data) {
        TransferEngine& engine = *task.engine;
        std::lock_guard lock(engine.eventMutex_);
        if (engine.currentId_ != task.id || !task.param.eventCallback) return;
        try {
            task.param.eventCallback(task.id, kind, data);
        } catch (...) {
            // A throwing callback must not take the engine's thread down.
        }
    }

    void Decide(Outcome outcome) {
        if (!verdictSet) {
            verdict = outcome;
            verdictSet = true;
        }
    }

    // The file from byte `from` on, with `total` bytes in all (0: unknown).
    bool Accept(std::int64_t from, std::int64_t total) {
        if (task.stop) return false;
        const std::int64_t known = task.total;
        if (from > 0 && known > 0 && total > 0 && total != known)
            return false;  // the source changed
        if (fd < 0 && !OpenFile(from)) return false;
        if (!CutTo(from) || ::lseek(fd, from, SEEK_SET) != from) return false;
        task.received = from;
        if (total > 0 || from == 0) task.total = total;
        accepted = true;
        if (!started) {
            started = true;
            Emit(kTransferStarted, task.total);
        }
        return true;
    }

    // Makes the file exactly `from` bytes long. A file that already is (a new
    // one, or one whose connection dropped) is left alone: ext4 takes a
    // truncation to 0 for a file being replaced and writes the whole file out
    // when it is closed, which held the engine's thread 0.6-0.9 s at the end
    // of a 1 GiB download (strace -T on close) and left curl ahead.
    bool CutTo(std::int64_t from) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) return false;
        return info.st_size == from || ::ftruncate(fd, from) == 0;
    }

    bool OpenFile(std::int64_t from) {
        if (resume) {
            const std::filesystem::path path = resume->file;
            resume.reset();
            const int existing = ::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
            struct stat info {};
            if (existing >= 0 && ::fstat(existing, &info) == 0 && S_ISREG(info.st_mode)) {
                fd = existing;
                task.SetFile(path);
                return true;
            }
            if (existing >= 0) ::close(existing);
        }
        // Bytes from the middle of the file belong to the file resumed, not to a new one.
        if (from > 0) return false;
        std::filesystem::path used;
        fd = CreateSaveFile(task.param.savePath, used);
        if (fd < 0) return false;
        task.SetFile(used);
        return true;
    }

    bool WriteAll(const char* data, std::size_t length) {
        while (length > 0) {
            const ssize_t n = ::write(fd, data, length);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;  // a full disk or a size limit fails the task
            }
            data += n;
            length -= static_cast<std::size_t>(n);
        }
        return true;
    }

    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto* r = static_cast<TaskRunner*>(user);
        const std::size_t length = size * count;
        r->lastActivity = Clock::now();
        if (r->task.scheme == Scheme::kFtp) return length;
        const std::string_view line(data, length);
        if (line.substr(0, 5) == "HTTP/") r->headBytes = 0;
        r->headBytes += length;
        if (r->headBytes > kMaxHeadBytes) {
            r->Decide(Outcome::kFailed);
            return 0;
        }
        if (line != "\r\n" && line != "\n") return length;
        long status = 0;
        curl_easy_getinfo(r->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status >= 100 && status < 200)
            return length;  // an interim answer; the real one follows
        return r->OnHeadComplete(status) ? length : 0;
    }

    bool OnHeadComplete(long status) {
        if (status == 301 || status == 302) {
            redirectTo = Resolve(url, LocationHeader());
            const Scheme target = SchemeOf(redirectTo);
            Decide(target == Scheme::kHttp || target == Scheme::kHttps ? Outcome::kRedirect
                                                                       : Outcome::kFailed);
            return false;
        }
        if (status != 200 && status != 206) {
            Decide(Outcome::kFailed);
            return false;
        }
        curl_off_t length = -1;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        std::int64_t from = 0;
        std::int64_t total = length >= 0 ? length : 0;
        if (status == 206) {
            const std::int64_t asked = task.received;
            curl_header* range = nullptr;
            std::int64_t first = 0;
            std::int64_t whole = -1;
            if (curl_easy_header(easy, "Content-Range", 0, CURLH_HEADER, -1, &range) == CURLHE_OK &&
                ParseContentRange(range->value, first, whole)) {
                if (first != asked) {
                    Decide(Outcome::kFailed);
                    return false;
                }
            }
            from = asked;
            total = whole >= 0 ? whole : (length >= 0 ? asked + length : 0);
        }
        if (!Accept(from, total)) {
            Decide(task.stop ? Outcome::kStopped : Outcome::kFailed);
            return false;
        }
        return true;
    }

    std::string LocationHeader() const {
        curl_header* location = nullptr;
        if (curl_easy_header(easy, "Location", 0, CURLH_HEADER, -1, &location) != CURLHE_OK)
            return {};
        return std::string(TrimBlanks(location->value));
    }

    // A Location target against the URL it came from; "" when it makes no URL.
    static std::string Resolve(const std::string& base, const std::string& location) {
        if (location.empty() || HasLineBreakOrZero(location)) return {};
        std::string resolved;
        CURLU* parsed = curl_url();
        char* full = nullptr;
        if (parsed && curl_url_set(parsed, CURLUPART_URL, base.c_str(), 0) == CURLUE_OK &&
            curl_url_set(parsed, CURLUPART_URL, location.c_str(), CURLU_URLENCODE) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_URL, &full, 0) == CURLUE_OK) {
            resolved = full;
        }
        curl_free(full);
        curl_url_cleanup(parsed);
        return resolved;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* r = static_cast<TaskRunner*>(user);
        const std::size_t length = size * count;
        r->lastActivity = Clock::now();
        if (!r->accepted) {
            // ftp has no head: the size is known once the data connection opens.
            curl_off_t remaining = -1;
            curl_easy_getinfo(r->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &remaining);
            const std::int64_t from = r->task.received;
            if (!r->Accept(from, remaining >= 0 ? from + remaining : 0)) {
                r->Decide(r->task.stop ? Outcome::kStopped : Outcome::kFailed);
                return 0;
            }
        }
        if (!r->WriteAll(data, length)) {
            r->Decide(Outcome::kFailed);
            return 0;
        }
        r->task.received += static_cast<std::int64_t>(length);
        r->task.sinceLast += static_cast<std::int64_t>(length);
        return length;
    }

    static int OnConnected(void* user, char*, char*, int, int) {
        static_cast<TaskRunner*>(user)->lastActivity = Clock::now();
        return CURL_PREREQFUNC_OK;
    }

    curl_slist* RequestHeaders() const {
        CURLU* parsed = curl_url();
        std::string host;
        if (parsed && curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
            char* part = nullptr;
            if (curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) host = part;
            curl_free(part);
            part = nullptr;
            if (curl_url_get(parsed, CURLUPART_PORT, &part, 0) == CURLUE_OK) {
                const std::string port = part;
                if (port != (SchemeOf(url) == Scheme::kHttps ? "443" : "80")) host += ":" + port;
            }
            curl_free(part);
        }
        curl_url_cleanup(parsed);
        std::string referer = task.param.referer;
        if (referer.empty() || HasLineBreakOrZero(referer))
            referer = url.substr(0, url.rfind('/') + 1);
        const std::string lines[] = {
            "Host: " + host,
            "Accept: */*",
            "Referer: " + referer,
            std::string("User-Agent: ") + kUserAgent,
            "Range: bytes=" + std::to_string(task.received.load()) + "-",
            "Pragma: no-cache",
            "Cache-Control: no-cache",
            "Connection: close",
        };
        curl_slist* list = nullptr;
        for (const std::string& line : lines) {
            curl_slist* grown = curl_slist_append(list, line.c_str());
            if (!grown) {
                curl_slist_free_all(list);
                return nullptr;
            }
            list = grown;
        }
        return list;
    }

    void Configure(curl_slist* headers) {
        const TaskParam& p = task.param;
        const bool ftp = SchemeOf(url) == Scheme::kFtp;
        long readSize = p.readSizeOverride > 0 ? p.readSizeOverride
                        : ftp                  ? p.ftpReadSize
                                               : p.readSize;
        readSize = std::clamp<long>(readSize, kMinBufferSize, kMaxBufferSize);
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
        curl_easy_setopt(easy, CURLOPT_PROXY, "");  // direct, whatever the environment says
        curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, readSize);
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max(p.connectTimeout, 1)));
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TaskRunner::OnHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TaskRunner::OnBody);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &TaskRunner::OnConnected);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, this);
        if (!task.options.caFile.empty())
            curl_easy_setopt(easy, CURLOPT_CAINFO, task.options.caFile.c_str());
        if (ftp) {
            curl_easy_setopt(easy, CURLOPT_USERNAME, p.ftpUser.c_str());
            curl_easy_setopt(easy, CURLOPT_PASSWORD, p.ftpPassword.c_str());
            curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE,
                             static_cast<curl_off_t>(task.received.load()));
            const bool ascii =
                p.ftpTransferType == 2 ||
                (p.ftpTransferType == 3 && !ExtensionListed(url, p.binaryExtensions));
            curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
        } else {
            curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
            curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
        }
    }

    Outcome Connect() {
        verdict = Outcome::kRetry;
        verdictSet = false;
        accepted = false;
        headBytes = 0;
        redirectTo.clear();
        lastActivity = Clock::now();
        easy = curl_easy_init();
        curl_slist* headers = SchemeOf(url) == Scheme::kFtp ? nullptr : RequestHeaders();
        CURLM* multi = task.multi;
        if (!easy || (!headers && SchemeOf(url) != Scheme::kFtp)) {
            if (easy) curl_easy_cleanup(easy);
            easy = nullptr;
            return Outcome::kFailed;
        }
        Configure(headers);
        curl_multi_add_handle(multi, easy);
        CURLcode code = CURLE_OK;
        const auto receiveLimit = std::chrono::milliseconds(std::max(task.param.receiveTimeout, 1));
        // Until the answer begins, the request going out counts against the limit too.
        const auto firstLimit =
            receiveLimit + std::chrono::milliseconds(std::max(task.param.sendTimeout, 0));
        for (;;) {
            int running = 0;
            curl_multi_perform(multi, &running);
            if (running == 0) {
                int left = 0;
                while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
                    if (message->msg == CURLMSG_DONE) code = message->data.result;
                }
                break;
            }
            if (task.stop) {
                Decide(Outcome::kStopped);
                break;
            }
            if (Clock::now() - lastActivity >
                (headBytes > 0 || accepted ? receiveLimit : firstLimit)) {
                Decide(Outcome::kRetry);
                break;
            }
            curl_multi_poll(multi, nullptr, 0, 250, nullptr);
        }
        curl_multi_remove_handle(multi, easy);
        curl_easy_cleanup(easy);
        easy = nullptr;
        curl_slist_free_all(headers);
        if (verdictSet) return verdict;
        if (task.stop) return Outcome::kStopped;
        if (code == CURLE_OK) {
            if (!accepted && !Accept(task.received, task.received))
                return Outcome::kFailed;  // an empty ftp file
            return Outcome::kDone;
        }
        return IsFatal(code) ? Outcome::kFailed : Outcome::kRetry;
    }

    // Waits out the reconnect delay; false when the task was stopped meanwhile.
    bool Pause() {
        std::unique_lock lock(task.mutex);
        task.changed.wait_for(lock,
                              std::chrono::milliseconds(std::max(task.options.reconnectDelayMs, 0)),
                              [&] { return task.stop.load(); });
        return !task.stop;
    }

    void Run() {
        url = task.startUrl;
        if (!task.param.resumeState.empty()) {
            resume = ParseResumeState(task.param.resumeState);
            if (resume && !StillHolds(*resume)) resume.reset();
            if (resume) {
                task.received = resume->received;
                task.total = resume->total;
                task.SetFile(resume->file);
            }
        }
        int reconnects = 0;
        int redirects = 0;
        while (!task.stop) {
            const Outcome outcome = Connect();
            if (outcome == Outcome::kDone) {
                task.complete = true;
                break;
            }
            if (outcome == Outcome::kRedirect) {
                if (++redirects > task.options.maxRedirects) break;
                url = redirectTo;
                continue;
            }
            if (outcome != Outcome::kRetry || ++reconnects > task.options.maxReconnects || !Pause())
                break;
        }
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
        if (started) Emit(kTransferFinished, task.received);
    }
};

TransferEngine::TransferEngine(TransferEngineOptions options) : options_(std::move(options)) {
    CurlReady();
    // Past a file-size limit, write() should fail the task, not kill the box.
    ::signal(SIGXFSZ, SIG_IGN);
}

TransferEngine::~TransferEngine() {
    Release();
}

std::shared_ptr<TransferEngine::Task> TransferEngine::Current() const {
    std::lock_guard lock(mutex_);
    return current_;
}

void TransferEngine::Retire(std::shared_ptr<Task> task) {
    if (!task) return;
    task->RequestStop();
    if (task->thread.joinable()) task->thread.join();
}

TransferTaskId TransferEngine::Start(const TaskParam& param) {
    const TransferTaskId id = ++nextId_;
    {
        // From here on, events of the task before are dropped.
        std::lock_guard events(eventMutex_);
        currentId_ = id;
    }
    std::shared_ptr<Task> old;
    bool released = false;
    {
        std::lock_guard lock(mutex_);
        old = std::move(current_);
        released = released_;
    }
    Retire(std::move(old));

    const std::string_view trimmed = TrimBlanks(param.url);
    const Scheme scheme = SchemeOf(trimmed);
    if (released || !CurlReady() || scheme == Scheme::kNone || HasLineBreakOrZero(trimmed) ||
        param.savePath.empty())
        return 0;

    auto task = std::make_shared<Task>();
    task->id = id;
    task->param = param;
    task->options = options_;
    task->engine = this;
    task->scheme = scheme;
    task->startUrl = WireUrl(Text(trimmed), 65001);
    task->file = param.savePath;
    task->multi = curl_multi_init();
    if (!task->multi) return 0;
    {
        std::lock_guard lock(mutex_);
        current_ = task;
    }
    Task* raw = task.get();
    task->thread = std::thread([raw] {
        {
            TaskRunner runner(*raw);
            runner.Run();
        }
        std::lock_guard lock(raw->mutex);
        curl_multi_cleanup(raw->multi);
        raw->multi = nullptr;
        raw->done = true;
        raw->changed.notify_all();
    });
    return id;
}

void TransferEngine::Stop(std::string* resumeState) {
    if (auto task = Current()) {
        task->RequestStop();
        task->WaitDone(task->param.stopWait);
    }
    if (resumeState) *resumeState = Snapshot();
}

std::int64_t TransferEngine::Received() const {
    auto task = Current();
    return task ? task->received.load() : 0;
}

std::int64_t TransferEngine::SinceLast() {
    auto task = Current();
    return task ? task->sinceLast.exchange(0) : 0;
}

std::string TransferEngine::Snapshot() const {
    auto task = Current();
    if (!task) return {};
    ResumeState state;
    state.total = task->total;
    state.received = task->received;
    state.segments.push_back({0, state.total, state.received});
    state.url = task->param.url;
    state.file = task->File();
    return SerializeResumeState(state);
}

std::int64_t TransferEngine::Query(std::string_view state, int kind, int index) const {
    return QueryResumeState(state, kind, index);
}

std::filesystem::path TransferEngine::FileName() const {
    auto task = Current();
    return task ? task->File() : std::filesystem::path{};
}

bool TransferEngine::Completed() const {
    auto task = Current();
    return task && task->complete;
}

TransferTaskId TransferEngine::CurrentTask() const {
    auto task = Current();
    return task ? task->id : 0;
}

bool TransferEngine::Running() const {
    auto task = Current();
    if (!task) return false;
    std::lock_guard lock(task->mutex);
    return !task->done;
}

void TransferEngine::Release() {
    {
        std::lock_guard events(eventMutex_);
        currentId_ = 0;
    }
    std::shared_ptr<Task> task;
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        task = current_;
    }
    Retire(std::move(task));
}

}  // namespace box
