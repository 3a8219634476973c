// The exchanges whose requests drop the port: their stand-ins listen on ports
// 80 and 443 of their own loopback addresses, which needs the right to bind
// them (CI runs as root); elsewhere the tests are skipped.

#include <gtest/gtest.h>

#include "../ResolveTestSupport.h"
#include "support/Text.h"

namespace box {
namespace {

using test::Answer;
using test::Fake360Options;
using test::Fake360Service;
using test::FakeTongbupanOptions;
using test::FakeTongbupanService;
using test::LoopbackServer;

#define SKIP_UNLESS_BOUND(fake, what) \
    if (!(fake).ok())                 \
    GTEST_SKIP() << "cannot bind " << (what) << " (needs the right to bind port 80)"

std::vector<std::string> Paths(const std::vector<test::LoggedRequest>& log) {
    std::vector<std::string> paths;
    for (const auto& entry : log) paths.push_back(entry.server + " " + entry.request.target);
    return paths;
}

using Share360Test = test::ResolverTest;

TEST_F(Share360Test, PasswordPageListingAndDownloadThroughTheSharedRequest) {
    Fake360Options options;
    options.password = "k3x9";
    Fake360Service share(options);
    SKIP_UNLESS_BOUND(share, "127.0.0.36:80");
    ResolveContext context = Context({.yunpanShortHost = share.ShortHost()});

    Text source = share.ShortLink() + "|k3x9";
    EXPECT_EQ(ResolveShareLink(source, context), "http://127.0.0.36/dl/17/a-tool.rar?sign=q1");
    EXPECT_EQ(pump.sleptMs, 0);

    const auto log = share.Log();
    const std::string surl = options.surl;
    ASSERT_EQ(Paths(log), (std::vector<std::string>{
                              "short /" + surl,
                              "share /share/verifyPassword",
                              "share /lk/" + surl,
                              "share /share/listsharedir",
                              "share /share/downloadfile/",
                          }));
    EXPECT_EQ(log[1].request.method, "POST");
    EXPECT_EQ(log[1].request.body, "shorturl=" + surl + "&linkpassword=k3x9");
    const std::string access = std::string(Fake360Service::kCookieName) + "=" + surl + "-granted";
    EXPECT_EQ(log[2].request.method, "GET");
    EXPECT_EQ(log[2].request.Header("Cookie"), access);
    EXPECT_EQ(log[3].request.body,
              "field=name&nid=1450785472&order=asc&page=0&page_size=300&surl=" + surl);
    EXPECT_EQ(log[3].request.Header("Cookie"), access);
    EXPECT_EQ(log[3].request.Header("Host"), "127.0.0.36");
    // The first entry by name, not the first in the folder.
    EXPECT_EQ(log[4].request.body, "nid=2200017&shorturl=" + surl);
    EXPECT_EQ(log[4].request.Header("Cookie"), access);
    EXPECT_TRUE(share.Complaints().empty());
}

// The password check goes to the share page's host as written; listing and
// download go to its lower-cased name on port 80.
TEST_F(Share360Test, AnUpperCaseHostWithAPortKeepsItOnlyForThePasswordCheck) {
    Fake360Options asWritten;
    asWritten.shortAddress = "127.0.0.35";
    asWritten.shareAddress = "127.0.0.1";
    asWritten.sharePort = 0;
    asWritten.password = "pw";
    Fake360Service share(asWritten);
    ASSERT_TRUE(share.ok());
    const std::string pageHost = "LOCALHOST:" + std::to_string(share.shareServer().port());
    share.SetPageHost(pageHost);

    LoopbackServer defaultPort(test::At("127.0.0.1", 80));
    SKIP_UNLESS_BOUND(defaultPort, "127.0.0.1:80");
    defaultPort.SetAnswer("/share/listsharedir", Answer{200, R"({"data":[{"nid": "31"}]})"});
    defaultPort.SetAnswer("/share/downloadfile/",
                          Answer{200, R"({"downloadurl":"http:\/\/127.0.0.1\/f.rar"})"});

    ResolveContext context = Context({.yunpanShortHost = share.ShortHost()});
    HttpRequest request(pump);
    EXPECT_EQ(Resolve360Share(share.ShortLink(), "pw", request, context), "http://127.0.0.1/f.rar");

    const auto log = share.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].request.path, "/share/verifyPassword");
    EXPECT_EQ(log[1].request.Header("Host"), pageHost);
    EXPECT_EQ(log[2].request.path, "/lk/" + asWritten.surl);
    const auto defaults = defaultPort.Requests();
    ASSERT_EQ(defaults.size(), 2u);
    EXPECT_EQ(defaults[0].path, "/share/listsharedir");
    EXPECT_EQ(defaults[0].Header("Host"), "localhost");
    EXPECT_EQ(defaults[0].body,
              "field=name&nid=1450785472&order=asc&page=0&page_size=300&surl=" + asWritten.surl);
    EXPECT_EQ(defaults[1].Header("Host"), "localhost");
    EXPECT_EQ(defaults[1].body, "nid=31&shorturl=" + asWritten.surl);
}

