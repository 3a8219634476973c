#include "net/HttpSession.h"

#include <curl/curl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>
#include <utility>

#include "net/Charset.h"
#include "net/HttpWire.h"
#include "support/PumpThrottle.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"
#include "support/TextSearch.h"

namespace box {

namespace {

// Larger reads mean fewer callbacks on big downloads.
constexpr long kBufferSize = 512 * 1024;
// Content-Length is a promise from the other side: reserve no more than this.
constexpr std::size_t kMaxReserve = 512u * 1024 * 1024;

bool GssApiAvailable() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info && (info->features & CURL_VERSION_GSSAPI) != 0;
}

}  // namespace

// libcurl's callbacks, with access to the session they report to. They only
// record; nothing here may throw back into libcurl.
struct HttpSessionCallbacks {
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
        auto* s = static_cast<HttpSession*>(user);
        const std::size_t length = size * count;
        s->lastActivity_ = HttpSession::Clock::now();
        try {
            if (s->head_.AddLine(std::string_view(data, length))) {
                s->body_.clear();  // a body belongs to the answer whose head came last
            } else if (auto announced = s->head_.ContentLength()) {
                s->ReserveBody(
                    static_cast<std::size_t>(std::min<std::uint64_t>(*announced, kMaxReserve)));
            }
        } catch (...) {
            return 0;
        }
        return length;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
        auto* s = static_cast<HttpSession*>(user);
        const std::size_t length = size * count;
        s->lastActivity_ = HttpSession::Clock::now();
        try {
            auto* p = reinterpret_cast<const std::uint8_t*>(data);
            // Growing moves the body: the thread faulting in its pages must
            // not outlive it.
            if (s->body_.size() + length > s->body_.capacity()) s->JoinPopulate();
            s->body_.insert(s->body_.end(), p, p + length);
        } catch (...) {
            return 0;  // out of memory ends the transfer as failed
        }
        return length;
    }

    static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulNow) {
        auto* s = static_cast<HttpSession*>(user);
        if (ulNow != s->uploaded_) {
            s->uploaded_ = ulNow;
            s->lastActivity_ = HttpSession::Clock::now();
        }
        return 0;
    }

    static int OnConnected(void* user, char*, char*, int, int) {
        auto* s = static_cast<HttpSession*>(user);
        s->connected_ = true;
        s->lastActivity_ = HttpSession::Clock::now();
        return CURL_PREREQFUNC_OK;
    }
};

std::shared_ptr<HttpSession> HttpSession::Create(const std::string& caFile) {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!initialised) return nullptr;
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (!easy || !multi) {
        if (easy) curl_easy_cleanup(easy);
        if (multi) curl_multi_cleanup(multi);
        return nullptr;
    }
    return std::shared_ptr<HttpSession>(new HttpSession(easy, multi, caFile));
}

HttpSession::HttpSession(CURL* easy, CURLM* multi, const std::string& caFile)
    : easy_(easy), multi_(multi), caFile_(caFile) {
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    // An empty cookie file switches on the handle's own in-memory jar.
    curl_easy_setopt(easy_, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kBufferSize);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &HttpSessionCallbacks::OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &HttpSessionCallbacks::OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &HttpSessionCallbacks::OnProgress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &HttpSessionCallbacks::OnConnected);
    curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
    // Test servers and private installations bring their own authority.
    if (!caFile_.empty()) curl_easy_setopt(easy_, CURLOPT_CAINFO, caFile_.c_str());
}

HttpSession::~HttpSession() {
    JoinPopulate();
    if (state_ == State::kInFlight) curl_multi_remove_handle(multi_, easy_);
    curl_multi_cleanup(multi_);
    curl_easy_cleanup(easy_);
    if (headerList_) curl_slist_free_all(headerList_);
}

