#pragma once
// Stand-ins for the three cloud-drive services, on loopback addresses of their
// own. Each answers the requests of a share-link resolution the way the
// service does, with the values that the resolvers cut out of its pages, and
// checks what it receives: the cookies, the post bodies and the query keys.
// A request that fails a check is answered like the service answers a bad
// request (without the value looked for) and noted in Complaints().
//
// Every request that reaches a scripted path of any of a fake's servers is
// logged in order of arrival (Log()). A fault set for a path replaces the
// scripted answer (garbage, 500, a page that never ends, a held answer...).
//
// Used by the tests and by the demo server; no GoogleTest here.

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "LoopbackServer.h"

namespace box::test {

struct LoggedRequest {
    std::string server;  // which of the fake's servers: "short", "share", "web", ...
    RecordedRequest request;
};

// A plain http server's options at address:port (0: any free port).
ServerOptions At(const std::string& address, int port = 0);

// The UTF-8 bytes of text percent-encoded as the services expect a query
// value: letters, digits, ".", "_" and "-" stay, every other byte is %XX.
std::string PercentEncode(const std::string& utf8);

class FakeService {
public:
    virtual ~FakeService() = default;
    std::vector<LoggedRequest> Log() const;
    std::vector<std::string> Complaints() const;
    // path (without query) of any of the fake's servers.
    void SetFault(const std::string& path, Answer answer);
    void ClearFaults();

protected:
    // Logs req, then gives the fault for its path or what script answers.
    void Serve(LoopbackServer& server, const std::string& name, const std::string& path,
               std::function<Answer(const RecordedRequest&)> script);
    void Complain(std::string what);

private:
    mutable std::mutex mutex_;
    std::vector<LoggedRequest> log_;
    std::vector<std::string> complaints_;
    std::map<std::string, Answer> faults_;
};

// 360 Cloud Drive: the short-share host redirects "/<surl>" to the share page
// "/lk/<surl>" on the share host, which also takes the password check, the
// folder listing and the download request.
struct Fake360Options {
    std::string shortAddress = "127.0.0.35";
    int shortPort = 0;
    std::string shareAddress = "127.0.0.36";
    int sharePort = 80;
    // The host the redirect names for the share page; "": the share
    // address (with ":port" unless 80).
    std::string pageHost{};
    std::string surl = "cVkq2wQjPbmNb";
    std::string password{};  // "": an open share
    std::string folderNid = "1450785472";
    // The folder's entries as (name, nid); the listing is sorted by name.
    std::vector<std::pair<std::string, std::string>> entries{{"b-tool.rar", "2200031"},
                                                             {"a-tool.rar", "2200017"}};
    // Where the download request of each entry leads (the same for all).
    std::string downloadUrl = "http://127.0.0.36/dl/17/a-tool.rar?sign=q1";
};

class Fake360Service : public FakeService {
public:
    static constexpr const char* kCookieName = "lk_access";

    explicit Fake360Service(Fake360Options options = {});
    bool ok() const { return short_.ok() && share_.ok(); }
    const Fake360Options& options() const { return options_; }
    // The host the box is configured with, port included.
    std::string ShortHost() const;
    std::string ShortLink() const;  // "http://" + ShortHost() + "/" + surl
    std::string PageUrl() const;
    // Before the first request: how the redirect names the share host.
    void SetPageHost(std::string host) { options_.pageHost = std::move(host); }
    LoopbackServer& shortServer() { return short_; }
    LoopbackServer& shareServer() { return share_; }

private:
    bool HasAccess(const RecordedRequest& request) const;

    Fake360Options options_;
    LoopbackServer short_;
    LoopbackServer share_;
};

// Tongbupan: the short-link host redirects "/<code>" to the long link; the web
// host serves the folder page and the download-link answer over https, and
// the download link's redirect over http.
struct FakeTongbupanOptions {
    std::string webAddress = "127.0.0.37";
    int httpsPort = 443;  // 0: any free port, and no http server
    int httpPort = 80;
    std::string shortAddress = "127.0.0.38";
    int shortPort = 0;
    std::filesystem::path certificate{};  // for webAddress
    std::filesystem::path privateKey{};
    std::string shortCode = "s7Kd";
    std::string linkId = "ZT0xNzQ1";
    // The folder's item paths (UTF-8); the first one is the one to fetch.
    std::vector<std::string> paths{"/汀芷软件/示例 工具.rar", "/汀芷软件/其他.rar"};
    std::string finalLocation = "HTTPS://127.0.0.37/files/sample.rar";
};

class FakeTongbupanService : public FakeService {
public:
    static constexpr const char* kCookieName = "tbp_sid";
    static constexpr const char* kDownloadToken = "d9f3c1";

    explicit FakeTongbupanService(FakeTongbupanOptions options = {});
    bool ok() const;
    const FakeTongbupanOptions& options() const { return options_; }
    std::string WebHost() const;    // for the configuration: address[:https port]
    std::string ShortHost() const;  // address:port
    std::string ShortLink() const;
    std::string LongLink() const;  // "https://" + WebHost() + "/link/" + id + "/"
    LoopbackServer& shortServer() { return *short_; }
    LoopbackServer& webServer() { return *https_; }
    LoopbackServer* plainServer() { return http_.get(); }

private:
    FakeTongbupanOptions options_;
    std::unique_ptr<LoopbackServer> short_;
    std::unique_ptr<LoopbackServer> https_;
    std::unique_ptr<LoopbackServer> http_;
};

// Baidu Netdisk: the API host lists a folder, answers the download request
// with a dlink, and redirects the dlink to the file.
struct FakeBaiduOptions {
    std::string address = "127.0.0.39";
    int port = 0;
    std::string cookie = "BDUSS=fake-session-7Qm; STOKEN=5e1b";  // "": none expected
    std::string path = "示例/工具 1.rar";                        // below the maker's folder, UTF-8
    std::vector<std::string> fsIds{"4090529872334", "77"};
};

class FakeBaiduService : public FakeService {
public:
    explicit FakeBaiduService(FakeBaiduOptions options = {});
    bool ok() const { return server_.ok(); }
    const FakeBaiduOptions& options() const { return options_; }
    std::string Host() const;  // address:port
    std::string Dlink() const;
    std::string FileUrl() const;  // where the dlink redirects
    std::string ListTarget() const;
    LoopbackServer& server() { return server_; }

private:
    bool CookieOk(const RecordedRequest& request);

    FakeBaiduOptions options_;
    LoopbackServer server_;
};

}  // namespace box::test