class Share360FaultTest : public test::ResolverTest,
                          public ::testing::WithParamInterface<test::Fault> {};

TEST_P(Share360FaultTest, ABadSharePageEndsEmptyAfterThreeAttemptsWithTheWindowAlive) {
    Fake360Service share;
    SKIP_UNLESS_BOUND(share, "127.0.0.36:80");
    share.SetFault("/lk/" + share.options().surl, GetParam().answer);
    ResolveContext context = Context({.yunpanShortHost = share.ShortHost()});
    context.requestTimeoutSeconds = 1;
    bool pumpedWhileStalled = false;
    pump.onEveryPump = [&] {
        pumpedWhileStalled = pumpedWhileStalled || share.shareServer().HeldCount() > 0;
    };

    Text source = share.ShortLink();
    EXPECT_EQ(ResolveShareLink(source, context), "");
    EXPECT_EQ(pump.sleptMs, 3000);
    EXPECT_GE(share.shareServer().RequestCount(), 3u);
    if (GetParam().answer.hold) {
        EXPECT_TRUE(pumpedWhileStalled);
    }
    EXPECT_GE(pump.pumps, 300);  // at the least, through the three pauses
}

INSTANTIATE_TEST_SUITE_P(Faults, Share360FaultTest, ::testing::ValuesIn(test::BadAnswers()),
                         test::FaultName);

class TongbupanExchangeTest : public test::ResolverTest {
protected:
    void SetUp() override {
        tls_ = test::CreateTestTlsFiles(dir_.path(), {"127.0.0.37"});
        if (!tls_.ok()) GTEST_SKIP() << "the openssl tool is not available";
    }

    FakeTongbupanOptions Options() const {
        FakeTongbupanOptions options;
        options.certificate = tls_.serverCertificate;
        options.privateKey = tls_.serverKey;
        return options;
    }

    ResolveContext ContextFor(const FakeTongbupanService& fake) {
        NetConfig net;
        net.caFile = tls_.caCertificate.string();
        return Context({.tongbupanWebHost = fake.WebHost(), .tongbupanShortHost = fake.ShortHost()},
                       net);
    }

    test::TempDir dir_;
    test::TestTlsFiles tls_;
};

