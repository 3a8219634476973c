#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "LoopbackServer.h"
#include "net/CookieStore.h"
#include "net/WebAccess.h"
#include "support/Text.h"
#include "TestDoubles.h"

namespace box {
namespace {

using test::Answer;
using test::LoopbackServer;
using test::RawHttpServer;

constexpr const char* kAccept =
    "Accept: image/gif, image/bmp, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/x-shockwave-flash, application/vnd.ms-excel, application/vnd.ms-powerpoint, "
    "application/msword, */*\r\n";
constexpr const char* kAgent =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)\r\n";

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::seconds bound = std::chrono::seconds(30)) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::string AsString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string HostOf(const RawHttpServer& raw) {
    const std::string url = raw.Url();
    return url.substr(7, url.size() - 8);
}

// Every request ends before the next test: an abandoned one would otherwise
// outlive the server it talks to.
class WebAccessTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(WaitFor([] { return WebAccess::RunningWorkers() == 0; }));
    }

    std::string LastHead(const RawHttpServer& raw) {
        EXPECT_TRUE(raw.WaitForHeads(1));
        auto heads = raw.Heads();
        return heads.empty() ? std::string() : heads.back();
    }

    test::ScriptedEventPump pump;
    CookieStore store;
    WebAccess web{pump, {}, store};
};

TEST(UrlParts, HostPortAndPathAsDefined) {
    struct Case {
        const char* url;
        const char* host;
        const char* hostWithPort;
        int port;
        const char* path;
    };
    const Case cases[] = {
        {"HTTP://Example.COM:8080/A?b=C", "example.com", "example.com:8080", 8080, "/A?b=C"},
        {"Example.com", "example.com", "example.com", 80, "/"},
        {"https://X.org/p/q?r=1", "x.org", "x.org", 443, "/p/q?r=1"},
        {"HTTPS://X.org", "x.org", "x.org", 443, "/"},
        {"https://x.org:8443/", "x.org", "x.org:8443", 8443, "/"},
        // The first "http://" anywhere marks the host.
        {"ftp://a/?u=http://B:81/c", "b", "b:81", 81, "/c"},
        {"http://k:/x", "k", "k:", 0, "/x"},
        {"http://k:12ab/x", "k", "k:12ab", 12, "/x"},
        {"http://a:1:2/", "a", "a:1:2", 2, "/"},
        // The host is looked for from the start of the whole URL.
        {"http://ttp/x", "ttp", "ttp", 80, "//ttp/x"},
        {"", "", "", 80, "/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(UrlHost(c.url), c.host);
        EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort);
        EXPECT_EQ(UrlPort(c.url), c.port);
        EXPECT_EQ(UrlPath(c.url), c.path);
    }
}

TEST_F(WebAccessTest, DefaultGetSendsTheExactHead) {
    RawHttpServer raw;
    ASSERT_TRUE(raw.ok());
    Text url = raw.Url("/a?b=1");
    EXPECT_EQ(AsString(web.Fetch(url)), "ok");
    EXPECT_EQ(LastHead(raw), "GET /a?b=1 HTTP/1.1\r\nHost: " + HostOf(raw) + "\r\n" + kAgent +
                                 kAccept + "Referer: " + url +
                                 "\r\nAccept-Language: zh-cn\r\n\r\n");
}

TEST_F(WebAccessTest, ExtraHeadersComeFirstAndReplaceTheDefaults) {
    RawHttpServer raw;
    ASSERT_TRUE(raw.ok());
    const Text extra =
        "X-First: 1\r\nuser-agent:  Agent 7 \r\nAccept: text/html\r\nReferer: http://r/\r\n"
        "X-Empty:\r\n";
    EXPECT_EQ(AsString(web.Fetch(raw.Url("/h"), 0, "", extra)), "ok");
    EXPECT_EQ(LastHead(raw), "GET /h HTTP/1.1\r\nHost: " + HostOf(raw) +
                                 "\r\nX-First: 1\r\nuser-agent:  Agent 7 \r\n"
                                 "Accept: text/html\r\nReferer: http://r/\r\nX-Empty:\r\n"
                                 "Accept-Language: zh-cn\r\n\r\n");

    // A name inside another header's value still counts as present, so an
    // Accept-Language line alone means no Accept line at all; "RefererNo"
    // goes and no Referer comes; the agent is taken from any "User-Agent:".
    EXPECT_EQ(AsString(web.Fetch(raw.Url("/i"), 0, "",
                                 "Accept-Language: en\r\nRefererNoX-User-Agent: Z\r\n")),
              "ok");
    EXPECT_EQ(LastHead(raw), "GET /i HTTP/1.1\r\nHost: " + HostOf(raw) +
                                 "\r\nUser-Agent: Z\r\nAccept-Language: en\r\n"
                                 "X-User-Agent: Z\r\n\r\n");
}

