#include "ServiceFakes.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace box::test {

namespace {

Answer Json(std::string body) {
    Answer answer;
    answer.body = std::move(body);
    answer.contentType = "application/json; charset=utf-8";
    return answer;
}

Answer Redirect(const std::string& location) {
    Answer answer;
    answer.status = 302;
    answer.body = "";
    answer.headers = {{"Location", location}};
    return answer;
}

std::string WithPort(const std::string& address, int port, int defaultPort) {
    return port == defaultPort ? address : address + ":" + std::to_string(port);
}

// JSON writes "/" as "\/" in the services' answers.
std::string EscapeSlashes(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '/') out += '\\';
        out += c;
    }
    return out;
}

bool CookieHolds(const RecordedRequest& request, const std::string& pair) {
    const std::string cookies = "; " + request.Header("Cookie") + ";";
    return cookies.find("; " + pair + ";") != std::string::npos;
}

}  // namespace

ServerOptions At(const std::string& address, int port) {
    ServerOptions options;
    options.address = address;
    options.port = port;
    return options;
}

std::string PercentEncode(const std::string& utf8) {
    std::string out;
    for (unsigned char c : utf8) {
        if (std::isalnum(c) || c == '.' || c == '_' || c == '-') {
            out += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            out += hex;
        }
    }
    return out;
}

std::vector<LoggedRequest> FakeService::Log() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
}

std::vector<std::string> FakeService::Complaints() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return complaints_;
}

void FakeService::SetFault(const std::string& path, Answer answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_[path] = std::move(answer);
}

void FakeService::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

void FakeService::Complain(std::string what) {
    std::lock_guard<std::mutex> lock(mutex_);
    complaints_.push_back(std::move(what));
}

void FakeService::Serve(LoopbackServer& server, const std::string& name, const std::string& path,
                        std::function<Answer(const RecordedRequest&)> script) {
    server.SetHandler(path, [this, name, path, script](const RecordedRequest& request) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            log_.push_back({name, request});
            if (auto fault = faults_.find(path); fault != faults_.end()) return fault->second;
        }
        return script(request);
    });
}

// --- 360 Cloud Drive ---

Fake360Service::Fake360Service(Fake360Options options)
    : options_(std::move(options)),
      short_(At(options_.shortAddress, options_.shortPort)),
      share_(At(options_.shareAddress, options_.sharePort)) {
    if (!ok()) return;
    const std::string surl = options_.surl;
    Serve(short_, "short", "/" + surl,
          [this](const RecordedRequest&) { return Redirect(PageUrl()); });

    const std::string access = std::string(kCookieName) + "=" + surl + "-granted";
    Serve(share_, "share", "/share/verifyPassword", [this, surl, access](const RecordedRequest& r) {
        if (r.method != "POST") Complain("password check by " + r.method);
        if (r.body != "shorturl=" + surl + "&linkpassword=" + options_.password) {
            Complain("password check with body " + r.body);
            return Json(R"({"errno":1001,"errmsg":"password wrong"})");
        }
        Answer answer = Json(R"({"errno":0,"errmsg":"ok"})");
        answer.headers = {{"Set-Cookie", access + "; path=/"}};
        return answer;
    });

    Serve(share_, "share", "/lk/" + surl, [this](const RecordedRequest& r) {
        if (r.method != "GET") Complain("share page by " + r.method);
        if (!HasAccess(r)) {
            // The service shows its password form instead of the folder.
            return Answer{200, "<html><body><form id=\"pwd\">extraction code</form></body></html>"};
        }
        return Answer{200,
                      "<html><head><title>share</title></head><body><script>\n"
                      "var rootFileList = {\"nid\": \"" +
                          options_.folderNid + "\", \"name\": \"tools\", \"surl\": \"" +
                          options_.surl + "\"};\n</script></body></html>"};
    });

    Serve(share_, "share", "/share/listsharedir", [this, surl](const RecordedRequest& r) {
        const std::string expected =
            "field=name&nid=" + options_.folderNid + "&order=asc&page=0&page_size=300&surl=" + surl;
        if (r.method != "POST" || r.body != expected) {
            Complain("listing with body " + r.body);
            return Json(R"({"errno":2001,"errmsg":"bad request","data":{}})");
        }
        if (!HasAccess(r)) {
            Complain("listing without the access cookie");
            return Json(R"({"errno":2002,"errmsg":"no access","data":{}})");
        }
        auto entries = options_.entries;
        std::sort(entries.begin(), entries.end());
        std::string body = R"({"errno":0,"data":{"data":[)";
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i) body += ",";
            body += "{\"nid\": \"" + entries[i].second + "\", \"name\": \"" + entries[i].first +
                    "\", \"fhash\": \"ab12\"}";
        }
        return Json(body + "]}}");
    });

    Serve(share_, "share", "/share/downloadfile/", [this, surl](const RecordedRequest& r) {
        bool known = false;
        for (const auto& entry : options_.entries)
            known = known || r.body == "nid=" + entry.second + "&shorturl=" + surl;
        if (r.method != "POST" || !known) {
            Complain("download request with body " + r.body);
            return Json(R"({"errno":3001,"errmsg":"bad request","data":{}})");
        }
        if (!HasAccess(r)) {
            Complain("download request without the access cookie");
            return Json(R"({"errno":3002,"errmsg":"no access","data":{}})");
        }
        return Json(R"({"errno":0,"data":{"downloadurl":")" + EscapeSlashes(options_.downloadUrl) +
                    R"(","name":"file"}})");
    });
}

