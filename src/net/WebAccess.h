#pragma once
// One GET or POST that gives the raw body of the answer, for the share-link
// resolvers. The request runs on a worker thread while the calling thread
// keeps the window's events running; after the time-out the call returns a
// fixed message in place of the page, and the request is left to end on its
// own: its late answer reaches nobody.
//
// The request head is built here line by line, in a fixed order, from the
// caller's extra header lines: Accept, Referer and Accept-Language when the
// caller gave none, the form headers of a POST, and the Cookie line last.
// Cookies that answers set are kept per host in a CookieStore and go out with
// later requests to that host that bring no cookies of their own.

#include <cstddef>
#include <optional>
#include <string_view>

#include "net/CookieStore.h"
#include "net/NetConfig.h"
#include "support/Text.h"

namespace box {

class EventPump;

// The host of a URL, lower-cased: after "https://" when the URL starts with
// it, else after the first "http://" (which a URL without one is given), up
// to the next "/". Without keepPort, cut at its first ":".
Text UrlHost(std::string_view url, bool keepPort = false);
// The number after the last ":" of UrlHost(url, true) (0 when none follows);
// without a ":", 443 for a URL that starts with "https" in any case, else 80.
int UrlPort(std::string_view url);
// From the first "/" at or after the host to the end (query included); "/"
// when there is none.
Text UrlPath(std::string_view url);

class WebAccess {
public:
    static constexpr const char* kDefaultAgent =
        "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)";
    static constexpr int kDefaultTimeoutSeconds = 60;

    // The body returned when the time-out ends the wait (GBK).
    static Text TimeoutText();

    // The pump runs while a request is waited for. config gives the CA file
    // for https; its system proxy is not used (the caller names any proxy).
    explicit WebAccess(EventPump& pump, NetConfig config = {},
                       CookieStore& cookies = CookieStore::Process());

    // Fetches url and returns the body as it came off the wire; empty bytes
    // when url is blank or the request fails.
    //  url: a URL that starts neither with "http://" nor "https://" (case
    //       counts) gets "http://" in front, and the variable receives it.
    //  method: 1 for POST, anything else GET.
    //  proxy: for http requests ("host:port"); "" for a direct connection.
    //  extraHeaders: header lines, each ending in "\r\n"; a User-Agent line
    //       among them also names the agent. "RefererNo" anywhere in them
    //       (and taken out) means no Referer line.
    //  postData: the body of a POST; when empty no form headers are sent.
    //  cookies: the Cookie header's value; when blank the store's cookies
    //       for the host are sent instead.
    //  timeoutSeconds: left out, 60; 0 or less times out at once.
    //  responseHeaders: the status line and header lines of the last answer,
    //       each ending in "\r\n", then "\r\n".
    //  returnedCookies: "name=value;" for every Set-Cookie line of the answer.
    //  noRedirect: answers with a redirect are returned, not followed.
    // On time-out the body is TimeoutText() and url is the only output that
    // changes; after a failed request the two outputs are emptied.
    Bytes Fetch(Text& url, int method = 0, const Text& proxy = {}, const Text& extraHeaders = {},
                const Bytes& postData = {}, const Text& cookies = {},
                std::optional<int> timeoutSeconds = std::nullopt, Text* responseHeaders = nullptr,
                Text* returnedCookies = nullptr, bool noRedirect = false);
    Bytes Fetch(const Text& url, int method = 0, const Text& proxy = {},
                const Text& extraHeaders = {}, const Bytes& postData = {}, const Text& cookies = {},
                std::optional<int> timeoutSeconds = std::nullopt, Text* responseHeaders = nullptr,
                Text* returnedCookies = nullptr, bool noRedirect = false);

    // Worker threads still running in this process, abandoned ones included.
    static std::size_t RunningWorkers();

private:
    EventPump* pump_;
    NetConfig config_;
    CookieStore* cookies_;
};

}  // namespace box
