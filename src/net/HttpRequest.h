#pragma once
// The box's HTTP client. It forwards the members of its service object (an
// HttpSession) and adds the three requests the rest of the box uses:
// FetchText, FetchBytes and GetRedirectLocation.
//
// What one request leaves in the service object stays for the next request
// through the same object: the cookies that answers set, the redirect switch
// (off for good after GetRedirectLocation), the time-outs and the proxy.
// Copies share the service object. No operation reports an error: a failed
// request gives an empty result (0, "", no bytes).

#include <istream>
#include <memory>

#include "net/Charset.h"
#include "net/HttpSession.h"
#include "net/NetConfig.h"
#include "net/ProxySettings.h"
#include "support/Text.h"

namespace box {

class EventPump;

// The arguments of FetchText and FetchBytes besides the URL. Left out, each
// has the meaning given here.
struct FetchOptions {
    Text postText{};  // a non-empty body makes the request a POST
    // -2: the service's own text of the body; -1: the body bytes up to the
    // first zero byte; other values: DecodePageText with that code. FetchText only.
    int charset = kCharsetDetect;
    // -1: the time-outs stay as they are; below 1: 10/10/60/120 seconds;
    // otherwise this many seconds for all four. FetchBytes uses the whole seconds.
    double timeoutSeconds = 0;
    // "" or "-1": the proxy stays as it is; "IE": the system proxy; otherwise
    // the proxy server.
    Text proxy{};
    bool sync = false;  // false: asynchronous, then a bounded wait
    Bytes postBytes{};  // takes precedence over postText
    Text referer{};     // "" : the URL itself
    // The Cookie header; "-1" sends it empty. When empty, the object's stored
    // cookies are used. cookiesUsed, when given, receives what was used.
    Text cookies{};
    Text* cookiesUsed = nullptr;
    bool keepCookies = false;  // the answer's cookies become the stored cookies
    Text contentType{};        // "" : "application/x-www-form-urlencoded"
    Text userAgent{};          // "" : kDefaultUserAgent
    Text extraHeaders{};       // "Name: value" lines separated by "\r\n"
};

class HttpRequest {
public:
    static constexpr const char* kDefaultUserAgent =
        "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)";
    static constexpr const char* kLegacyUserAgent =
        "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";
    static constexpr const char* kFormContentType = "application/x-www-form-urlencoded";

    // The object comes with its service object. Asynchronous waits and the
    // proxy step let the pump's events run. config holds what the box's
    // configuration decided for every request (CA file, system proxy).
    explicit HttpRequest(EventPump& pump, NetConfig config = {});
    virtual ~HttpRequest();
    HttpRequest(const HttpRequest& other);
    HttpRequest& operator=(const HttpRequest& other);

    // GetRedirectLocation in its older form: synchronous, an older agent, no
    // Referer, the URL used as given.
    virtual Text GetLocationLegacy(const Text& url);
    virtual void Recreate();
    virtual void Create();
    // A URL without "http://" or "https://" (any case) gets "http://" in front;
    // url receives the completed text.
    virtual bool Open(const Text& method, Text& url, bool async = false);
    virtual std::shared_ptr<HttpSession> GetAutomationObject() const;
    virtual int Status() const;
    virtual Text StatusText() const;
    virtual Text ResponseText() const;
    virtual Bytes ResponseBody() const;
    virtual std::unique_ptr<std::istream> ResponseStream() const;
    // Sets the option first when a value is given, then returns its value.
    virtual OptionValue Option(int index, const OptionValue& value = {});
    virtual bool SetProxy(int setting = kProxyNamed, const Text& server = {},
                          const Text& bypass = {});
    virtual bool SetCredentials(const Text& user, const Text& password, int flags = 0);
    virtual bool SetRequestHeader(const Text& name, const Text& value);
    virtual Text GetResponseHeader(const Text& name) const;
    virtual Text GetAllResponseHeaders() const;
    // Non-empty postBytes go out as the body; otherwise non-empty postText
    // (converted to UTF-8); otherwise no body.
    virtual bool Send(const Text& postText = {}, const Bytes& postBytes = {});
    virtual bool WaitForResponse(double seconds);
    virtual void Abort();
    // Milliseconds; a connect, send or receive value of 0 or less takes the
    // resolve value.
    virtual void SetTimeouts(int resolve, int connect, int send, int receive);
    virtual bool SetClientCertificate(const Text& name);
    virtual bool SetAutoLogonPolicy(int policy);
    // The value of a cookie that the last answer set.
    virtual Text GetResponseCookie(const Text& name) const;
    // The answer's "Set-Cookie:" lines, each followed by "\r\n".
    virtual Text GetSetCookieLines() const;
    virtual Text FetchText(const Text& url, const FetchOptions& options = {});
    // The body is handed over: afterwards ResponseBody is empty.
    virtual Bytes FetchBytes(const Text& url, const FetchOptions& options = {});
    virtual void ClearCookies();
    // The Location header of the answer to a GET that does not follow
    // redirects; redirects stay off for this object afterwards.
    virtual Text GetRedirectLocation(Text& url, bool sync = false, const Text& referer = {});
    Text GetRedirectLocation(const Text& url, bool sync = false, const Text& referer = {});
    virtual void Reset();
    virtual int GetStatusCode(Text& url, bool sync = false);
    int GetStatusCode(const Text& url, bool sync = false);
    // The answer's cookies as one text: "name=value; attributes; " per cookie.
    virtual Text GetResponseCookies() const;

    const Text& StoredCookies() const { return storedCookies_; }

private:
    bool Perform(const Text& url, const FetchOptions& options, double timeoutSeconds);
    bool StillCurrent(const std::shared_ptr<HttpSession>& session, std::uint64_t id) const;

    EventPump* pump_;
    NetConfig config_;
    std::shared_ptr<HttpSession> session_;
    Text storedCookies_;
};

}  // namespace box
