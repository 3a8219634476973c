#include <gtest/gtest.h>

#include <optional>

#include "LoopbackServer.h"
#include "net/HttpRequest.h"
#include "support/EventPump.h"
#include "support/Text.h"
#include "TestDoubles.h"

namespace box {
namespace {

using test::Answer;
using test::LoopbackServer;
using test::RawHttpServer;

// The server is declared first so that the request object, and with it its
// open connection, goes away before the server stops.
class HttpRequestTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.ok()); }

    LoopbackServer server;
    test::ScriptedEventPump pump;
    HttpRequest request{pump};
};

TEST_F(HttpRequestTest, FetchTextWithOnlyAUrlSendsTheDefaultRequest) {
    server.SetAnswer("/page", {200, "<p>汀芷</p>"});
    const std::string url = server.Url("/page");
    EXPECT_EQ(request.FetchText(url), "<p>" + "汀芷"_gbk + "</p>");

    ASSERT_EQ(server.RequestCount(), 1u);
    auto sent = server.LastRequest();
    EXPECT_EQ(sent.method, "GET");
    EXPECT_EQ(sent.Header("Referer"), url);
    EXPECT_EQ(sent.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(sent.Header("User-Agent"),
              "Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; Trident/5.0)");
    EXPECT_FALSE(sent.HasHeader("Cookie"));
    EXPECT_TRUE(sent.body.empty());
    EXPECT_EQ(request.GetAutomationObject()->Timeouts(),
              (HttpTimeouts{10000, 10000, 60000, 120000}));
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(request.StatusText(), "OK");
}

TEST_F(HttpRequestTest, UrlsWithoutSchemeGetHttpAndBlanksAreTrimmed) {
    server.SetAnswer("/x", {200, "x"});
    const std::string bare = "127.0.0.1:" + std::to_string(server.port()) + "/x";

    Text url = bare;
    ASSERT_TRUE(request.Open("GET", url));
    EXPECT_EQ(url, "http://" + bare);
    url = "HTTPS://Example/x";
    ASSERT_TRUE(request.Open("GET", url));
    EXPECT_EQ(url, "HTTPS://Example/x");

    EXPECT_EQ(request.FetchText("  " + bare + " "), "x");
    // The Referer is the trimmed address as the caller wrote it.
    EXPECT_EQ(server.LastRequest().Header("Referer"), bare);

    // GetRedirectLocation completes the caller's own variable, and its Referer
    // is the completed address.
    url = " " + bare;
    EXPECT_EQ(request.GetRedirectLocation(url), "");
    EXPECT_EQ(url, "http://" + bare);
    EXPECT_EQ(server.LastRequest().Header("Referer"), "http://" + bare);

    // A method that is no HTTP token cannot open a request.
    url = bare;
    EXPECT_FALSE(request.Open("GE T", url));
}

TEST_F(HttpRequestTest, CookieArgumentEmptyHeaderAndNone) {
    RawHttpServer raw;
    ASSERT_TRUE(raw.ok());
    EXPECT_EQ(request.FetchText(raw.Url("/a"), {.cookies = "-1"}), "ok");
    EXPECT_EQ(request.FetchText(raw.Url("/b")), "ok");
    EXPECT_EQ(request.FetchText(raw.Url("/c"), {.cookies = "k=v; k2=v2"}), "ok");
    ASSERT_TRUE(raw.WaitForHeads(3));
    auto heads = raw.Heads();
    EXPECT_NE(heads[0].find("\r\nCookie:\r\n"), std::string::npos) << heads[0];
    EXPECT_EQ(heads[1].find("Cookie"), std::string::npos) << heads[1];
    EXPECT_NE(heads[2].find("\r\nCookie: k=v; k2=v2\r\n"), std::string::npos) << heads[2];
    // One Cookie line only, and no "100-continue" handshake.
    EXPECT_EQ(heads[2].find("Cookie", heads[2].find("Cookie") + 1), std::string::npos);
    EXPECT_EQ(heads[2].find("Expect"), std::string::npos);
}

TEST_F(HttpRequestTest, ExtraHeaderLinesAreSplitAtColonBlank) {
    server.SetAnswer("/h", {200, "h"});
    FetchOptions options;
    options.extraHeaders =
        "X-One: a: b\r\nX-Two: c\r\nno separator\r\nX-Empty: \r\n: nameless\r\n"
        "X-Bad: a\nInjected: 1\r\nReferer: mine";
    request.FetchText(server.Url("/h"), options);
    auto sent = server.LastRequest();
    EXPECT_EQ(sent.Header("X-One"), "a");
    EXPECT_EQ(sent.Header("X-Two"), "c");
    EXPECT_FALSE(sent.HasHeader("X-Empty"));
    // A line break inside a value never reaches the wire as a header of its own.
    EXPECT_FALSE(sent.HasHeader("Injected"));
    EXPECT_FALSE(sent.HasHeader("X-Bad"));
    // A later header of the same name replaces the earlier one.
    EXPECT_EQ(sent.Header("Referer"), "mine");
}

TEST_F(HttpRequestTest, RedirectsStayOffAfterGetRedirectLocation) {
    server.SetAnswer("/r", {302, "", "", {{"Location", "/final"}}});
    server.SetAnswer("/final", {200, "done"});
    server.SetAnswer("/ok", {200, "fine"});
    const std::string url = server.Url("/r");

    EXPECT_EQ(request.FetchText(url), "done");
    EXPECT_EQ(std::get<Text>(request.Option(kOptionUrl)), server.Url("/final"));

    Text target = url;
    EXPECT_EQ(request.GetRedirectLocation(target), "/final");
    auto sent = server.LastRequest();
    EXPECT_EQ(sent.path, "/r");
    EXPECT_EQ(sent.Header("User-Agent"), HttpRequest::kDefaultUserAgent);
    EXPECT_EQ(sent.Header("Accept-Language"), "zh-cn");
    EXPECT_EQ(sent.Header("Connection"), "Keep-Alive");
    EXPECT_EQ(sent.Header("Accept"),
              "image/gif, image/x-xbitmap, image/jpeg, imagepeg, application/x-shockwave-flash, "
              "application/x-silverlight, */*");
    EXPECT_EQ(sent.Header("Referer"), url);
    EXPECT_EQ(request.GetAutomationObject()->Timeouts(), (HttpTimeouts{5000, 5000, 10000, 5000}));
    EXPECT_EQ(std::get<long long>(request.Option(kOptionEnableRedirects)), 0);

    // The same object now stops at the redirect...
    const std::size_t before = server.RequestCount();
    EXPECT_EQ(request.FetchText(url), "");
    EXPECT_EQ(request.Status(), 302);
    EXPECT_EQ(server.RequestCount(), before + 1);
    EXPECT_EQ(request.GetStatusCode(url), 302);
    // ...another object still follows...
    HttpRequest other(pump);
    EXPECT_EQ(other.FetchText(url), "done");
    // ...and an answer without Location gives "".
    EXPECT_EQ(request.GetRedirectLocation(server.Url("/ok")), "");
    EXPECT_EQ(request.GetStatusCode(server.Url("/ok"), true), 200);

    EXPECT_EQ(request.GetLocationLegacy(url), "/final");
    sent = server.LastRequest();
    EXPECT_EQ(sent.Header("User-Agent"), HttpRequest::kLegacyUserAgent);
    EXPECT_FALSE(sent.HasHeader("Referer"));
}

TEST_F(HttpRequestTest, SlowServerGivesAnEmptyResultWithoutWaitingForTheAnswer) {
    server.SetAnswer("/slow", {.body = "late", .hold = true});
    // Asynchronous: the bounded wait lets events run while it waits.
    EXPECT_EQ(request.FetchText(server.Url("/slow"), {.timeoutSeconds = 1}), "");
    // The server is still holding its answer, so the client did not wait for it.
    EXPECT_EQ(server.HeldCount(), 1u);
    EXPECT_GT(pump.pumps, 0);
    EXPECT_EQ(request.Status(), 0);

    // Synchronous: the receive time-out ends it, and no events run.
    const int pumpsBefore = pump.pumps;
    EXPECT_EQ(request.FetchText(server.Url("/slow"), {.timeoutSeconds = 1, .sync = true}), "");
    EXPECT_EQ(pump.pumps, pumpsBefore);
    EXPECT_TRUE(server.WaitForHeld(1));
    server.ReleaseHeld();
}

TEST_F(HttpRequestTest, CookiesSetByAnAnswerGoOutThroughTheSameObjectOnly) {
    server.SetAnswer("/set", {200, "set", "text/plain", {{"Set-Cookie", "sid=abc; Path=/"}}});
    server.SetAnswer("/set2", {200, "set", "text/plain", {{"Set-Cookie", "late=1; Path=/"}}});
    server.SetAnswer("/echo", {200, "echo"});
    request.FetchText(server.Url("/set"));

    request.FetchText(server.Url("/echo"));
    EXPECT_EQ(server.LastRequest().Header("Cookie"), "sid=abc");

    HttpRequest stranger(pump);
    stranger.FetchText(server.Url("/echo"));
    EXPECT_FALSE(server.LastRequest().HasHeader("Cookie"));

    HttpRequest copy(request);  // shares the service object, and so the jar
    copy.FetchText(server.Url("/echo"));
    EXPECT_EQ(server.LastRequest().Header("Cookie"), "sid=abc");

    // Cookies the caller names replace the jar's for that request; what the
    // answer sets still lands in the jar.
    request.FetchText(server.Url("/set2"), {.cookies = "mine=1"});
    EXPECT_EQ(server.LastRequest().Header("Cookie"), "mine=1");
    request.FetchText(server.Url("/echo"));
    std::string jar = server.LastRequest().Header("Cookie");
    EXPECT_NE(jar.find("sid=abc"), std::string::npos) << jar;
    EXPECT_NE(jar.find("late=1"), std::string::npos) << jar;

    request.Reset();
    request.FetchText(server.Url("/echo"));
    EXPECT_FALSE(server.LastRequest().HasHeader("Cookie"));
}

TEST_F(HttpRequestTest, KeptCookiesAndTheCookieHelpers) {
    server.SetAnswer(
        "/two", {200, "two", "text/plain", {{"Set-Cookie", "a=1; Path=/"}, {"Set-Cookie", "b=2"}}});
    server.SetAnswer("/echo", {200, "echo"});
    request.FetchText(server.Url("/two"), {.keepCookies = true});

    EXPECT_EQ(request.GetResponseCookie("a"), "1");
    EXPECT_EQ(request.GetResponseCookie("b"), "2");  // ends at its line, not at a later ";"
    EXPECT_EQ(request.GetResponseCookie("c"), "");
    EXPECT_EQ(request.GetSetCookieLines(), "Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n");
    EXPECT_EQ(request.GetResponseCookies(), "a=1; Path=/; b=2; ");
    EXPECT_EQ(request.StoredCookies(), "a=1; Path=/; b=2; ");
    std::string all = request.GetAllResponseHeaders();
    EXPECT_NE(all.find("Content-Type: text/plain\r\n"), std::string::npos) << all;
    EXPECT_EQ(all.substr(all.size() - 4), "\r\n\r\n");

    // Stored cookies go out when the caller gives none, and the caller sees them.
    Text used;
    request.FetchText(server.Url("/echo"), {.cookiesUsed = &used});
    EXPECT_EQ(used, "a=1; Path=/; b=2; ");
    EXPECT_EQ(server.LastRequest().Header("Cookie").substr(0, 17), "a=1; Path=/; b=2;");

    request.ClearCookies();
    request.FetchText(server.Url("/echo"), {.cookiesUsed = &used});
    EXPECT_EQ(used, "");
    std::string jar = server.LastRequest().Header("Cookie");  // the jar's own
    EXPECT_TRUE(jar == "a=1; b=2" || jar == "b=2; a=1") << jar;
}

TEST_F(HttpRequestTest, PostBodiesAndByteBodiesWinOverText) {
    server.SetAnswer("/post", {200, "posted"});
    EXPECT_EQ(request.FetchText(server.Url("/post"), {.postText = "k=汀芷&x=1"_gbk}), "posted");
    auto sent = server.LastRequest();
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.body, "k=汀芷&x=1");  // text bodies go out as UTF-8
    EXPECT_EQ(sent.Header("Content-Type"), "application/x-www-form-urlencoded");

    Bytes bytes = {1, 2, 0, 3};
    request.FetchText(
        server.Url("/post"),
        {.postText = "ignored", .postBytes = bytes, .contentType = "application/x-raw"});
    sent = server.LastRequest();
    EXPECT_EQ(sent.body, std::string("\x01\x02\x00\x03", 4));
    EXPECT_EQ(sent.Header("Content-Type"), "application/x-raw");
}