bool Fake360Service::HasAccess(const RecordedRequest& request) const {
    return options_.password.empty() ||
           CookieHolds(request, std::string(kCookieName) + "=" + options_.surl + "-granted");
}

std::string Fake360Service::ShortHost() const {
    return options_.shortAddress + ":" + std::to_string(short_.port());
}

std::string Fake360Service::ShortLink() const {
    return "http://" + ShortHost() + "/" + options_.surl;
}

std::string Fake360Service::PageUrl() const {
    const std::string host = options_.pageHost.empty()
                                 ? WithPort(options_.shareAddress, share_.port(), 80)
                                 : options_.pageHost;
    return "http://" + host + "/lk/" + options_.surl;
}

// --- Tongbupan ---

FakeTongbupanService::FakeTongbupanService(FakeTongbupanOptions options)
    : options_(std::move(options)) {
    short_ = std::make_unique<LoopbackServer>(At(options_.shortAddress, options_.shortPort));
    https_ = [this] {
        ServerOptions tls = At(options_.webAddress, options_.httpsPort);
        tls.certificate = options_.certificate;
        tls.privateKey = options_.privateKey;
        return std::make_unique<LoopbackServer>(tls);
    }();
    if (options_.httpsPort != 0) {
        http_ = std::make_unique<LoopbackServer>(At(options_.webAddress, options_.httpPort));
    }
    if (!ok()) return;

    Serve(*short_, "short", "/" + options_.shortCode,
          [this](const RecordedRequest&) { return Redirect(LongLink()); });

    const std::string session = std::string(kCookieName) + "=" + options_.linkId + "-7";
    Serve(*https_, "web", "/link/folder/" + options_.linkId + "/",
          [this, session](const RecordedRequest& r) {
              if (r.method != "GET") Complain("folder page by " + r.method);
              std::string items;
              for (std::size_t i = 0; i < options_.paths.size(); ++i) {
                  if (i) items += ", ";
                  items += "{\"path\": \"" + options_.paths[i] + "\", \"size\": 1024}";
              }
              Answer answer{200,
                            "<html><head><meta charset=\"utf-8\"><title>同步盘</title></head>"
                            "<body><script>var folder = {\"linkid\": \"" +
                                options_.linkId + "\", \"items\": [" + items +
                                "]};</script></body></html>",
                            "text/html; charset=utf-8"};
              answer.headers = {{"Set-Cookie", session + "; path=/"}};
              return answer;
          });

    Serve(*https_, "web", "/link/download/", [this, session](const RecordedRequest& r) {
        const std::string expected = "/link/download/?linkid=" + options_.linkId +
                                     "&path=" + PercentEncode(options_.paths.front());
        if (r.target != expected) {
            Complain("download-link request " + r.target);
            return Json(R"({"error": "bad request"})");
        }
        if (!CookieHolds(r, session)) {
            Complain("download-link request without the session cookie");
            return Json(R"({"error": "no session"})");
        }
        return Json(std::string(R"({"downloadlink": "/link/dl/)") + kDownloadToken + "\"}");
    });

    if (http_) {
        Serve(*http_, "plain", std::string("/link/dl/") + kDownloadToken,
              [this](const RecordedRequest&) { return Redirect(options_.finalLocation); });
    }
}

