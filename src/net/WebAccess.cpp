#include "net/WebAccess.h"

#include <curl/curl.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "net/HttpWire.h"
#include "support/EventPump.h"
#include "support/TextSearch.h"

namespace box {

namespace {

constexpr const char* kAccept =
    "image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*";
constexpr long kBufferSize = 512 * 1024;
// Content-Length is a promise from the other side: reserve no more than this.
constexpr std::size_t kMaxReserve = 64u * 1024 * 1024;
constexpr auto kWaitSlice = std::chrono::milliseconds(10);

std::atomic<std::size_t> runningWorkers{0};

// One request, owned together by the calling thread and the worker. The
// caller may walk away from it (abandoned); the worker then ends the
// transfer at its next callback, and the last owner frees it.
struct Transfer {
    // Written by the caller before the worker starts, read-only afterwards.
    std::string url;
    bool post = false;
    Bytes postData;
    std::string proxy;
    std::string agent;
    std::vector<std::string> headerLines;
    bool followRedirects = true;
    bool secure = false;
    std::string caFile;

    // Written by the worker; read by the caller only once done is set.
    Bytes body;
    std::string head;
    // The heads of the answers before the last (redirects), with the URL
    // each answered: their cookies are kept as well.
    std::vector<std::pair<std::string, std::string>> earlierHeads;
    std::string headUrl;
    CURL* easy = nullptr;

    std::atomic<bool> abandoned{false};
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
};

// Reserves room for an announced body. On large bodies the page faults of
// the fresh buffer cost more than the transfer itself (measured: half the
// time of a 50 MiB fetch); the kernel may back it with huge pages instead.
void ReserveBody(Bytes& body, std::uint64_t announced) {
    const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(announced, kMaxReserve));
    if (size <= body.capacity()) return;
    body.reserve(size);
    constexpr std::uintptr_t kHuge = 2u << 20;
    if (size < 4 * kHuge) return;
    const auto begin = reinterpret_cast<std::uintptr_t>(body.data());
    const std::uintptr_t firstHuge = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t lastHuge = (begin + body.capacity()) & ~(kHuge - 1);
    if (lastHuge > firstHuge)
        madvise(reinterpret_cast<void*>(firstHuge), lastHuge - firstHuge, MADV_HUGEPAGE);
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    if (t->abandoned.load(std::memory_order_relaxed)) return 0;
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    try {
        // Only the last answer's head counts, after redirects and interim answers.
        if (line.substr(0, 5) == "HTTP/") {
            if (FindText(t->head, "Set-Cookie: ") > 0)
                t->earlierHeads.emplace_back(std::move(t->headUrl), std::move(t->head));
            t->head.clear();
            t->body.clear();
            char* url = nullptr;
            curl_easy_getinfo(t->easy, CURLINFO_EFFECTIVE_URL, &url);
            t->headUrl = url ? url : "";
        }
        t->head.append(line);
        t->head += "\r\n";
        if (line.empty()) return length;
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos &&
            EqualsIgnoringCase(line.substr(0, colon), "Content-Length")) {
            const std::string_view value = TrimBlanks(line.substr(colon + 1));
            std::uint64_t announced = 0;
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), announced);
            if (ec == std::errc()) ReserveBody(t->body, announced);
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return length;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    if (t->abandoned.load(std::memory_order_relaxed)) return 0;
    try {
        auto* p = reinterpret_cast<const std::uint8_t*>(data);
        t->body.insert(t->body.end(), p, p + length);
    } catch (const std::bad_alloc&) {
        return 0;  // the body keeps what fitted
    }
    return length;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    // Also called while the connection is quiet, so a waiting transfer that
    // nobody wants any more ends soon.
    return static_cast<Transfer*>(user)->abandoned.load(std::memory_order_relaxed) ? 1 : 0;
}

void Perform(Transfer& t) {
    CURL* h = curl_easy_init();
    if (!h) return;
    t.easy = h;
    curl_slist* headers = nullptr;
    bool listComplete = true;
    for (const std::string& line : t.headerLines) {
        curl_slist* grown = curl_slist_append(headers, line.c_str());
        if (!grown) {
            listComplete = false;
            break;
        }
        headers = grown;
    }
    if (listComplete) {
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_URL, t.url.c_str());
        curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kBufferSize);
        curl_easy_setopt(h, CURLOPT_USERAGENT, t.agent.c_str());
        curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
        if (t.post) {
            curl_easy_setopt(h, CURLOPT_POST, 1L);
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(t.postData.size()));
            // Never a null pointer: libcurl would then read the body from stdin.
            static const char kNone[] = "";
            curl_easy_setopt(
                h, CURLOPT_POSTFIELDS,
                t.postData.empty() ? kNone : reinterpret_cast<const char*>(t.postData.data()));
        }
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, t.followRedirects ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
        // A secure request never falls back to plain http on a redirect.
        curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, t.secure ? "https" : "http,https");
        // "" also keeps libcurl away from the environment's proxy variables.
        curl_easy_setopt(h, CURLOPT_PROXY, t.proxy.c_str());
        if (!t.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, t.caFile.c_str());
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &OnHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &t);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &t);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &OnProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t);
        // A failed transfer is not reported: the body holds what arrived.
        curl_easy_perform(h);
    }
    curl_easy_cleanup(h);
    curl_slist_free_all(headers);
}