TEST_F(HttpRequestTest, AnswersAreDecodedByTheChosenCharset) {
    server.SetAnswer("/gbk",
                     {200, "汀芷"_gbk + std::string("\0tail", 5), "text/html; charset=gbk"});
    server.SetAnswer("/big5",
                     {200, "<head><meta charset=big5></head>" + test::EncodePage("中文", "BIG5")});
    server.SetAnswer("/utf16", {200, test::EncodePage("汀芷<p>", "UTF-16LE", true)});

    EXPECT_EQ(request.FetchText(server.Url("/gbk"), {.charset = -1}), "汀芷"_gbk);
    EXPECT_EQ(request.FetchText(server.Url("/gbk"), {.charset = -2}), "汀芷"_gbk);
    EXPECT_EQ(request.FetchText(server.Url("/gbk")), "汀芷"_gbk);
    EXPECT_EQ(request.FetchText(server.Url("/big5")),
              "<head><meta charset=big5></head>" + "中文"_gbk);
    EXPECT_EQ(request.FetchText(server.Url("/utf16")), "汀芷"_gbk + "<p>");
    // Read as UTF-8 it does not convert, and the raw bytes end at the first zero.
    EXPECT_EQ(request.FetchText(server.Url("/utf16"), {.charset = kCharsetUtf8}),
              "\xFF\xFE\x40\x6C\xB7\x82<");
}