bool HttpSession::Open(const Text& method, const Text& url, bool async) {
    if (state_ == State::kInFlight) Abort();
    ++requestId_;
    ClearResponse();
    headers_.clear();
    user_.clear();
    password_.clear();
    proxyUser_.clear();
    proxyPassword_.clear();
    if (!IsHttpToken(method)) {
        state_ = State::kIdle;
        return false;
    }
    method_ = method;
    // The common verbs in any case; anything else goes out as given.
    for (const char* verb : {"GET", "POST", "HEAD", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
        if (EqualsIgnoringCase(method_, verb)) method_ = verb;
    }
    url_ = WireUrl(url, urlCodePage_);
    async_ = async;
    state_ = State::kOpened;
    return true;
}

bool HttpSession::SetRequestHeader(const Text& name, const Text& value) {
    if (state_ != State::kOpened) return false;
    if (!IsHttpToken(name) || HasLineBreakOrZero(value)) return false;
    for (auto& header : headers_) {
        if (EqualsIgnoringCase(header.first, name)) {
            header.second = value;
            return true;
        }
    }
    headers_.emplace_back(name, value);
    return true;
}

bool HttpSession::Configure(std::string_view body) {
    CURL* h = easy_;
    curl_easy_setopt(h, CURLOPT_URL, url_.c_str());

    curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    if (method_ == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else if (method_ == "POST" || !body.empty()) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        // Never a null pointer: libcurl would then read the body from stdin.
        curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, body.empty() ? "" : body.data());
        if (method_ != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method_.c_str());
    } else if (method_ != "GET") {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method_.c_str());
    }
    bodySize_ = body.size();

    if (headerList_) curl_slist_free_all(headerList_);
    headerList_ = nullptr;
    bool hasExpect = false;
    bool hasCookie = false;
    for (const auto& [name, value] : headers_) {
        // "Name;" is libcurl's way to send a header with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        curl_slist* grown = curl_slist_append(headerList_, line.c_str());
        if (!grown) return false;
        headerList_ = grown;
        hasExpect = hasExpect || EqualsIgnoringCase(name, "Expect");
        hasCookie = hasCookie || EqualsIgnoringCase(name, "Cookie");
    }
    if (!hasExpect) {
        // No "100-continue" round trip before large bodies.
        curl_slist* grown = curl_slist_append(headerList_, "Expect:");
        if (!grown) return false;
        headerList_ = grown;
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headerList_);
    curl_easy_setopt(h, CURLOPT_USERAGENT, userAgent_.c_str());

    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, followRedirects_ ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(maxRedirects_));
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR,
                     IsHttpsUrl(url_) && !httpsToHttp_ ? "https" : "http,https");
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION,
                     http11_ ? CURL_HTTP_VERSION_1_1 : CURL_HTTP_VERSION_1_0);

    // libcurl bounds name resolution and connecting together.
    long connectLimit = 0;
    if (timeouts_.connectMs > 0) {
        connectLimit = static_cast<long>(std::max(timeouts_.resolveMs, 0)) + timeouts_.connectMs;
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectLimit);

    const std::string& proxy = proxy_.For(url_);
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());  // "" also keeps libcurl off the environment
    const std::string& noProxy = proxy_.NoProxy();
    curl_easy_setopt(h, CURLOPT_NOPROXY,
                     proxy.empty() || noProxy.empty() ? nullptr : noProxy.c_str());

    if (!user_.empty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password_.c_str());
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_ANY));
    } else if ((autoLogonPolicy_ == 0 || (autoLogonPolicy_ == 1 && proxy.empty())) &&
               GssApiAvailable()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, "");
        curl_easy_setopt(h, CURLOPT_PASSWORD, "");
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_NEGOTIATE));
    } else {
        curl_easy_setopt(h, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(h, CURLOPT_PASSWORD, nullptr);
        curl_easy_setopt(h, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    }
    curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, proxyUser_.empty() ? nullptr : proxyUser_.c_str());
    curl_easy_setopt(h, CURLOPT_PROXYPASSWORD,
                     proxyUser_.empty() ? nullptr : proxyPassword_.c_str());
    curl_easy_setopt(h, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_ANY));

    const char* cert = clientCertificate_.empty() ? nullptr : clientCertificate_.c_str();
    curl_easy_setopt(h, CURLOPT_SSLCERT, cert);
    curl_easy_setopt(h, CURLOPT_SSLKEY, cert);

    // A request that names its own cookies sends exactly those: the jar is set
    // aside for it and merged back afterwards, with what the answer set.
    if (hasCookie) {
        cookiesAside_ = ExportCookies();
        curl_easy_setopt(h, CURLOPT_COOKIELIST, "ALL");
        cookiesSetAside_ = true;
    }
    return true;
}

bool HttpSession::Send(std::string_view body) {
    if (state_ != State::kOpened) return false;
    ClearResponse();
    if (!Configure(body)) {
        Finish(CURLE_OUT_OF_MEMORY);
        return false;
    }
    connected_ = false;
    uploaded_ = 0;
    lastActivity_ = Clock::now();
    if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
        state_ = State::kInFlight;
        Finish(CURLE_FAILED_INIT);
        return false;
    }
    state_ = State::kInFlight;
    if (!async_) return Drive(nullptr, nullptr);
    // Start resolving and connecting now; the rest happens while waiting.
    int running = 0;
    curl_multi_perform(multi_, &running);
    CollectResult();
    return true;
}