TEST_F(WebAccessTest, PostHeadersOnlyWithData) {
    RawHttpServer raw;
    ASSERT_TRUE(raw.ok());
    const std::string common = "Host: " + HostOf(raw) + "\r\n" + kAgent + kAccept;
    const Text url = raw.Url("/p");
    const Bytes data = {'a', '=', '1'};

    EXPECT_EQ(AsString(web.Fetch(url, 1, "", "", data)), "ok");
    EXPECT_EQ(LastHead(raw), "POST /p HTTP/1.1\r\n" + common + "Referer: " + url +
                                 "\r\nAccept-Language: zh-cn\r\n"
                                 "Content-Type: application/x-www-form-urlencoded\r\n"
                                 "Content-Length: 3\r\n\r\n");

    ASSERT_EQ(AsString(web.Fetch(url, 1)), "ok");
    ASSERT_TRUE(raw.WaitForHeads(2));
    EXPECT_EQ(raw.Heads()[1], "POST /p HTTP/1.1\r\n" + common + "Referer: " + url +
                                  "\r\nAccept-Language: zh-cn\r\n\r\n");

    // Method values other than 1 are GET; the data is not sent then.
    ASSERT_EQ(AsString(web.Fetch(url, 2, "", "", data)), "ok");
    ASSERT_TRUE(raw.WaitForHeads(3));
    EXPECT_TRUE(raw.Heads()[2].starts_with("GET /p HTTP/1.1\r\n"));
}

TEST_F(WebAccessTest, PostBodyArrivesWithTheCallersContentType) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/form", {200, "done"});
    const std::string body(100000, 'x');
    EXPECT_EQ(AsString(web.Fetch(server.Url("/form"), 1, "", "Content-Type: text/plain\r\n",
                                 Bytes(body.begin(), body.end()))),
              "done");
    auto sent = server.LastRequest();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.Header("Content-Type"), "text/plain");
    EXPECT_EQ(sent.body, body);
    EXPECT_FALSE(sent.HasHeader("Expect"));
}

TEST_F(WebAccessTest, SchemeCompletionIsCaseSensitive) {
    RawHttpServer raw;
    ASSERT_TRUE(raw.ok());
    Text url = HostOf(raw) + "/bare";
    EXPECT_EQ(AsString(web.Fetch(url)), "ok");
    EXPECT_EQ(url, "http://" + HostOf(raw) + "/bare");
    EXPECT_TRUE(LastHead(raw).starts_with("GET /bare HTTP/1.1\r\n"));

    // "HTTP://" is no scheme here: the completed URL names the host "http".
    // Through the proxy the request shows where it was meant to go.
    RawHttpServer proxy;
    ASSERT_TRUE(proxy.ok());
    url = "HTTP://" + HostOf(raw) + "/upper";
    EXPECT_EQ(AsString(web.Fetch(url, 0, HostOf(proxy))), "ok");
    EXPECT_EQ(url, "http://HTTP://" + HostOf(raw) + "/upper");
    const std::string head = LastHead(proxy);
    EXPECT_TRUE(head.starts_with("GET http://http//HTTP://" + HostOf(raw) + "/upper HTTP/1.1\r\n"))
        << head;
    EXPECT_NE(head.find("\r\nHost: http\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nReferer: " + url + "\r\n"), std::string::npos) << head;

    // An "https://" past the scheme is part of the address, not its scheme.
    EXPECT_EQ(AsString(web.Fetch(raw.Url("/go?to=https://127.0.0.1/x"))), "ok");
    EXPECT_TRUE(LastHead(raw).starts_with("GET /go?to=https://127.0.0.1/x HTTP/1.1\r\n"));

    // Blank URLs make no request and leave the outputs alone.
    Text headers = "kept", cookies = "kept";
    url = " \t ";
    EXPECT_TRUE(web.Fetch(url, 0, "", "", {}, "", 5, &headers, &cookies).empty());
    EXPECT_EQ(url, " \t ");
    EXPECT_EQ(headers, "kept");
    EXPECT_EQ(cookies, "kept");
    EXPECT_EQ(raw.Heads().size(), 2u);
}