TEST_F(HttpRequestTest, FetchBytesHandsOverTheWholeBody) {
    std::string body("a\0b\xFF", 4);
    body += std::string(300000, 'z');
    server.SetAnswer("/bin", {200, body, "application/octet-stream"});
    Bytes got = request.FetchBytes(server.Url("/bin"), {.timeoutSeconds = 2.9});
    EXPECT_EQ(std::string(got.begin(), got.end()), body);
    EXPECT_TRUE(request.ResponseBody().empty());
    // Whole seconds only.
    EXPECT_EQ(request.GetAutomationObject()->Timeouts(), (HttpTimeouts{2000, 2000, 2000, 2000}));

    server.SetAnswer("/empty", {204, "", ""});
    EXPECT_TRUE(request.FetchBytes(server.Url("/empty")).empty());
    EXPECT_EQ(request.Status(), 204);

    // Large announced bodies are reserved and their pages faulted in on
    // another thread ahead of the bytes; every byte must still land in its
    // place, twice in a row on one object.
    std::string large(20u << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i * 2654435761u >> 13);
    server.SetAnswer("/large", {200, large, "application/octet-stream"});
    for (int round = 0; round < 2; ++round) {
        got = request.FetchBytes(server.Url("/large"));
        ASSERT_EQ(got.size(), large.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), large.begin(), [](std::uint8_t a, char b) {
            return a == static_cast<std::uint8_t>(b);
        }));
    }

    // A body announced far larger than what comes: the fetch fails, the
    // pages' thread ends with it, and the object serves the next request.
    RawHttpServer liar(
        "HTTP/1.1 200 OK\r\nContent-Length: 268435456\r\n"
        "Connection: close\r\n\r\nonly this");
    ASSERT_TRUE(liar.ok());
    EXPECT_TRUE(request.FetchBytes(liar.Url("/big")).empty());
    EXPECT_EQ(request.Status(), 0);
    got = request.FetchBytes(server.Url("/large"));
    EXPECT_EQ(got.size(), large.size());
}

