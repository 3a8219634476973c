#include "resolve/ShareLink.h"

#include "net/Charset.h"
#include "net/CookieStore.h"
#include "net/HttpRequest.h"
#include "net/WebAccess.h"
#include "resolve/UrlText.h"
#include "support/EventPump.h"
#include "support/TextSearch.h"

namespace box {

namespace {

constexpr int kAttempts = 3;
constexpr int kAttemptPauseMs = 1000;
constexpr int k360ShortLinkPauseMs = 100;
constexpr int kTongbupanShortLinkPauseMs = 1000;

bool Contains(const Text& text, const Text& what) {
    return FindText(text, what) > 0;
}

bool StartsWithIgnoringCase(const Text& text, std::string_view prefix) {
    return AsciiLower(std::string_view(text).substr(0, prefix.size())) == prefix;
}

// Every occurrence of what, ASCII case ignored, replaced by with.
Text ReplaceAllIgnoringCase(const Text& text, const Text& what, const Text& with) {
    Text out;
    int from = 1;
    for (int at = FindText(text, what, from); at > 0; at = FindText(text, what, from)) {
        out.append(text, static_cast<std::size_t>(from - 1), static_cast<std::size_t>(at - from));
        out += with;
        from = at + static_cast<int>(what.size());
    }
    out.append(text, static_cast<std::size_t>(from - 1));
    return out;
}

FetchOptions PageOptions(const ResolveContext& context) {
    FetchOptions options;
    if (context.requestTimeoutSeconds) options.timeoutSeconds = *context.requestTimeoutSeconds;
    return options;
}

FetchOptions PostOptions(const ResolveContext& context, Text postText) {
    FetchOptions options = PageOptions(context);
    options.postText = std::move(postText);
    return options;
}

bool Is360Share(const Text& source, const ServiceHosts& hosts) {
    return !hosts.yunpanShortHost.empty() &&
           Contains(source, "http://" + hosts.yunpanShortHost + "/");
}

bool IsTongbupanShortLink(const Text& source, const ServiceHosts& hosts) {
    return !hosts.tongbupanShortHost.empty() &&
           Contains(source, "http://" + hosts.tongbupanShortHost);
}

bool IsTongbupanLink(const Text& source, const ServiceHosts& hosts) {
    return (!hosts.tongbupanWebHost.empty() &&
            Contains(source, hosts.tongbupanWebHost + "/link/")) ||
           IsTongbupanShortLink(source, hosts);
}

// One attempt at the source as it reads now.
Text ResolveOnce(Text& source, const ResolveContext& context, bool& direct) {
    const ServiceHosts& hosts = context.hosts;
    if (Is360Share(source, hosts)) {
        const std::vector<Text> pieces = Split(source, "|");
        const Text link = pieces.empty() ? Text() : pieces[0];
        const Text password = pieces.size() > 1 ? pieces[1] : Text();
        return Resolve360Share(link, password, context.downloadRequest, context);
    }
    if (IsTongbupanLink(source, hosts)) return ResolveTongbupanLink(source, context);
    // The transfer engine fetches https as well as http: both are direct.
    if (StartsWithIgnoringCase(source, "http://") || StartsWithIgnoringCase(source, "https://")) {
        direct = true;
        return source;
    }
    return ResolveBaiduPath(source, context.boxDownloadSource, context);
}

}  // namespace

Text ResolveShareLink(Text& source, const ResolveContext& context) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        bool direct = false;
        Text url = ResolveOnce(source, context, direct);
        if (direct || !url.empty()) return url;
        WaitWithEvents(context.pump, kAttemptPauseMs);
    }
    return {};
}