// A host name or address as a connection takes it; anything else (a user
// name, blanks, bytes beyond ASCII) would change where the request goes.
bool IsPlainHost(std::string_view host) {
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_';
    });
}

bool HasHeaderLine(const std::vector<std::string>& lines, std::string_view name) {
    for (const std::string& line : lines) {
        const std::size_t end = line.find_first_of(":;");
        if (end != std::string::npos &&
            EqualsIgnoringCase(TrimBlanks(std::string_view(line).substr(0, end)), name)) {
            return true;
        }
    }
    return false;
}

// The block as libcurl takes it: one entry per line. A header whose value is
// empty is written "Name;", since libcurl drops "Name:" lines; lines that hold
// a lone line break or a zero byte would change the head's framing and go.
std::vector<std::string> HeaderLines(std::string_view block) {
    std::vector<std::string> lines;
    for (std::string_view line : Split(block, "\r\n")) {
        if (line.empty() || HasLineBreakOrZero(line)) continue;
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && TrimBlanks(line.substr(colon + 1)).empty()) {
            lines.push_back(std::string(line.substr(0, colon)) + ";");
        } else {
            lines.emplace_back(line);
        }
    }
    return lines;
}

}  // namespace

Text UrlHost(std::string_view url, bool keepPort) {
    Text lower = AsciiLower(url);
    if (lower.empty() || lower.back() != '/') lower += '/';
    std::size_t begin;
    if (lower.starts_with("https://")) {
        begin = 8;
    } else {
        const std::size_t at = lower.find("http://");
        begin = at == Text::npos ? 7 : at + 7;
        if (at == Text::npos) lower.insert(0, "http://");
    }
    Text host = lower.substr(begin, lower.find('/', begin) - begin);
    if (!keepPort) host = host.substr(0, host.find(':'));
    return host;
}

int UrlPort(std::string_view url) {
    const Text host = UrlHost(url, true);
    const std::size_t colon = host.rfind(':');
    if (colon == Text::npos) return AsciiLower(url.substr(0, 5)) == "https" ? 443 : 80;
    const double value = LeadingNumber(std::string_view(host).substr(colon + 1));
    if (!(value > -2147483648.0 && value < 2147483648.0)) return -1;
    return static_cast<int>(value);
}

Text UrlPath(std::string_view url) {
    const int hostAt = FindText(url, UrlHost(url));
    if (hostAt == 0) return "/";
    const std::size_t slash = url.find('/', static_cast<std::size_t>(hostAt - 1));
    if (slash == std::string_view::npos) return "/";
    return Text(url.substr(slash));
}

Text WebAccess::TimeoutText() {
    static const Text text =
        "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。"_gbk;
    return text;
}

WebAccess::WebAccess(EventPump& pump, NetConfig config, CookieStore& cookies)
    : pump_(&pump), config_(std::move(config)), cookies_(&cookies) {}

std::size_t WebAccess::RunningWorkers() {
    return runningWorkers.load();
}

Bytes WebAccess::Fetch(const Text& url, int method, const Text& proxy, const Text& extraHeaders,
                       const Bytes& postData, const Text& cookies,
                       std::optional<int> timeoutSeconds, Text* responseHeaders,
                       Text* returnedCookies, bool noRedirect) {
    Text copy = url;
    return Fetch(copy, method, proxy, extraHeaders, postData, cookies, timeoutSeconds,
                 responseHeaders, returnedCookies, noRedirect);
}