TEST_F(HttpRequestTest, TimeoutArgumentRules) {
    server.SetAnswer("/t", {200, "t"});
    auto timeouts = [&] { return request.GetAutomationObject()->Timeouts(); };

    request.FetchText(server.Url("/t"), {.timeoutSeconds = 0.5});
    EXPECT_EQ(timeouts(), (HttpTimeouts{10000, 10000, 60000, 120000}));
    request.FetchText(server.Url("/t"), {.timeoutSeconds = 1.0});
    EXPECT_EQ(timeouts(), (HttpTimeouts{1000, 1000, 1000, 1000}));
    request.FetchText(server.Url("/t"), {.timeoutSeconds = 2.5});
    EXPECT_EQ(timeouts(), (HttpTimeouts{2500, 2500, 2500, 2500}));

    request.SetTimeouts(5000, 0, -3, 7000);
    EXPECT_EQ(timeouts(), (HttpTimeouts{5000, 5000, 5000, 7000}));
    EXPECT_EQ(request.FetchText(server.Url("/t"), {.timeoutSeconds = -1}), "t");
    EXPECT_EQ(timeouts(), (HttpTimeouts{5000, 5000, 5000, 7000}));

    // Absurd values are clamped, not overflowed.
    request.FetchText(server.Url("/t"), {.timeoutSeconds = 1e12});
    EXPECT_EQ(timeouts().receiveMs, INT_MAX);
    request.FetchBytes(server.Url("/t"), {.timeoutSeconds = -1e300});
    EXPECT_EQ(timeouts(), (HttpTimeouts{10000, 10000, 60000, 120000}));
}

