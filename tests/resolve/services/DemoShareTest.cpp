// The demo server's programs behind the share-service stand-ins: each source
// in its catalog resolves through its service to that program's archive.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../ResolveTestSupport.h"
#include "DemoServer.h"
#include "net/HttpRequest.h"
#include "resolve/ShareLink.h"
#include "support/Text.h"

namespace box {
namespace {

// The download sources of the catalog, in order (UTF-8).
std::vector<std::string> DownloadSources(const Text& catalog) {
    std::vector<std::string> sources;
    const std::string key = "下载地址=";
    for (const Text& line : Split(catalog, "\r\n")) {
        const std::string utf8 = GbkToUtf8(line);
        if (utf8.rfind(key, 0) == 0) sources.push_back(utf8.substr(key.size()));
    }
    return sources;
}

// A value of the server's "NAME=value" settings for the box.
std::string Setting(const demo::DemoServer& server, const std::string& name) {
    for (const std::string& setting : server.ShareEnvironment()) {
        if (setting.rfind(name + "=", 0) == 0) return setting.substr(name.size() + 1);
    }
    return {};
}

using DemoShareTest = test::ResolverTest;

TEST_F(DemoShareTest, TheLastThreeProgramsComeThroughTheirShareServices) {
    test::TempDir folder;
    demo::DemoServer server({.port = 0, .programs = 6, .shareFolder = folder.path()});
    ASSERT_TRUE(server.ok());
    if (server.ShareEnvironment().empty())
        GTEST_SKIP() << "the share stand-ins cannot bind ports 80 and 443";

    HttpRequest fetch{pump};
    const std::vector<std::string> sources = DownloadSources(fetch.FetchText(server.CatalogUrl()));
    ASSERT_EQ(sources.size(), 7u);  // the box's own package first
    NetConfig net;
    net.caFile = Setting(server, "SOFTBOX_CA_FILE");
    ResolveContext context =
        Context({.yunpanShortHost = Setting(server, "SOFTBOX_360_HOST"),
                 .tongbupanWebHost = Setting(server, "SOFTBOX_TONGBUPAN_HOST"),
                 .tongbupanShortHost = Setting(server, "SOFTBOX_TONGBUPAN_SHORT_HOST"),
                 .baiduApiHost = Setting(server, "SOFTBOX_BAIDU_HOST")},
                net);
    context.boxDownloadSource = demo::kDemoDownloadSource;
    const auto programs = demo::DemoPrograms(6);
    for (int i = 3; i < 6; ++i) {
        SCOPED_TRACE(sources[static_cast<std::size_t>(i) + 1]);
        // Not the demo server's own address: a share link or a Baidu path.
        EXPECT_EQ(sources[static_cast<std::size_t>(i) + 1].find(server.BaseUrl()),
                  std::string::npos);
        Text source = Utf8ToGbk(sources[static_cast<std::size_t>(i) + 1]);
        const Text url = ResolveShareLink(source, context);
        ASSERT_FALSE(url.empty());
        const Bytes archive = fetch.FetchBytes(url);
        EXPECT_EQ(fetch.Status(), 200);
        EXPECT_EQ(std::string(archive.begin(), archive.end()),
                  demo::DemoArchive(programs[static_cast<std::size_t>(i)]));
    }
    for (const std::string& plain : {sources[1], sources[2], sources[3]})
        EXPECT_EQ(plain.rfind(server.BaseUrl() + "/files/", 0), 0u) << plain;
}

}  // namespace
}  // namespace box