TEST(WebAccessTls, HttpsGoesToPort443WhateverTheUrlSays) {
    test::TempDir dir;
    test::TestTlsFiles tls = test::CreateTestTlsFiles(dir.path());
    if (!tls.ok()) GTEST_SKIP() << "the openssl tool is not available";
    // Port 443 of 127.0.0.1 may be taken for a while by another test binary.
    std::unique_ptr<LoopbackServer> server;
    ASSERT_TRUE(WaitFor([&] {
        server = std::make_unique<LoopbackServer>(test::ServerOptions{
            .port = 443, .certificate = tls.serverCertificate, .privateKey = tls.serverKey});
        return server->ok();
    }));
    server->SetAnswer("/s", {200, "secure"});
    NullEventPump pump;
    CookieStore store;
    WebAccess web(pump, {.caFile = tls.caCertificate.string()}, store);
    EXPECT_EQ(AsString(web.Fetch("https://127.0.0.1:8443/s")), "secure");
    // Without the authority the certificate is refused.
    WebAccess strict(pump, {}, store);
    EXPECT_TRUE(strict.Fetch("https://127.0.0.1/s").empty());
    EXPECT_EQ(server->RequestCount(), 1u);
    EXPECT_TRUE(WaitFor([] { return WebAccess::RunningWorkers() == 0; }));
}

TEST_F(WebAccessTest, CookiesSetByAnswersGoBackToTheirHost) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/set", {200,
                              "set",
                              "text/html",
                              {{"Set-Cookie", "a=1; path=/; HttpOnly"}, {"Set-Cookie", "b=2"}}});
    Text headers, cookies;
    EXPECT_EQ(AsString(web.Fetch(server.Url("/set"), 0, "", "", {}, "", 5, &headers, &cookies)),
              "set");
    EXPECT_EQ(cookies, "a=1;b=2;");
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << headers;
    EXPECT_TRUE(headers.ends_with("\r\n\r\n")) << headers;
    EXPECT_NE(headers.find("Set-Cookie: a=1; path=/; HttpOnly\r\n"), std::string::npos);
    EXPECT_EQ(store.CookieLine("127.0.0.1"), "a=1; b=2");

    // Any port of the host gets them, at the end of the block.
    RawHttpServer raw;
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(AsString(web.Fetch(raw.Url("/next"))), "ok");
    EXPECT_TRUE(LastHead(raw).ends_with("Accept-Language: zh-cn\r\nCookie: a=1; b=2\r\n\r\n"));

    // Cookies of the call replace the kept ones, and the line closes the block.
    EXPECT_EQ(AsString(web.Fetch(raw.Url("/own"), 0, "", "", {}, "c=3;d=4")), "ok");
    ASSERT_TRUE(raw.WaitForHeads(2));
    const std::string own = raw.Heads()[1];
    EXPECT_TRUE(own.ends_with("Accept-Language: zh-cn\r\nCookie: c=3;d=4\r\n\r\n")) << own;
    EXPECT_EQ(own.find("a=1"), std::string::npos);

    // Another host has none.
    test::ServerOptions otherHost;
    otherHost.address = "127.0.0.2";
    LoopbackServer other(otherHost);
    ASSERT_TRUE(other.ok());
    other.SetAnswer("/", {200, "other"});
    EXPECT_EQ(AsString(web.Fetch(other.Url("/"))), "other");
    EXPECT_FALSE(other.LastRequest().HasHeader("Cookie"));

    // An answer that lets a cookie expire takes it out of the store.
    server.SetAnswer("/drop", {200, "", "text/html", {{"Set-Cookie", "a=; Max-Age=0"}}});
    EXPECT_TRUE(web.Fetch(server.Url("/drop"), 0, "", "", {}, "", 5, &headers, &cookies).empty());
    EXPECT_EQ(cookies, "a=;");
    EXPECT_EQ(store.CookieLine("127.0.0.1"), "b=2");
}