TEST_F(HttpRequestTest, FailuresGiveEmptyResults) {
    // A port that nobody listens on: take one from a server that is gone.
    std::string refused;
    {
        LoopbackServer gone;
        refused = gone.Url("/x");
    }
    EXPECT_EQ(request.FetchText(refused), "");
    EXPECT_EQ(request.Status(), 0);
    EXPECT_EQ(request.StatusText(), "");
    EXPECT_EQ(request.GetAllResponseHeaders(), "");
    EXPECT_TRUE(request.FetchBytes(refused, {.sync = true}).empty());
    EXPECT_EQ(request.GetRedirectLocation(refused), "");
    EXPECT_EQ(request.GetStatusCode(refused), 0);
    EXPECT_EQ(request.FetchText("http://[::1"), "");
    EXPECT_EQ(request.FetchText(""), "");

    // Error pages are answers: their body comes back.
    EXPECT_EQ(request.FetchText(server.Url("/missing")), "not found");
    EXPECT_EQ(request.Status(), 404);
    EXPECT_EQ(request.StatusText(), "Not Found");
}

TEST_F(HttpRequestTest, ProxyTextSystemProxyAndMinusOne) {
    LoopbackServer proxy;
    LoopbackServer systemProxy;
    ASSERT_TRUE(proxy.ok() && systemProxy.ok());
    // Declared after the proxies, so its connections close before they stop.
    const NetConfig withSystemProxy{
        .systemProxy = "http=http://127.0.0.1:" + std::to_string(systemProxy.port()) +
                       ";https=http://127.0.0.1:9"};
    HttpRequest viaProxy(pump, withSystemProxy);
    HttpRequest withoutSystemProxy(pump);
    server.SetAnswer("/p", {200, "direct"});
    const std::string url = server.Url("/p");
    const std::string proxyAddress = "127.0.0.1:" + std::to_string(proxy.port());

    viaProxy.FetchText(url, {.proxy = proxyAddress});
    ASSERT_EQ(proxy.RequestCount(), 1u);
    EXPECT_EQ(proxy.LastRequest().target, url);  // absolute form: it went through the proxy
    // The setting stays for the next request, and "-1" leaves it alone.
    viaProxy.FetchText(url);
    viaProxy.FetchText(url, {.proxy = "-1"});
    EXPECT_EQ(proxy.RequestCount(), 3u);
    EXPECT_EQ(server.RequestCount(), 0u);

    // "IE": the system proxy of the configuration, for the URL's scheme.
    viaProxy.FetchText(url, {.proxy = "IE"});
    EXPECT_EQ(systemProxy.RequestCount(), 1u);
    EXPECT_EQ(systemProxy.LastRequest().target, url);
    // No system proxy: back to direct.
    withoutSystemProxy.FetchText(url, {.proxy = proxyAddress});
    EXPECT_EQ(proxy.RequestCount(), 4u);
    EXPECT_EQ(withoutSystemProxy.FetchText(url, {.proxy = "IE"}), "direct");
    EXPECT_EQ(server.RequestCount(), 1u);
    // The per-scheme form picks the entry for the URL's scheme.
    viaProxy.FetchText(url, {.proxy = "https=127.0.0.1:9;http=" + proxyAddress});
    EXPECT_EQ(proxy.RequestCount(), 5u);
}

TEST_F(HttpRequestTest, EventsThatReuseTheObjectDuringTheWaitOwnTheAnswer) {
    server.SetAnswer("/slow", {.body = "slow", .hold = true});
    server.SetAnswer("/quick", {200, "quick"});
    Text nested;
    bool started = false;
    pump.onEveryPump = [&] {
        if (started) return;
        started = true;
        nested = request.FetchText(server.Url("/quick"));
    };
    EXPECT_EQ(request.FetchText(server.Url("/slow"), {.timeoutSeconds = 5}), "");
    EXPECT_EQ(nested, "quick");
    EXPECT_EQ(request.Status(), 200);
    server.ReleaseHeld();
}