Text Resolve360Share(const Text& link, const Text& password, HttpRequest& request,
                     const ResolveContext& context) {
    EventPump& pump = context.pump;
    Text pageUrl;
    for (int tries = 0; tries < kAttempts && pageUrl.empty(); ++tries) {
        pump.ProcessPendingEvents();
        pageUrl = request.GetRedirectLocation(link);
        if (pageUrl.empty()) WaitWithEvents(pump, k360ShortLinkPauseMs);
    }
    const Text surl = TextBetween(pageUrl, "/", "", true);

    // The answer does not matter: the check's cookies open the share to the
    // requests that follow through the same object.
    if (!password.empty()) {
        request.FetchText("http://" + UrlHostPart(pageUrl) + "/share/verifyPassword",
                          PostOptions(context, "shorturl=" + surl + "&linkpassword=" + password));
    }

    const Text page = request.FetchText(pageUrl, PageOptions(context));
    Text nid = TextBetween(page, "''nid'': ''", "\"");

    // The share pages name their API host without the port they were reached on.
    const Text api = "http://" + UrlHost(pageUrl);
    pump.ProcessPendingEvents();
    const Text listing =
        request.FetchText(api + "/share/listsharedir",
                          PostOptions(context, "field=name&nid=" + nid +
                                                   "&order=asc&page=0&page_size=300&surl=" + surl));
    nid = TextBetween(listing, "''nid'': ''", "\"");

    pump.ProcessPendingEvents();
    const Text answer = request.FetchText(api + "/share/downloadfile/",
                                          PostOptions(context, "nid=" + nid + "&shorturl=" + surl));
    Text url = TextBetween(answer, "''downloadurl'':''", "\"");
    url = ReplaceAll(url, "\\/", "/");
    pump.ProcessPendingEvents();
    return url;
}

Text ResolveTongbupanLink(Text& source, const ResolveContext& context) {
    EventPump& pump = context.pump;
    HttpRequest request(pump, context.net);

    if (IsTongbupanShortLink(source, context.hosts)) {
        Text location;
        for (int tries = 0; tries < kAttempts && location.empty(); ++tries) {
            location = request.GetRedirectLocation(source);
            if (location.empty()) WaitWithEvents(pump, kTongbupanShortLinkPauseMs);
        }
        if (location.empty()) return source;
        source = location;
    }

    const Text& web = context.hosts.tongbupanWebHost;
    CookieStore& cookies = context.webCookies ? *context.webCookies : CookieStore::Process();
    WebAccess access(pump, context.net, cookies);
    Text link;
    for (int tries = 0; tries < kAttempts && link.empty(); ++tries) {
        const Text linkId = TextBetween(source, "link/", "/");
        Text page = DecodePageText(access.Fetch("https://" + web + "/link/folder/" + linkId + "/",
                                                0, {}, {}, {}, {}, context.requestTimeoutSeconds),
                                   kCharsetDetect, nullptr, &pump);
        const Text path = TextBetween(page, "''path'': ''", "\"");
        page = DecodePageText(access.Fetch("https://" + web + "/link/download/?linkid=" + linkId +
                                               "&path=" + UrlEncode(path, &pump),
                                           0, {}, {}, {}, {}, context.requestTimeoutSeconds),
                              kCharsetDetect, nullptr, &pump);
        link = TextBetween(page, "''downloadlink'': ''", "\"");
    }

    const Text location = request.GetRedirectLocation("http://" + web + link);
    return ReplaceAllIgnoringCase(location, "https://", "http://");
}

Text ResolveBaiduPath(const Text& path, const Text& cookie, const ResolveContext& context) {
    HttpRequest request(context.pump, context.net);
    const Text api = "http://" + context.hosts.baiduApiHost;
    const Text dir = UrlEncode("/汀芷软件/"_gbk + path, &context.pump);

    FetchOptions listOptions = PageOptions(context);
    listOptions.cookies = cookie;
    const Text listing = request.FetchText(
        api + "/api/list?channel=chunlei&clienttype=0&web=1&num=100&page=1&dir=" + dir,
        listOptions);
    const Text fsId = TextBetween(listing, "''fs_id'':", ",");

    FetchOptions downloadOptions = PostOptions(context, "fidlist=%5B" + fsId + "%5D&type=dlink");
    downloadOptions.cookies = cookie;
    const Text answer =
        ReplaceAll(request.FetchText(api + "/api/download?channel=chunlei&clienttype=0&web=1",
                                     downloadOptions),
                   "\\/", "/");
    const Text dlink = TextBetween(answer, "''dlink'':''", "''");
    return request.GetRedirectLocation(dlink);
}

}  // namespace box