bool HttpSession::WaitForResponse(double seconds, EventPump* pump) {
    if (state_ != State::kInFlight) return state_ == State::kDone;
    if (seconds < 0 || seconds != seconds) return Drive(pump, nullptr);
    // Beyond a few months the limit means no limit, and stays representable.
    auto wait = std::chrono::duration<double>(std::min(seconds, 1e7));
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(wait);
    return Drive(pump, &deadline);
}

void HttpSession::Abort() {
    if (state_ == State::kInFlight) Finish(CURLE_ABORTED_BY_CALLBACK);
}

bool HttpSession::Drive(EventPump* pump, const Clock::time_point* deadline) {
    // An event handler may drop the last owner of this session while we wait.
    auto keepAlive = shared_from_this();
    const std::uint64_t id = requestId_;
    PumpThrottle throttle(pump, std::chrono::milliseconds(10));
    while (requestId_ == id && state_ == State::kInFlight) {
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK) {
            Finish(CURLE_FAILED_INIT);
            break;
        }
        CollectResult();
        if (state_ != State::kInFlight) break;
        auto now = Clock::now();
        if (IdleTooLong(now)) {
            Finish(CURLE_OPERATION_TIMEDOUT);
            break;
        }
        if (deadline && now >= *deadline) break;
        throttle.Tick();
        // The handler may have opened a new request or aborted this one.
        if (requestId_ != id || state_ != State::kInFlight) break;
        curl_multi_poll(multi_, nullptr, 0, 10, nullptr);
    }
    return requestId_ == id && state_ == State::kDone;
}

void HttpSession::CollectResult() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_ && state_ == State::kInFlight) {
            Finish(msg->data.result);
        }
    }
}

bool HttpSession::IdleTooLong(Clock::time_point now) const {
    // Before the connection stands, libcurl's connect limit applies.
    if (!connected_) return false;
    const bool sending = uploaded_ < static_cast<long long>(bodySize_);
    const int limit = sending ? timeouts_.sendMs : timeouts_.receiveMs;
    return limit > 0 && now - lastActivity_ > std::chrono::milliseconds(limit);
}

void HttpSession::Finish(int curlCode) {
    curl_multi_remove_handle(multi_, easy_);
    if (cookiesSetAside_) {
        std::vector<std::string> fresh = ExportCookies();
        curl_easy_setopt(easy_, CURLOPT_COOKIELIST, "ALL");
        ImportCookies(cookiesAside_);
        ImportCookies(fresh);
        cookiesAside_.clear();
        cookiesSetAside_ = false;
    }
    if (curlCode == CURLE_OK) {
        char* effective = nullptr;
        curl_easy_getinfo(easy_, CURLINFO_EFFECTIVE_URL, &effective);
        effectiveUrl_ = effective ? effective : url_;
        long code = 0;
        curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
        status_ = static_cast<int>(code);
        state_ = State::kDone;
    } else {
        ClearResponse();
        state_ = State::kFailed;
    }
}

void HttpSession::JoinPopulate() {
    if (!populate_.joinable()) return;
    stopPopulate_.store(true, std::memory_order_relaxed);
    populate_.join();
    stopPopulate_.store(false, std::memory_order_relaxed);
}