TEST_F(WebAccessTest, ProcessStoreIsTheDefault) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/", {200, "x", "text/html", {{"Set-Cookie", "shared=1"}}});
    CookieStore::Process().Clear();
    WebAccess plain(pump);
    EXPECT_EQ(AsString(plain.Fetch(server.Url("/"))), "x");
    EXPECT_EQ(CookieStore::Process().CookieLine("127.0.0.1"), "shared=1");
    EXPECT_EQ(store.CookieLine("127.0.0.1"), "");
    CookieStore::Process().Clear();
}

TEST(CookieStoreTest, SetReplacesExpiresAndRefuses) {
    CookieStore store;
    EXPECT_TRUE(store.Set("h", "a", "1; path=/"));
    EXPECT_TRUE(store.Set("h", "b", " 2 ; expires=Fri, 01 Jan 2100 00:00:00 GMT"));
    EXPECT_TRUE(store.Set("h", "a", "3"));
    EXPECT_EQ(store.CookieLine("h"), "b=2; a=3");
    EXPECT_TRUE(store.Set("h", "b", "gone; Expires=Thu, 01 Jan 1970 00:00:00 GMT"));
    EXPECT_EQ(store.CookieLine("h"), "a=3");
    // Max-Age wins over Expires.
    EXPECT_TRUE(store.Set("h", "c", "4; max-age=0; expires=Fri, 01 Jan 2100 00:00:00 GMT"));
    EXPECT_TRUE(store.Set("h", "d", "5; max-age=99999999999999999999"));
    EXPECT_EQ(store.CookieLine("h"), "a=3; d=5");
    EXPECT_EQ(store.CookieLine("other"), "");

    EXPECT_FALSE(store.Set("h", "", "1"));
    EXPECT_FALSE(store.Set("h", "x\r\nEvil", "1"));
    EXPECT_FALSE(store.Set("h", "x", "1\r\nEvil: 2"));
    EXPECT_FALSE(store.Set("h", "x", std::string("1\0", 2)));
    EXPECT_EQ(store.CookieLine("h"), "a=3; d=5");

    for (int i = 0; i < 60; ++i) store.Set("many", "n" + std::to_string(i), "v");
    const Text line = store.CookieLine("many");
    EXPECT_TRUE(line.starts_with("n10=v; ")) << line;
    EXPECT_TRUE(line.ends_with("; n59=v")) << line;
    store.Clear();
    EXPECT_EQ(store.CookieLine("h"), "");
}

TEST(CookieStoreTest, SetCookieLinesAreReadAsTheyCome) {
    const auto lines = ParseSetCookieLines(
        "HTTP/1.1 200 OK\r\nset-cookie: a=1; path=/\r\nSet-Cookie: noequals\r\n"
        "Set-Cookie:tight=1\r\nX-Set-Cookie: abc=2\nSet-Cookie: e=\r\n\r\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].pair, "a=1");
    EXPECT_EQ(lines[0].name, "a");
    EXPECT_EQ(lines[0].data, "1; path=/");
    EXPECT_EQ(lines[1].pair, "noequals");
    EXPECT_EQ(lines[1].name, "noequals");
    EXPECT_EQ(lines[1].data, "");
    // The first 12 bytes go wherever the marker stands.
    EXPECT_EQ(lines[2].pair, ": abc=2");
    EXPECT_EQ(lines[3].pair, "e=");
    EXPECT_TRUE(ParseSetCookieLines("Set-Cookie:x=1\r\n").empty());
}

TEST_F(WebAccessTest, RedirectsAreFollowedUnlessTurnedOff) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/from", {302, "moved", "text/html", {{"Location", "/to"}}});
    server.SetAnswer("/to", {200, "arrived"});
    Text headers;
    EXPECT_EQ(AsString(web.Fetch(server.Url("/from"), 0, "", "", {}, "", 5, &headers)), "arrived");
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << headers;
    EXPECT_EQ(
        AsString(web.Fetch(server.Url("/from"), 0, "", "", {}, "", 5, &headers, nullptr, true)),
        "moved");
    EXPECT_TRUE(headers.starts_with("HTTP/1.1 302 Found\r\n")) << headers;
    EXPECT_NE(headers.find("Location: /to\r\n"), std::string::npos);
}

