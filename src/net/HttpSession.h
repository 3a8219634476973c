#pragma once
// The HTTP service object behind HttpRequest: one libcurl handle with a cookie
// jar of its own, its options (redirects, time-outs, proxy, credentials) and
// the last request with its answer.
//
// A request is opened, given headers, sent, and its answer read once it is
// complete. Everything runs on the calling thread: a synchronous Send returns
// with the answer, an asynchronous one makes progress inside WaitForResponse,
// which lets window events run while it waits. Getters give empty values (0,
// "", no bytes) until an answer is complete, and after a failure.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <variant>
#include <vector>

#include "net/NetConfig.h"
#include "net/ProxySettings.h"
#include "net/ResponseHead.h"
#include "support/Text.h"

typedef void CURL;
typedef void CURLM;
struct curl_slist;

namespace box {

class EventPump;

// Milliseconds; 0 or less means no limit of our own.
struct HttpTimeouts {
    int resolveMs = 0;
    int connectMs = 60000;
    int sendMs = 30000;
    int receiveMs = 30000;
    bool operator==(const HttpTimeouts&) const = default;
};

// An option value: none (when only reading), a number or a text.
using OptionValue = std::variant<std::monostate, long long, Text>;

// Option indexes the service object knows.
constexpr int kOptionUserAgent = 0;        // Text: agent when a request sets none
constexpr int kOptionUrl = 1;              // Text, read only: the address answered last
constexpr int kOptionUrlCodePage = 2;      // 65001 (UTF-8) or 936: bytes of non-ASCII URLs
constexpr int kOptionEnableRedirects = 6;  // 0/1, default 1
constexpr int kOptionHttpsToHttp = 12;     // 0/1, default 0: may https redirect to http
constexpr int kOptionMaxRedirects = 14;    // default 10
constexpr int kOptionEnableHttp11 = 17;    // 0/1, default 1; 0 speaks HTTP/1.0

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    // nullptr when libcurl cannot make a handle. caFile: see NetConfig.
    static std::shared_ptr<HttpSession> Create(const std::string& caFile = {});
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    // Starts a new request; a request still running is aborted. The URL is
    // GBK text; non-ASCII bytes and blanks are percent-encoded for the wire.
    bool Open(const Text& method, const Text& url, bool async);
    // Sets (or replaces) a header of the opened request. An empty value sends
    // the header empty. Names and values holding line breaks are refused.
    bool SetRequestHeader(const Text& name, const Text& value);
    // Sends the opened request with body (may be empty). Synchronous: returns
    // whether an answer came. Asynchronous: returns at once.
    bool Send(std::string_view body);
    // Waits up to seconds (negative: no limit) for the answer, running the pump
    // now and then. True when the answer is complete.
    bool WaitForResponse(double seconds, EventPump* pump);
    void Abort();

    int Status() const;
    Text StatusText() const;
    // The body as GBK text: through the charset that Content-Type names, else
    // by detection.
    Text ResponseText() const;
    const Bytes& ResponseBody() const;
    // Hands the body over without a copy; the session keeps no body after it.
    Bytes TakeResponseBody();
    Text GetResponseHeader(const Text& name) const;
    // Every header line of the answer ("Name: value\r\n"), then "\r\n".
    Text GetAllResponseHeaders() const;

    OptionValue GetOption(int index) const;
    bool SetOption(int index, const OptionValue& value);
    // See ProxySettings::Set.
    bool SetProxy(int setting, const Text& server, const Text& bypass);
    // flags 0: the server's credentials, 1: the proxy's. For the opened request.
    bool SetCredentials(const Text& user, const Text& password, int flags);
    void SetTimeouts(const HttpTimeouts& timeouts) { timeouts_ = timeouts; }
    const HttpTimeouts& Timeouts() const { return timeouts_; }
    // A PEM file holding the client certificate and its key.
    bool SetClientCertificate(const Text& path);
    // 0: always offer the user's Kerberos credentials when a server asks,
    // 1: only without a proxy, 2: never (the default).
    bool SetAutoLogonPolicy(int policy);

    // Changes with every Open, so a caller can tell whether the answer it waits
    // for is still the session's current one.
    std::uint64_t RequestId() const { return requestId_; }
    bool IsComplete() const { return state_ == State::kDone; }

private:
    enum class State { kIdle, kOpened, kInFlight, kDone, kFailed };
    using Clock = std::chrono::steady_clock;

    HttpSession(CURL* easy, CURLM* multi, const std::string& caFile);
    bool Configure(std::string_view body);
    bool Drive(EventPump* pump, const Clock::time_point* deadline);
    void CollectResult();
    void Finish(int curlCode);
    bool IdleTooLong(Clock::time_point now) const;
    void ClearResponse();
    void ReserveBody(std::size_t size);
    std::vector<std::string> ExportCookies() const;
    void ImportCookies(const std::vector<std::string>& lines);

    friend struct HttpSessionCallbacks;

    CURL* easy_;
    CURLM* multi_;
    State state_ = State::kIdle;
    std::uint64_t requestId_ = 0;

    // Options that outlive a request.
    HttpTimeouts timeouts_;
    Text userAgent_ = "Mozilla/4.0 (compatible; Win32; WinHttp.WinHttpRequest.5)";
    long long urlCodePage_ = 65001;
    bool followRedirects_ = true;
    bool httpsToHttp_ = false;
    long long maxRedirects_ = 10;
    bool http11_ = true;
    ProxySettings proxy_;
    std::string clientCertificate_;
    int autoLogonPolicy_ = 2;
    std::string caFile_;

    // The opened request.
    std::string method_;
    std::string url_;  // as sent
    bool async_ = false;
    std::vector<std::pair<Text, Text>> headers_;
    Text user_, password_, proxyUser_, proxyPassword_;
    curl_slist* headerList_ = nullptr;
    std::vector<std::string> cookiesAside_;  // the jar while an explicit Cookie header is sent
    bool cookiesSetAside_ = false;

    // Progress of the running transfer.
    bool connected_ = false;
    std::size_t bodySize_ = 0;
    long long uploaded_ = 0;
    Clock::time_point lastActivity_;

    // The answer.
    int status_ = 0;
    ResponseHead head_;
    Bytes body_;
    // Faults in the pages of a large reserved body while the bytes arrive;
    // stopped and joined before the body moves or goes.
    std::thread populate_;
    std::atomic<bool> stopPopulate_{false};
    void JoinPopulate();
    std::string effectiveUrl_;
};

}  // namespace box