void HttpSession::ReserveBody(std::size_t size) {
    if (size <= body_.capacity()) return;
    JoinPopulate();
    body_.reserve(size);
    constexpr std::uintptr_t kHuge = 2u << 20;
    if (size < 4 * kHuge) return;
    // Large bodies take far fewer page faults when the kernel may back them
    // with huge pages.
    const auto begin = reinterpret_cast<std::uintptr_t>(body_.data());
    const std::uintptr_t end = begin + body_.capacity();
    const std::uintptr_t firstHuge = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t lastHuge = end & ~(kHuge - 1);
    if (lastHuge > firstHuge)
        madvise(reinterpret_cast<void*>(firstHuge), lastHuge - firstHuge, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    // Each of those faults has the kernel clear a fresh page on the receiving
    // thread. Another thread faults the pages in ahead of the bytes instead,
    // a huge page at a time so that it stops soon when asked. madvise wants
    // page-aligned bounds, and the vector's data is not.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t last = end & ~(page - 1);
    try {
        populate_ = std::thread([this, first, last] {
            for (std::uintptr_t at = first; at < last;) {
                if (stopPopulate_.load(std::memory_order_relaxed)) return;
                const std::uintptr_t next = std::min(last, (at + kHuge) & ~(kHuge - 1));
                if (madvise(reinterpret_cast<void*>(at), next - at, MADV_POPULATE_WRITE) != 0)
                    return;
                at = next;
            }
        });
    } catch (const std::system_error&) {
        // Without the thread the pages fault in as the bytes arrive.
    }
#endif
}

void HttpSession::ClearResponse() {
    JoinPopulate();
    status_ = 0;
    head_.Clear();
    Bytes().swap(body_);
    effectiveUrl_.clear();
}

int HttpSession::Status() const {
    return state_ == State::kDone ? status_ : 0;
}

Text HttpSession::StatusText() const {
    return state_ == State::kDone ? head_.reason() : Text();
}

Text HttpSession::ResponseText() const {
    if (state_ != State::kDone || body_.empty()) return {};
    Text type = AsciiLower(GetResponseHeader("Content-Type"));
    std::size_t at = type.find("charset=");
    if (at != Text::npos) {
        std::string charset = type.substr(at + 8);
        charset = charset.substr(0, charset.find_first_of("; \t"));
        charset.erase(std::remove(charset.begin(), charset.end(), '"'), charset.end());
        if (!charset.empty()) {
            std::string_view bytes(reinterpret_cast<const char*>(body_.data()), body_.size());
            Bytes converted = ConvertCharset(bytes, charset, "GB18030");
            Text text = UpToFirstZero(std::string_view(
                reinterpret_cast<const char*>(converted.data()), converted.size()));
            if (!text.empty()) return text;
        }
    }
    return DecodePageText(body_);
}

const Bytes& HttpSession::ResponseBody() const {
    static const Bytes kNone;
    return state_ == State::kDone ? body_ : kNone;
}

Bytes HttpSession::TakeResponseBody() {
    if (state_ != State::kDone) return {};
    JoinPopulate();
    return std::exchange(body_, Bytes());
}

Text HttpSession::GetResponseHeader(const Text& name) const {
    return state_ == State::kDone ? head_.Header(name) : Text();
}

Text HttpSession::GetAllResponseHeaders() const {
    if (state_ != State::kDone) return {};
    return head_.lines() + "\r\n";
}

OptionValue HttpSession::GetOption(int index) const {
    switch (index) {
        case kOptionUserAgent:
            return userAgent_;
        case kOptionUrl:
            return state_ == State::kDone ? effectiveUrl_ : url_;
        case kOptionUrlCodePage:
            return urlCodePage_;
        case kOptionEnableRedirects:
            return static_cast<long long>(followRedirects_);
        case kOptionHttpsToHttp:
            return static_cast<long long>(httpsToHttp_);
        case kOptionMaxRedirects:
            return maxRedirects_;
        case kOptionEnableHttp11:
            return static_cast<long long>(http11_);
        default:
            return {};
    }
}

bool HttpSession::SetOption(int index, const OptionValue& value) {
    if (index == kOptionUserAgent) {
        const Text* text = std::get_if<Text>(&value);
        if (!text || HasLineBreakOrZero(*text)) return false;
        userAgent_ = *text;
        return true;
    }
    const long long* number = std::get_if<long long>(&value);
    if (!number) return false;
    switch (index) {
        case kOptionUrlCodePage:
            if (*number != 65001 && *number != 936) return false;
            urlCodePage_ = *number;
            return true;
        case kOptionEnableRedirects:
            followRedirects_ = *number != 0;
            return true;
        case kOptionHttpsToHttp:
            httpsToHttp_ = *number != 0;
            return true;
        case kOptionMaxRedirects:
            if (*number < 0 || *number > 1000) return false;
            maxRedirects_ = *number;
            return true;
        case kOptionEnableHttp11:
            http11_ = *number != 0;
            return true;
        default:
            return false;
    }
}

bool HttpSession::SetProxy(int setting, const Text& server, const Text& bypass) {
    return proxy_.Set(setting, server, bypass);
}

bool HttpSession::SetCredentials(const Text& user, const Text& password, int flags) {
    if (state_ != State::kOpened) return false;
    if (flags == 0) {
        user_ = user;
        password_ = password;
        return true;
    }
    if (flags == 1) {
        proxyUser_ = user;
        proxyPassword_ = password;
        return true;
    }
    return false;
}

bool HttpSession::SetClientCertificate(const Text& path) {
    if (path.empty()) {
        clientCertificate_.clear();
        return true;
    }
    if (!FileExists(path)) return false;
    clientCertificate_ = FsPath(path).string();
    return true;
}

bool HttpSession::SetAutoLogonPolicy(int policy) {
    if (policy < 0 || policy > 2) return false;
    autoLogonPolicy_ = policy;
    return true;
}

std::vector<std::string> HttpSession::ExportCookies() const {
    std::vector<std::string> lines;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(easy_, CURLINFO_COOKIELIST, &list) != CURLE_OK) return lines;
    for (curl_slist* p = list; p; p = p->next) lines.emplace_back(p->data);
    curl_slist_free_all(list);
    return lines;
}

void HttpSession::ImportCookies(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) curl_easy_setopt(easy_, CURLOPT_COOKIELIST, line.c_str());
}

}  // namespace box
