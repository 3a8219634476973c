#pragma once
// Turning a catalog entry's download source into a direct download URL.
//
// A source is a direct URL, a 360 Cloud Drive short share link (optionally
// followed by "|" and the extraction password), a Tongbupan share link (long
// or short), or else a path in the maker's Baidu Netdisk folder. The three
// services are reached through their web interfaces at the hosts that the
// configuration names; the paths, query keys and post keys are the services'
// own. Nothing here reports an error: a source that cannot be resolved gives "".
//
// Everything runs on the user-interface thread and lets the pump's events run
// while it waits, so handlers may be re-entered during a resolution.

#include <optional>

#include "net/NetConfig.h"
#include "support/Text.h"

namespace box {

class CookieStore;
class EventPump;
class HttpRequest;

// Where the three services live. A host may carry a port ("host:8080"); the
// 360 listing and download requests and the Tongbupan final redirect drop it
// all the same, as the services' own pages do.
struct ServiceHosts {
    Text yunpanShortHost{};     // 360 Cloud Drive short share links
    Text tongbupanWebHost{};    // Tongbupan web pages ("https://" and "http://")
    Text tongbupanShortHost{};  // Tongbupan short links
    Text baiduApiHost{};        // Baidu Netdisk web API
};

struct ResolveContext {
    EventPump& pump;
    // The box's shared download request object: the 360 exchange runs
    // through it so that its cookies carry from one answer to the next.
    HttpRequest& downloadRequest;
    NetConfig net{};
    ServiceHosts hosts{};
    // The catalog's "下载源" of section "盒子": the Baidu session cookies.
    Text boxDownloadSource{};
    // The cookie store of the Tongbupan page requests; nullptr: the process's.
    CookieStore* webCookies = nullptr;
    // Seconds for each page request in place of the request objects' own
    // defaults (10/10/60/120 s for the request object, 60 s for the web
    // access); the short-link redirects keep theirs.
    std::optional<int> requestTimeoutSeconds{};
};

// The direct download URL for source, or "" when it is a share reference
// that did not resolve in three attempts 1000 ms apart. A direct "http://" or
// "https://" URL comes back unchanged without a request. A Tongbupan short
// link that leads somewhere is replaced in source by the long link.
Text ResolveShareLink(Text& source, const ResolveContext& context);

// The direct URL of the first entry (by name) of a 360 share, through
// request. An empty password skips the password check.
Text Resolve360Share(const Text& link, const Text& password, HttpRequest& request,
                     const ResolveContext& context);

// The direct URL of the first item of a Tongbupan share. A short link is
// first replaced in source by the long link it redirects to; when it leads
// nowhere, source itself is returned.
Text ResolveTongbupanLink(Text& source, const ResolveContext& context);

// The direct URL of the file at path below the maker's Baidu Netdisk folder,
// asked for with the session cookies in cookie.
Text ResolveBaiduPath(const Text& path, const Text& cookie, const ResolveContext& context);

}  // namespace box