Bytes WebAccess::Fetch(Text& url, int method, const Text& proxy, const Text& extraHeaders,
                       const Bytes& postData, const Text& cookies,
                       std::optional<int> timeoutSeconds, Text* responseHeaders,
                       Text* returnedCookies, bool noRedirect) {
    if (TrimBlanks(url).empty()) return {};
    // Events that run during the wait may drop this object: nothing of it is
    // touched after the request has started.
    EventPump& pump = *pump_;
    CookieStore& store = *cookies_;
    if (!url.starts_with("http://") && !url.starts_with("https://")) url.insert(0, "http://");

    auto failed = [&]() -> Bytes {
        if (responseHeaders) responseHeaders->clear();
        if (returnedCookies) returnedCookies->clear();
        return {};
    };
    static const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    if (!curlReady) return failed();

    auto t = std::make_shared<Transfer>();
    t->post = method == 1;
    // The scheme decides, not an "https://" further on (a query naming
    // another address, say), which would send a plain-HTTP host TLS.
    t->secure = AsciiLower(url).starts_with("https://");
    const Text host = UrlHost(url);
    int port = t->secure ? 443 : UrlPort(url);
    if (port == 0) port = 80;  // no number after the colon: the service's own port
    if (port < 0 || port > 65535 || !IsPlainHost(host)) return failed();
    t->url = (t->secure ? "https://" : "http://") + host + ":" + ToText(port) +
             WireUrl(UrlPath(url), 936);

    const int agentAt = FindText(extraHeaders, "User-Agent:");
    if (agentAt > 0) {
        std::string_view rest = std::string_view(extraHeaders).substr(agentAt - 1 + 11);
        rest = TrimBlanks(rest.substr(0, rest.find("\r\n")));
        // The agent goes out as a header line of its own: a line break or
        // zero byte in it would add lines that nobody asked for.
        t->agent = Text(rest.substr(0, rest.find_first_of(std::string_view("\r\n\0", 3))));
    } else {
        t->agent = kDefaultAgent;
    }

    Text block = extraHeaders;
    if (!FindText(block, "Accept")) block += "Accept: " + Text(kAccept) + "\r\n";
    if (FindText(block, "RefererNo")) {
        const std::size_t at = block.find("RefererNo");
        if (at != Text::npos) block.erase(at, 9);
    } else if (!FindText(block, "Referer")) {
        block += "Referer: " + url + "\r\n";
    }
    if (!FindText(block, "Accept-Language")) block += "Accept-Language: zh-cn\r\n";
    if (t->post && !postData.empty()) {
        if (!FindText(block, "Content-Type"))
            block += "Content-Type: application/x-www-form-urlencoded\r\n";
        if (!FindText(block, "Content-Length"))
            block += "Content-Length: " + ToText(static_cast<long long>(postData.size())) + "\r\n";
    }
    if (!TrimBlanks(cookies).empty()) {
        block += "Cookie: " + cookies + "\r\n\r\n";
    } else {
        const Text kept = store.CookieLine(host);
        if (!kept.empty()) block += "Cookie: " + kept + "\r\n";
    }
    t->headerLines = HeaderLines(block);
    // libcurl adds headers of its own unless the block names them; only what
    // the block holds goes out, besides Host and User-Agent.
    for (const char* own : {"Accept", "Expect", "Content-Type", "Content-Length"}) {
        if (!HasHeaderLine(t->headerLines, own)) t->headerLines.push_back(std::string(own) + ":");
    }
    if (t->post && !postData.empty() && !HasHeaderLine(t->headerLines, "Content-Length")) {
        // A body needs its length on the wire, whatever the block says.
        std::erase(t->headerLines, std::string("Content-Length:"));
    }
    t->postData = postData;
    t->proxy = t->secure ? std::string() : proxy;
    t->followRedirects = !noRedirect;
    t->caFile = config_.caFile;

    ++runningWorkers;
    try {
        std::thread([t]() mutable {
            Perform(*t);
            {
                std::lock_guard lock(t->mutex);
                t->done = true;
            }
            t->finished.notify_all();
            t.reset();
            --runningWorkers;
        }).detach();
    } catch (const std::system_error&) {
        --runningWorkers;
        return failed();
    }

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto limit =
        std::chrono::milliseconds(timeoutSeconds ? static_cast<long long>(*timeoutSeconds) * 1000
                                                 : kDefaultTimeoutSeconds * 1000LL);
    for (;;) {
        bool done;
        {
            std::unique_lock lock(t->mutex);
            const auto left = limit - (Clock::now() - start);
            const auto slice =
                std::clamp<Clock::duration>(left, Clock::duration::zero(), kWaitSlice);
            done = t->finished.wait_for(lock, slice, [&] { return t->done; });
        }
        const bool timedOut = Clock::now() - start >= limit;
        pump.ProcessPendingEvents();
        if (timedOut) {
            t->abandoned.store(true);
            const Text& text = TimeoutText();
            return Bytes(text.begin(), text.end());
        }
        if (done) break;
    }

    // Like the system's store, the one here also keeps what redirects set,
    // under the host that set it; the caller hears of the last answer only.
    for (const auto& [hopUrl, head] : t->earlierHeads) {
        for (const SetCookieLine& cookie : ParseSetCookieLines(head))
            store.Set(UrlHost(hopUrl), cookie.name, cookie.data);
    }
    const std::vector<SetCookieLine> set = ParseSetCookieLines(t->head);
    Text pairs;
    for (const SetCookieLine& cookie : set) {
        pairs += cookie.pair + ";";
        store.Set(host, cookie.name, cookie.data);
    }
    if (responseHeaders) *responseHeaders = t->head;
    if (returnedCookies) *returnedCookies = std::move(pairs);
    return std::move(t->body);
}

}  // namespace box
