#include "net/HttpRequest.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "support/EventPump.h"
#include "support/TextSearch.h"

namespace box {

namespace {

constexpr const char* kAcceptAnything =
    "image/gif, image/x-xbitmap, image/jpeg, imagepeg, application/x-shockwave-flash, "
    "application/x-silverlight, */*";

int SecondsToMs(double seconds) {
    double ms = seconds * 1000.0;
    if (!(ms < static_cast<double>(INT_MAX))) return INT_MAX;
    return static_cast<int>(ms);
}

// The int the whole-seconds variant works with; out-of-range values are
// clamped rather than left to undefined conversion.
int WholeSeconds(double seconds) {
    if (seconds != seconds) return 0;
    if (seconds >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (seconds <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(std::trunc(seconds));
}

// The value after marker up to the end of the cookie's first pair. A pair
// ends at ";" or, for a cookie without attributes, at the end of its line.
Text CookieValueAfter(const Text& headers, const Text& marker) {
    std::size_t at = headers.find(marker);
    if (at == Text::npos) return {};
    std::size_t begin = at + marker.size();
    std::size_t end = headers.find_first_of(";\r\n", begin);
    if (end == Text::npos) end = headers.size();
    return headers.substr(begin, end - begin);
}

std::string_view AsChars(const Bytes& bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

HttpRequest::HttpRequest(EventPump& pump, NetConfig config)
    : pump_(&pump), config_(std::move(config)) {
    Create();
}

HttpRequest::~HttpRequest() = default;

HttpRequest::HttpRequest(const HttpRequest& other) = default;

HttpRequest& HttpRequest::operator=(const HttpRequest& other) = default;

Text HttpRequest::GetLocationLegacy(const Text& url) {
    if (!session_) return {};
    Option(kOptionEnableRedirects, 0LL);
    SetTimeouts(5000, 5000, 10000, 5000);
    if (!session_->Open("GET", url, false)) return {};
    SetRequestHeader("User-Agent", kLegacyUserAgent);
    SetRequestHeader("Accept-Language", "zh-cn");
    SetRequestHeader("Connection", "Keep-Alive");
    SetRequestHeader("Accept", kAcceptAnything);
    Send();
    return GetResponseHeader("Location");
}

void HttpRequest::Recreate() {
    session_.reset();
    Create();
}

void HttpRequest::Create() {
    session_ = HttpSession::Create(config_.caFile);
}

bool HttpRequest::Open(const Text& method, Text& url, bool async) {
    if (!session_) return false;
    Text scheme = AsciiLower(url.substr(0, 8));
    if (scheme.rfind("http://", 0) != 0 && scheme.rfind("https://", 0) != 0) url = "http://" + url;
    return session_->Open(method, url, async);
}

std::shared_ptr<HttpSession> HttpRequest::GetAutomationObject() const {
    return session_;
}

int HttpRequest::Status() const {
    return session_ ? session_->Status() : 0;
}

Text HttpRequest::StatusText() const {
    return session_ ? session_->StatusText() : Text();
}

Text HttpRequest::ResponseText() const {
    return session_ ? session_->ResponseText() : Text();
}

Bytes HttpRequest::ResponseBody() const {
    return session_ ? session_->ResponseBody() : Bytes();
}

std::unique_ptr<std::istream> HttpRequest::ResponseStream() const {
    Bytes body = ResponseBody();
    return std::make_unique<std::istringstream>(std::string(body.begin(), body.end()));
}

OptionValue HttpRequest::Option(int index, const OptionValue& value) {
    if (!session_) return {};
    if (!std::holds_alternative<std::monostate>(value)) session_->SetOption(index, value);
    return session_->GetOption(index);
}

bool HttpRequest::SetProxy(int setting, const Text& server, const Text& bypass) {
    return session_ && session_->SetProxy(setting, server, bypass);
}

bool HttpRequest::SetCredentials(const Text& user, const Text& password, int flags) {
    return session_ && session_->SetCredentials(user, password, flags);
}

bool HttpRequest::SetRequestHeader(const Text& name, const Text& value) {
    return session_ && session_->SetRequestHeader(name, value);
}

Text HttpRequest::GetResponseHeader(const Text& name) const {
    return session_ ? session_->GetResponseHeader(name) : Text();
}

Text HttpRequest::GetAllResponseHeaders() const {
    return session_ ? session_->GetAllResponseHeaders() : Text();
}

bool HttpRequest::Send(const Text& postText, const Bytes& postBytes) {
    if (!session_) return false;
    if (!postBytes.empty()) return session_->Send(AsChars(postBytes));
    // A text body goes out as UTF-8, the way form posts are read today.
    if (!postText.empty()) return session_->Send(GbkToUtf8(postText));
    return session_->Send({});
}

bool HttpRequest::WaitForResponse(double seconds) {
    return session_ && session_->WaitForResponse(seconds, pump_);
}

void HttpRequest::Abort() {
    if (session_) session_->Abort();
}

void HttpRequest::SetTimeouts(int resolve, int connect, int send, int receive) {
    if (!session_) return;
    HttpTimeouts t;
    t.resolveMs = resolve;
    t.connectMs = connect <= 0 ? resolve : connect;
    t.sendMs = send <= 0 ? resolve : send;
    t.receiveMs = receive <= 0 ? resolve : receive;
    session_->SetTimeouts(t);
}

bool HttpRequest::SetClientCertificate(const Text& name) {
    return session_ && session_->SetClientCertificate(name);
}

bool HttpRequest::SetAutoLogonPolicy(int policy) {
    return session_ && session_->SetAutoLogonPolicy(policy);
}

Text HttpRequest::GetResponseCookie(const Text& name) const {
    Text headers = GetAllResponseHeaders();
    Text value = CookieValueAfter(headers, "Set-Cookie: " + name + "=");
    if (value.empty()) value = CookieValueAfter(headers, "Set-Cookie:" + name + "=");
    return value;
}

Text HttpRequest::GetSetCookieLines() const {
    Text lines;
    for (const Text& line : Split(GetAllResponseHeaders(), "\r\n")) {
        if (line.rfind("Set-Cookie:", 0) == 0) lines += line + "\r\n";
    }
    return lines;
}

Text HttpRequest::GetResponseCookies() const {
    return ReplaceAll(ReplaceAll(GetSetCookieLines(), "Set-Cookie: ", ""), "\r\n", "; ");
}

bool HttpRequest::StillCurrent(const std::shared_ptr<HttpSession>& session,
                               std::uint64_t id) const {
    return session_ == session && session && session->RequestId() == id;
}

bool HttpRequest::Perform(const Text& url, const FetchOptions& o, double timeoutSeconds) {
    if (!session_) return false;
    const Text trimmed = Text(TrimBlanks(url));
    const bool post = !o.postText.empty() || !o.postBytes.empty();
    Text opened = trimmed;
    if (!Open(post ? "POST" : "GET", opened, !o.sync)) return false;
    // Window events run during this call; they may use this object too.
    const std::shared_ptr<HttpSession> session = session_;
    const std::uint64_t id = session->RequestId();

    SetRequestHeader("Referer", o.referer.empty() ? trimmed : o.referer);
    SetRequestHeader("Content-Type", o.contentType.empty() ? kFormContentType : o.contentType);
    SetRequestHeader("User-Agent", o.userAgent.empty() ? kDefaultUserAgent : o.userAgent);
    if (!o.extraHeaders.empty()) {
        for (const Text& line : Split(o.extraHeaders, "\r\n")) {
            // A value that itself holds ": " is cut there.
            std::vector<Text> parts = Split(line, ": ");
            if (parts.size() >= 2 && !parts[0].empty() && !parts[1].empty()) {
                SetRequestHeader(parts[0], parts[1]);
            }
        }
    }

    Text cookies = o.cookies;
    if (!storedCookies_.empty() && cookies.empty()) cookies = storedCookies_;
    if (o.cookiesUsed) *o.cookiesUsed = cookies;
    if (cookies == "-1") {
        SetRequestHeader("Cookie", "");
    } else if (!cookies.empty()) {
        SetRequestHeader("Cookie", cookies);
    }

    if (timeoutSeconds != -1) {
        if (!(timeoutSeconds >= 1)) {
            SetTimeouts(10000, 10000, 60000, 120000);
        } else {
            int ms = SecondsToMs(timeoutSeconds);
            SetTimeouts(ms, ms, ms, ms);
        }
    }

    if (!o.proxy.empty() && o.proxy != "-1") {
        Text server = o.proxy == "IE" ? config_.systemProxy : o.proxy;
        pump_->ProcessPendingEvents();
        if (!StillCurrent(session, id)) return false;
        if (!server.empty()) {
            SetProxy(kProxyNamed, server, "");
        } else {
            SetProxy(kProxyDefault, "", "");
        }
    }

    Send(o.postText, o.postBytes);
    if (!o.sync) WaitForResponse(timeoutSeconds >= 1 ? timeoutSeconds : 120);
    // An event handler that sent its own request through this object while we
    // waited owns the answer now.
    if (!StillCurrent(session, id)) return false;
    if (o.keepCookies) storedCookies_ = GetResponseCookies();
    return session->IsComplete();
}

Text HttpRequest::FetchText(const Text& url, const FetchOptions& options) {
    if (!Perform(url, options, options.timeoutSeconds)) return {};
    if (options.charset == -2) return ResponseText();
    if (options.charset == -1) return UpToFirstZero(AsChars(session_->ResponseBody()));
    // Decoding lets window events run, and a handler that sends a request
    // through this object replaces the session's body: decode a copy.
    const Bytes body = session_->ResponseBody();
    return DecodePageText(body, options.charset, nullptr, pump_);
}

Bytes HttpRequest::FetchBytes(const Text& url, const FetchOptions& options) {
    if (!Perform(url, options, WholeSeconds(options.timeoutSeconds))) return {};
    return session_->TakeResponseBody();
}

void HttpRequest::ClearCookies() {
    storedCookies_.clear();
}

Text HttpRequest::GetRedirectLocation(Text& url, bool sync, const Text& referer) {
    if (!session_) return {};
    Option(kOptionEnableRedirects, 0LL);
    SetTimeouts(5000, 5000, 10000, 5000);
    url = Text(TrimBlanks(url));
    if (!Open("GET", url, !sync)) return {};
    const std::shared_ptr<HttpSession> session = session_;
    const std::uint64_t id = session->RequestId();
    SetRequestHeader("User-Agent", kDefaultUserAgent);
    SetRequestHeader("Accept-Language", "zh-cn");
    SetRequestHeader("Connection", "Keep-Alive");
    SetRequestHeader("Accept", kAcceptAnything);
    // The address as opened, so a bare host still gives a full Referer.
    SetRequestHeader("Referer", referer.empty() ? url : referer);
    Send();
    if (!sync) WaitForResponse(25);
    if (!StillCurrent(session, id)) return {};
    return GetResponseHeader("Location");
}

Text HttpRequest::GetRedirectLocation(const Text& url, bool sync, const Text& referer) {
    Text copy = url;
    return GetRedirectLocation(copy, sync, referer);
}

void HttpRequest::Reset() {
    Recreate();
    ClearCookies();
}

int HttpRequest::GetStatusCode(Text& url, bool sync) {
    if (!session_) return 0;
    Option(kOptionEnableRedirects, 0LL);
    SetTimeouts(5000, 5000, 10000, 5000);
    url = Text(TrimBlanks(url));
    if (!Open("GET", url, !sync)) return 0;
    const std::shared_ptr<HttpSession> session = session_;
    const std::uint64_t id = session->RequestId();
    Send();
    if (!sync) WaitForResponse(25);
    if (!StillCurrent(session, id)) return 0;
    return Status();
}

int HttpRequest::GetStatusCode(const Text& url, bool sync) {
    Text copy = url;
    return GetStatusCode(copy, sync);
}

}  // namespace box
