#include <gtest/gtest.h>

#include "ResolveTestSupport.h"
#include "support/Text.h"

namespace box {
namespace {

using test::Answer;
using test::Fake360Options;
using test::Fake360Service;
using test::FakeBaiduOptions;
using test::FakeBaiduService;
using test::FakeTongbupanOptions;
using test::FakeTongbupanService;
using test::G;
using test::LoopbackServer;

// Addresses of their own, apart from the stand-ins that need port 80 (they
// may run at the same time in another test binary).
constexpr const char* k360Short = "127.0.0.45";
constexpr const char* k360Share = "127.0.0.46";
constexpr const char* kTongbupanWeb = "127.0.0.47";
constexpr const char* kTongbupanShort = "127.0.0.48";
constexpr const char* kBaidu = "127.0.0.49";

Fake360Options Open360(std::string password = {}) {
    Fake360Options options;
    options.shortAddress = k360Short;
    options.shareAddress = k360Share;
    options.sharePort = 0;
    options.password = std::move(password);
    return options;
}

FakeTongbupanOptions PlainTongbupan() {
    FakeTongbupanOptions options;
    options.webAddress = kTongbupanWeb;
    options.httpsPort = 0;
    options.shortAddress = kTongbupanShort;
    return options;
}

FakeBaiduOptions Baidu(std::string cookie = FakeBaiduOptions{}.cookie) {
    FakeBaiduOptions options;
    options.address = kBaidu;
    options.cookie = std::move(cookie);
    return options;
}

std::vector<std::string> Paths(const std::vector<test::LoggedRequest>& log) {
    std::vector<std::string> paths;
    for (const auto& entry : log) paths.push_back(entry.server + " " + entry.request.path);
    return paths;
}

using DispatchTest = test::ResolverTest;

TEST_F(DispatchTest, DirectUrlsInAnyCaseComeBackWithoutARequest) {
    FakeBaiduService baidu(Baidu());
    ASSERT_TRUE(baidu.ok());
    ResolveContext context = Context({.baiduApiHost = baidu.Host()});
    context.boxDownloadSource = baidu.options().cookie;

    for (const char* url : {"http://127.0.0.49/a.rar", "HTTP://127.0.0.49/B.rar", "hTtP://x/y|z",
                            "https://127.0.0.49/c.rar", "HTTPS://127.0.0.49/d"}) {
        Text source = url;
        EXPECT_EQ(ResolveShareLink(source, context), url);
        EXPECT_EQ(source, url);
    }
    EXPECT_EQ(baidu.server().RequestCount(), 0u);
    EXPECT_EQ(pump.sleptMs, 0);
}

TEST_F(DispatchTest, AnEmptySourceIsAFailedBaiduPathAfterThreePauses) {
    FakeBaiduService baidu(Baidu());
    ASSERT_TRUE(baidu.ok());
    baidu.SetFault("/api/list", Answer{200, R"({"errno":0,"list":[]})"});
    ResolveContext context = Context({.baiduApiHost = baidu.Host()});
    context.boxDownloadSource = baidu.options().cookie;

    Text source;
    EXPECT_EQ(ResolveShareLink(source, context), "");
    EXPECT_EQ(pump.sleptMs, 3000);
    int listings = 0;
    for (const auto& entry : baidu.Log()) {
        if (entry.request.path != "/api/list") continue;
        ++listings;
        EXPECT_EQ(entry.request.target,
                  "/api/list?channel=chunlei&clienttype=0&web=1&num=100&page=1&dir=%2F%E6%B1%80%E8%"
                  "8A%B7%E8%BD%AF%E4%BB%B6%2F");
    }
    EXPECT_EQ(listings, 3);
}

// The catalog's cookie text reaches the Baidu requests through the dispatch.
TEST_F(DispatchTest, ABaiduPathResolvesWithTheCatalogsCookies) {
    FakeBaiduService baidu(Baidu());
    ASSERT_TRUE(baidu.ok());
    ResolveContext context = Context({.baiduApiHost = baidu.Host()});
    context.boxDownloadSource = baidu.options().cookie;
    Text source = G(baidu.options().path.c_str());
    EXPECT_EQ(ResolveShareLink(source, context), baidu.FileUrl());
    EXPECT_TRUE(baidu.Complaints().empty());
    EXPECT_EQ(pump.sleptMs, 0);
}

// The share host of these stand-ins is off port 80, so the listing never
// answers: every attempt ends empty, and only what went before it is looked at.
TEST_F(DispatchTest, A360PasswordIsCheckedOnlyWhenTheSourceNamesOne) {
    for (const std::string password : {"", "k3x9"}) {
        SCOPED_TRACE(password);
        Fake360Service share(Open360(password));
        ASSERT_TRUE(share.ok());
        ResolveContext context = Context({.yunpanShortHost = share.ShortHost()});
        HttpRequest request(pump);
        Text source = share.ShortLink() + (password.empty() ? "" : "|" + password + "|ignored");
        EXPECT_EQ(Resolve360Share(share.ShortLink(), password, request, context), "");

        const auto log = share.Log();
        const std::string surl = share.options().surl;
        if (password.empty()) {
            EXPECT_EQ(Paths(log),
                      (std::vector<std::string>{"short /" + surl, "share /lk/" + surl}));
        } else {
            ASSERT_EQ(Paths(log),
                      (std::vector<std::string>{"short /" + surl, "share /share/verifyPassword",
                                                "share /lk/" + surl}));
            EXPECT_EQ(log[1].request.body, "shorturl=" + surl + "&linkpassword=" + password);
        }
        EXPECT_TRUE(share.Complaints().empty());

        // Through the dispatch: the same requests at each of three attempts.
        pump.sleptMs = 0;
        const std::size_t before = log.size();
        const Text keep = source;
        EXPECT_EQ(ResolveShareLink(source, context), "");
        EXPECT_EQ(source, keep);
        EXPECT_EQ(share.Log().size(), before * 4);
        EXPECT_EQ(pump.sleptMs, 3000);
    }
}

TEST_F(DispatchTest, AResolvedShortLinkStaysRewrittenWhenTheResolutionFails) {
    FakeTongbupanService tongbupan(PlainTongbupan());
    ASSERT_TRUE(tongbupan.ok());
    ResolveContext context = Context(
        {.tongbupanWebHost = tongbupan.WebHost(), .tongbupanShortHost = tongbupan.ShortHost()});
    context.requestTimeoutSeconds = 1;

    Text source = tongbupan.ShortLink();
    EXPECT_EQ(ResolveShareLink(source, context), "");
    EXPECT_EQ(source, tongbupan.LongLink());
    // Later attempts start from the long link: the short host hears of it once.
    EXPECT_EQ(tongbupan.shortServer().RequestCount(), 1u);
    // This web stand-in speaks no https: only the final redirects reach it.
    EXPECT_EQ(tongbupan.webServer().RequestCount(), 3u);
    EXPECT_EQ(pump.sleptMs, 3000);
}

using ShareLink360Test = test::ResolverTest;

TEST_F(ShareLink360Test, ThreeEmptyRedirectsEndEmptyAfterThreeShortPauses) {
    LoopbackServer shortHost(test::At(k360Short));
    ASSERT_TRUE(shortHost.ok());
    shortHost.SetAnswer("/abc", Answer{200, "no redirect here"});
    const std::string host = std::string(k360Short) + ":" + std::to_string(shortHost.port());
    ResolveContext context = Context({.yunpanShortHost = host});
    HttpRequest request(pump);
    EXPECT_EQ(Resolve360Share("http://" + host + "/abc", "", request, context), "");
    EXPECT_EQ(shortHost.RequestCount(), 3u);
    EXPECT_EQ(pump.sleptMs, 300);
}

using TongbupanTest = test::ResolverTest;

TEST_F(TongbupanTest, AShortLinkThatLeadsNowhereIsReturnedAsItIs) {
    LoopbackServer shortHost(test::At(kTongbupanShort));
    ASSERT_TRUE(shortHost.ok());
    shortHost.SetAnswer("/s1", Answer{404, "gone"});
    const std::string host = std::string(kTongbupanShort) + ":" + std::to_string(shortHost.port());
    ResolveContext context =
        Context({.tongbupanWebHost = "127.0.0.47", .tongbupanShortHost = host});
    Text source = "http://" + host + "/s1";
    const Text original = source;
    EXPECT_EQ(ResolveTongbupanLink(source, context), original);
    EXPECT_EQ(source, original);
    EXPECT_EQ(shortHost.RequestCount(), 3u);
    EXPECT_EQ(pump.sleptMs, 3000);

    // The dispatch then takes it for the download address at once.
    pump.sleptMs = 0;
    EXPECT_EQ(ResolveShareLink(source, context), original);
    EXPECT_EQ(pump.sleptMs, 3000);
}

using BaiduTest = test::ResolverTest;

// The whole exchange, request by request.
TEST_F(BaiduTest, ListsTheFolderAsksForTheDlinkAndFollowsIt) {
    FakeBaiduService baidu(Baidu());
    ASSERT_TRUE(baidu.ok());
    ResolveContext context = Context({.baiduApiHost = baidu.Host()});
    const Text cookie = baidu.options().cookie;

    EXPECT_EQ(ResolveBaiduPath(G(baidu.options().path.c_str()), cookie, context), baidu.FileUrl());

    const auto log = baidu.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].request.method, "GET");
    EXPECT_EQ(log[0].request.target,
              "/api/list?channel=chunlei&clienttype=0&web=1&num=100&page=1&dir="
              "%2F%E6%B1%80%E8%8A%B7%E8%BD%AF%E4%BB%B6%2F%E7%A4%BA%E4%BE%8B%2F%E5%B7%A5%E5%85%B7%"
              "201.rar");
    EXPECT_EQ(log[0].request.Header("Cookie"), cookie);
    EXPECT_EQ(log[0].request.Header("Host"), baidu.Host());
    EXPECT_EQ(log[1].request.method, "POST");
    EXPECT_EQ(log[1].request.target, "/api/download?channel=chunlei&clienttype=0&web=1");
    EXPECT_EQ(log[1].request.body, "fidlist=%5B4090529872334%5D&type=dlink");
    EXPECT_EQ(log[1].request.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(log[1].request.Header("Cookie"), cookie);
    // The dlink came with escaped slashes and goes out with plain ones.
    EXPECT_EQ(log[2].request.method, "GET");
    EXPECT_EQ(log[2].request.target, "/file/4090529872334?fid=1-77&sign=Q%2Bz");
    EXPECT_TRUE(baidu.Complaints().empty());
}

TEST_F(BaiduTest, AnEmptyCookieTextStillSendsBothRequests) {
    FakeBaiduService baidu(Baidu(""));
    ASSERT_TRUE(baidu.ok());
    ResolveContext context = Context({.baiduApiHost = baidu.Host()});
    EXPECT_EQ(ResolveBaiduPath(G(baidu.options().path.c_str()), "", context), baidu.FileUrl());
    const auto log = baidu.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_FALSE(log[0].request.HasHeader("Cookie"));
    EXPECT_FALSE(log[1].request.HasHeader("Cookie"));
    EXPECT_EQ(log[1].request.body, "fidlist=%5B4090529872334%5D&type=dlink");
    EXPECT_TRUE(baidu.Complaints().empty());
}

// A session the service no longer knows gets no fs_id, and the download
// request then asks for an empty list.
TEST_F(BaiduTest, AStaleCookieEndsEmpty) {
    FakeBaiduService baidu(Baidu());
    ASSERT_TRUE(baidu.ok());
    ResolveContext context = Context({.baiduApiHost = baidu.Host()});
    EXPECT_EQ(ResolveBaiduPath(G(baidu.options().path.c_str()), "BDUSS=old", context), "");
    const auto log = baidu.Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].request.body, "fidlist=%5B%5D&type=dlink");
}