TEST_F(WebAccessTest, CookiesSetOnTheWayThroughRedirectsAreKept) {
    test::ServerOptions otherHost;
    otherHost.address = "127.0.0.3";
    LoopbackServer first, second(otherHost);
    ASSERT_TRUE(first.ok());
    ASSERT_TRUE(second.ok());
    first.SetAnswer("/from", {302,
                              "",
                              "text/html",
                              {{"Location", second.Url("/mid")}, {"Set-Cookie", "hop=1; path=/"}}});
    second.SetAnswer(
        "/mid", {302, "", "text/html", {{"Location", first.Url("/end")}, {"Set-Cookie", "mid=3"}}});
    first.SetAnswer("/end", {200, "back", "text/html", {{"Set-Cookie", "end=2"}}});
    Text cookies;
    EXPECT_EQ(AsString(web.Fetch(first.Url("/from"), 0, "", "", {}, "", 5, nullptr, &cookies)),
              "back");
    // The caller hears of the last answer's cookies only; the store keeps
    // each hop's under the host that set them.
    EXPECT_EQ(cookies, "end=2;");
    EXPECT_EQ(store.CookieLine("127.0.0.1"), "hop=1; end=2");
    EXPECT_EQ(store.CookieLine("127.0.0.3"), "mid=3");
}

TEST_F(WebAccessTest, TimeoutZeroTimesOutAtTheFirstWake) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/", {200, "fast", "text/html", {{"Set-Cookie", "late=1"}}});
    Text headers = "kept", cookies = "kept";
    EXPECT_EQ(AsString(web.Fetch(server.Url("/"), 0, "", "", {}, "", 0, &headers, &cookies)),
              WebAccess::TimeoutText());
    EXPECT_EQ(headers, "kept");
    EXPECT_EQ(cookies, "kept");
    EXPECT_EQ(pump.pumps, 1);
    EXPECT_EQ(
        WebAccess::TimeoutText(),
        "超时返回，指定网站不能访问，或者你的网络出现问题，你可以把参数中的＂超时返回＂的值设置长一些。"_gbk);
    ASSERT_TRUE(WaitFor([] { return WebAccess::RunningWorkers() == 0; }));
    EXPECT_EQ(store.CookieLine("127.0.0.1"), "");
}

TEST_F(WebAccessTest, LateAnswerOfAnAbandonedRequestReachesNobody) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer(
        "/slow", {200, std::string(300000, 'z'), "text/html", {{"Set-Cookie", "late=1"}}, 0, true});
    server.SetAnswer("/quick", {200, "quick"});
    // The caller's outputs live on the heap and go right after the call, so
    // that a late write into them is a use after free under ASan.
    auto headers = std::make_unique<Text>("kept");
    auto cookies = std::make_unique<Text>("kept");
    auto url = std::make_unique<Text>(server.Url("/slow"));
    std::string nested;
    pump.pending.push_back([&] { nested = AsString(web.Fetch(server.Url("/quick"))); });
    const Bytes body = web.Fetch(*url, 0, "", "", {}, "", 1, headers.get(), cookies.get());
    EXPECT_EQ(AsString(body), WebAccess::TimeoutText());
    EXPECT_EQ(*headers, "kept");
    EXPECT_EQ(*cookies, "kept");
    // Events ran during the wait, a request of their own included.
    EXPECT_EQ(nested, "quick");
    EXPECT_GT(pump.pumps, 1);
    headers.reset();
    cookies.reset();
    url.reset();

    ASSERT_TRUE(server.WaitForHeld(1));
    server.ReleaseHeld();
    ASSERT_TRUE(WaitFor([] { return WebAccess::RunningWorkers() == 0; }));
    EXPECT_EQ(store.CookieLine("127.0.0.1"), "");
}