TEST_F(TongbupanExchangeTest, ShortLinkFolderPageDownloadLinkAndRedirect) {
    FakeTongbupanService tongbupan(Options());
    SKIP_UNLESS_BOUND(tongbupan, "ports 80 and 443 of 127.0.0.37");
    ResolveContext context = ContextFor(tongbupan);

    Text source = tongbupan.ShortLink();
    // The final address was written "HTTPS://".
    EXPECT_EQ(ResolveShareLink(source, context), "http://127.0.0.37/files/sample.rar");
    EXPECT_EQ(source, "https://127.0.0.37/link/ZT0xNzQ1/");
    EXPECT_EQ(pump.sleptMs, 0);

    const auto log = tongbupan.Log();
    ASSERT_EQ(
        Paths(log),
        (std::vector<std::string>{
            "short /s7Kd",
            "web /link/folder/ZT0xNzQ1/",
            "web /link/download/?linkid=ZT0xNzQ1&path=%2F%E6%B1%80%E8%8A%B7%E8%BD%AF%E4%BB%B6%"
            "2F%E7%A4%BA%E4%BE%8B%20%E5%B7%A5%E5%85%B7.rar",
            "plain /link/dl/d9f3c1",
        }));
    EXPECT_EQ(log[1].request.Header("Host"), "127.0.0.37");
    EXPECT_EQ(log[3].request.Header("Host"), "127.0.0.37");
    EXPECT_TRUE(tongbupan.Complaints().empty());
}

// A long link is used as it is; the link id ends at the next "/".
TEST_F(TongbupanExchangeTest, ALongLinkIsUsedAsItIs) {
    FakeTongbupanService tongbupan(Options());
    SKIP_UNLESS_BOUND(tongbupan, "ports 80 and 443 of 127.0.0.37");
    ResolveContext context = ContextFor(tongbupan);
    Text source = "http://127.0.0.37/link/ZT0xNzQ1/folder/x";
    EXPECT_EQ(ResolveTongbupanLink(source, context), "http://127.0.0.37/files/sample.rar");
    EXPECT_EQ(source, "http://127.0.0.37/link/ZT0xNzQ1/folder/x");
    EXPECT_EQ(tongbupan.shortServer().RequestCount(), 0u);
    EXPECT_TRUE(tongbupan.Complaints().empty());
}

class TongbupanFaultTest : public TongbupanExchangeTest,
                           public ::testing::WithParamInterface<test::Fault> {};

TEST_P(TongbupanFaultTest, ABadFolderPageEndsEmptyAfterThreeAttemptsWithTheWindowAlive) {
    FakeTongbupanService tongbupan(Options());
    SKIP_UNLESS_BOUND(tongbupan, "ports 80 and 443 of 127.0.0.37");
    tongbupan.SetFault("/link/folder/ZT0xNzQ1/", GetParam().answer);
    ResolveContext context = ContextFor(tongbupan);
    context.requestTimeoutSeconds = 1;
    bool pumpedWhileStalled = false;
    pump.onEveryPump = [&] {
        pumpedWhileStalled = pumpedWhileStalled || tongbupan.webServer().HeldCount() > 0;
    };

    Text source = tongbupan.LongLink();
    EXPECT_EQ(ResolveShareLink(source, context), "");
    EXPECT_EQ(pump.sleptMs, 3000);
    if (GetParam().answer.hold) {
        EXPECT_TRUE(pumpedWhileStalled);
    }
    EXPECT_GE(pump.pumps, 300);  // at the least, through the three pauses
    // Three tries per attempt: nine folder pages, each followed by a
    // download-link request that finds no path.
    int folderPages = 0;
    for (const auto& entry : tongbupan.Log())
        folderPages += entry.request.path == "/link/folder/ZT0xNzQ1/" ? 1 : 0;
    if (GetParam().answer.hold) {
        // Held answers tie up the stand-in's worker threads: later requests
        // wait unseen in its queue.
        EXPECT_GE(folderPages, 3);
    } else {
        EXPECT_EQ(folderPages, 9);
    }
    tongbupan.webServer().Stop();  // lets the abandoned requests end
}

INSTANTIATE_TEST_SUITE_P(Faults, TongbupanFaultTest, ::testing::ValuesIn(test::BadAnswers()),
                         test::FaultName);

}  // namespace
}  // namespace box