TEST_F(HttpRequestTest, EventsThatReuseTheObjectWhileThePageIsDecodedLeaveItIntact) {
    server.SetAnswer("/quick", {200, "quick"});
    Text nested;
    bool fired = false;
    // Only once the answer is complete, that is while the page is decoded.
    pump.onEveryPump = [&] {
        if (fired || request.Status() != 200) return;
        fired = true;
        nested = request.FetchText(server.Url("/quick"));
    };
    // Decoding lets events run every few milliseconds: grow the page until it
    // takes long enough for that to happen.
    for (std::size_t size = 1 << 20; !fired && size <= (64u << 20); size *= 2) {
        std::string page;
        page.reserve(size + 32);
        while (page.size() < size) page += "汀芷软件盒子 ok ";
        server.SetAnswer("/big", {200, page});
        const Text text = request.FetchText(server.Url("/big"));
        if (!fired) continue;
        EXPECT_EQ(text.size(), Utf8ToGbk(page).size());
        EXPECT_EQ(text.substr(0, 12), "汀芷软件盒子"_gbk);
    }
    ASSERT_TRUE(fired);
    EXPECT_EQ(nested, "quick");
}

TEST_F(HttpRequestTest, ServiceObjectMembers) {
    server.SetAnswer("/a", {200, "abc", "text/plain", {{"X-Info", "  spaced  "}}});
    server.SetAnswers("/auth",
                      {{401, "who?", "text/plain", {{"WWW-Authenticate", "Basic realm=\"box\""}}},
                       {200, "welcome"}});

    EXPECT_FALSE(request.SetRequestHeader("X", "before open"));
    Text url = server.Url("/a");
    ASSERT_TRUE(request.Open("get", url, true));
    EXPECT_FALSE(request.SetRequestHeader("Bad Name", "x"));
    EXPECT_FALSE(request.SetRequestHeader("X", "a\r\nB: c"));
    // With no User-Agent header the object's own agent goes out.
    EXPECT_EQ(std::get<Text>(request.Option(kOptionUserAgent, Text("Agent/1"))), "Agent/1");
    EXPECT_EQ(std::get<long long>(request.Option(kOptionMaxRedirects)), 10);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(request.Option(99, 1LL)));
    ASSERT_TRUE(request.Send());
    EXPECT_EQ(request.Status(), 0);  // not complete before the wait
    ASSERT_TRUE(request.WaitForResponse(10));
    EXPECT_EQ(server.LastRequest().method, "GET");
    EXPECT_EQ(server.LastRequest().Header("User-Agent"), "Agent/1");
    EXPECT_EQ(request.GetResponseHeader("x-info"), "spaced");
    EXPECT_EQ(request.ResponseText(), "abc");
    std::string streamed;
    *request.ResponseStream() >> streamed;
    EXPECT_EQ(streamed, "abc");

    // Credentials belong to the opened request and answer the server's challenge.
    url = server.Url("/auth");
    ASSERT_TRUE(request.Open("GET", url, false));
    ASSERT_TRUE(request.SetCredentials("u", "p"));
    ASSERT_TRUE(request.Send());
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(server.LastRequest().Header("Authorization"), "Basic dTpw");

    // Waiting on a held answer runs out; Abort then leaves nothing.
    server.SetAnswer("/held", {.body = "x", .hold = true});
    url = server.Url("/held");
    ASSERT_TRUE(request.Open("GET", url, true));
    ASSERT_TRUE(request.Send());
    EXPECT_FALSE(request.WaitForResponse(0.2));
    request.Abort();
    EXPECT_EQ(request.Status(), 0);
    EXPECT_FALSE(request.WaitForResponse(1));
    server.ReleaseHeld();
}

TEST(HttpRequestTls, HttpsWithTheConfiguredAuthorityOnly) {
    test::TempDir dir;
    test::TestTlsFiles tls = test::CreateTestTlsFiles(dir.path());
    if (!tls.ok()) GTEST_SKIP() << "the openssl tool is not available";
    LoopbackServer server({.certificate = tls.serverCertificate, .privateKey = tls.serverKey});
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/s", {200, "secret"});
    NullEventPump pump;

    {
        HttpRequest trusting(pump, {.caFile = tls.caCertificate.string()});
        EXPECT_EQ(trusting.FetchText(server.Url("/s")), "secret");
        // A new service object keeps the configured authority.
        trusting.Recreate();
        EXPECT_EQ(trusting.FetchText(server.Url("/s")), "secret");
    }
    {
        HttpRequest strict(pump);
        EXPECT_EQ(strict.FetchText(server.Url("/s")), "");
    }
    EXPECT_EQ(server.RequestCount(), 2u);
}

}  // namespace
}  // namespace box