bool FakeTongbupanService::ok() const {
    return short_->ok() && https_->ok() && (!http_ || http_->ok());
}

std::string FakeTongbupanService::WebHost() const {
    return WithPort(options_.webAddress, https_->port(), 443);
}

std::string FakeTongbupanService::ShortHost() const {
    return options_.shortAddress + ":" + std::to_string(short_->port());
}

std::string FakeTongbupanService::ShortLink() const {
    return "http://" + ShortHost() + "/" + options_.shortCode;
}

std::string FakeTongbupanService::LongLink() const {
    return "https://" + WebHost() + "/link/" + options_.linkId + "/";
}

// --- Baidu Netdisk ---

FakeBaiduService::FakeBaiduService(FakeBaiduOptions options)
    : options_(std::move(options)), server_(At(options_.address, options_.port)) {
    if (!ok()) return;
    Serve(server_, "api", "/api/list", [this](const RecordedRequest& r) {
        if (r.method != "GET" || r.target != ListTarget()) {
            Complain("listing " + r.method + " " + r.target);
            return Json(R"({"errno":2,"request_id":11})");
        }
        if (!CookieOk(r)) return Json(R"({"errno":-6,"request_id":11})");
        std::string list;
        for (std::size_t i = 0; i < options_.fsIds.size(); ++i) {
            if (i) list += ",";
            list += "{\"fs_id\":" + options_.fsIds[i] + ",\"path\":\"" +
                    EscapeSlashes("/汀芷软件/" + options_.path) + "\",\"isdir\":0}";
        }
        return Json(R"({"errno":0,"list":[)" + list + R"(],"request_id":11})");
    });

    Serve(server_, "api", "/api/download", [this](const RecordedRequest& r) {
        const std::string expected = "fidlist=%5B" + options_.fsIds.front() + "%5D&type=dlink";
        if (r.method != "POST" || r.target != "/api/download?channel=chunlei&clienttype=0&web=1" ||
            r.body != expected) {
            Complain("download request " + r.target + " " + r.body);
            return Json(R"({"errno":2,"request_id":12})");
        }
        if (!CookieOk(r)) return Json(R"({"errno":-6,"request_id":12})");
        return Json(R"({"errno":0,"dlink":[{"fs_id":")" + options_.fsIds.front() +
                    R"(","dlink":")" + EscapeSlashes(Dlink()) + R"("}],"request_id":12})");
    });

    Serve(server_, "api", "/file/" + options_.fsIds.front(),
          [this](const RecordedRequest&) { return Redirect(FileUrl()); });
}

bool FakeBaiduService::CookieOk(const RecordedRequest& request) {
    if (options_.cookie.empty() ? !request.HasHeader("Cookie")
                                : request.Header("Cookie") == options_.cookie)
        return true;
    Complain("cookies \"" + request.Header("Cookie") + "\"");
    return false;
}

std::string FakeBaiduService::Host() const {
    return options_.address + ":" + std::to_string(server_.port());
}

std::string FakeBaiduService::Dlink() const {
    return "http://" + Host() + "/file/" + options_.fsIds.front() + "?fid=1-77&sign=Q%2Bz";
}

std::string FakeBaiduService::FileUrl() const {
    return "http://" + Host() + "/cdn/" + PercentEncode(options_.path);
}

std::string FakeBaiduService::ListTarget() const {
    return "/api/list?channel=chunlei&clienttype=0&web=1&num=100&page=1&dir=" +
           PercentEncode("/汀芷软件/" + options_.path);
}

}  // namespace box::test