class BaiduFaultTest : public test::ResolverTest,
                       public ::testing::WithParamInterface<test::Fault> {};

TEST_P(BaiduFaultTest, ABadListingEndsEmptyAfterThreeAttemptsWithTheWindowAlive) {
    FakeBaiduService baidu(Baidu());
    ASSERT_TRUE(baidu.ok());
    baidu.SetFault("/api/list", GetParam().answer);
    ResolveContext context = Context({.baiduApiHost = baidu.Host()});
    context.boxDownloadSource = baidu.options().cookie;
    context.requestTimeoutSeconds = 1;
    bool pumpedWhileStalled = false;
    pump.onEveryPump = [&] {
        pumpedWhileStalled = pumpedWhileStalled || baidu.server().HeldCount() > 0;
    };

    Text source = G(baidu.options().path.c_str());
    EXPECT_EQ(ResolveShareLink(source, context), "");
    EXPECT_EQ(pump.sleptMs, 3000);
    EXPECT_GE(baidu.server().RequestCount(), 3u);
    if (GetParam().answer.hold) {
        EXPECT_TRUE(pumpedWhileStalled);
    }
    EXPECT_GE(pump.pumps, 300);  // at the least, through the three pauses
}

INSTANTIATE_TEST_SUITE_P(Faults, BaiduFaultTest, ::testing::ValuesIn(test::BadAnswers()),
                         test::FaultName);

}  // namespace
}  // namespace box