TEST_F(WebAccessTest, EventsMayDropTheObjectThatWaits) {
    LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/", {200, "page", "text/html", {{"Set-Cookie", "k=1"}}, 100});
    auto owner = std::make_unique<WebAccess>(pump, NetConfig{}, store);
    pump.pending.push_back([&] { owner.reset(); });
    EXPECT_EQ(AsString(owner->Fetch(server.Url("/"))), "page");
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(store.CookieLine("127.0.0.1"), "k=1");
}

TEST_F(WebAccessTest, AgentTextCannotAddHeaderLines) {
    RawHttpServer raw;
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(AsString(web.Fetch(raw.Url("/"), 0, "", std::string("User-Agent: a\nEvil: 1\r\n"))),
              "ok");
    const std::string head = LastHead(raw);
    EXPECT_EQ(head.find("Evil"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nUser-Agent: a\r\n"), std::string::npos) << head;
}

TEST_F(WebAccessTest, FailedRequestsGiveEmptyResults) {
    Text headers = "kept", cookies = "kept";
    int closedPort;
    {
        RawHttpServer gone;
        ASSERT_TRUE(gone.ok());
        closedPort = std::stoi(HostOf(gone).substr(10));
    }
    Text url = "http://127.0.0.1:" + std::to_string(closedPort) + "/";
    EXPECT_TRUE(web.Fetch(url, 0, "", "", {}, "", 5, &headers, &cookies).empty());
    EXPECT_EQ(headers, "");
    EXPECT_EQ(cookies, "");

    // Ports past 16 bits and hosts that would carry a user name go nowhere.
    for (const char* bad :
         {"http://127.0.0.1:70000/", "http://user@127.0.0.1/", "http://127.0.0.1 /", "http:///x"}) {
        headers = "kept";
        EXPECT_TRUE(web.Fetch(bad, 0, "", "", {}, "", 5, &headers).empty()) << bad;
        EXPECT_EQ(headers, "") << bad;
    }
}

TEST_F(WebAccessTest, OddAnswersNeverCrash) {
    struct Case {
        std::string answer;
        std::string body;
    };
    const std::string bigHeader = "X-Big: " + std::string(200000, 'h') + "\r\n";
    std::string manyCookies;
    for (int i = 0; i < 200; ++i) manyCookies += "Set-Cookie: c" + std::to_string(i) + "=v\r\n";
    const Case cases[] = {
        {"garbage\r\n\r\n", ""},
        {"HTTP/1.1 200 OK\r\n" + bigHeader + "Content-Length: 2\r\n\r\nok", ""},
        // A length promised but never delivered: what came is kept.
        {"HTTP/1.1 200 OK\r\nContent-Length: 1000000000000000\r\n\r\npartial", "partial"},
        {"HTTP/1.1 200 OK\r\nContent-Length: -5\r\nConnection: close\r\n\r\nx", ""},
        {"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string("a\0b", 3),
         std::string("a\0b", 3)},
        {"HTTP/1.1 200 OK\r\n" + manyCookies + "Connection: close\r\n\r\nmany", "many"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.substr(0, 40));
        RawHttpServer raw(c.answer);
        ASSERT_TRUE(raw.ok());
        Text cookies;
        EXPECT_EQ(AsString(web.Fetch(raw.Url("/"), 0, "", "", {}, "", 10, nullptr, &cookies)),
                  c.body);
    }
    // A head far longer than 2 KiB still gives its cookies, to the store's limit.
    const Text kept = store.CookieLine("127.0.0.1");
    EXPECT_TRUE(kept.starts_with("c150=v; ")) << kept.substr(0, 40);
    EXPECT_TRUE(kept.ends_with("; c199=v"));
}

}  // namespace
}  // namespace box
