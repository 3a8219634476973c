#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "LoopbackServer.h"
#include "app/BoxConfig.h"
#include "app/StartUp.h"
#include "TestDoubles.h"

namespace box {
namespace {

namespace fs = std::filesystem;

// The executable path as the system gives it: its folder may hold
// characters that GBK lacks.
const fs::path kExecutable = "/opt/한 盒子/softbox";

TEST(BoxConfigTest, TheBuildsDefaultsUnderAnEmptyEnvironment) {
    const BoxConfig config = MakeBoxConfig(Environment({{"HOME", "/home/甲"}}), kExecutable);
    EXPECT_EQ(config.boxFolder, "/opt/한 盒子");
    EXPECT_EQ(config.executableName, "softbox");
    EXPECT_EQ(config.catalogUrl, SOFTBOX_DEFAULT_CATALOG_URL);
    EXPECT_EQ(config.catalogUrl, DefaultCatalogUrl());
    EXPECT_TRUE(config.catalogFile.empty());
    EXPECT_TRUE(config.net.caFile.empty());
    EXPECT_TRUE(config.net.systemProxy.empty());
    EXPECT_EQ(config.registryFile, "/home/甲/.config/softbox/registry.ini");
    EXPECT_EQ(config.desktopFolder, "/home/甲/Desktop");
}

// Everything a test needs to keep the box on loopback and in its own folders
// comes in through the environment, without touching the process's own.
TEST(BoxConfigTest, TheEnvironmentPointsEverythingElsewhere) {
    test::TempDir dir;
    const std::string folder = dir.path().string();
    const BoxConfig config =
        MakeBoxConfig(Environment({
                          {"HOME", "/home/甲"},
                          {"XDG_CONFIG_HOME", folder + "/cfg"},
                          {kCatalogUrlVariable, "http://127.0.0.2:8080/box.txt"},
                          {kCatalogFileVariable, folder + "/汀芷·软件列表.ini"},
                          {kCaFileVariable, folder + "/ca.pem"},
                          {"http_proxy", "127.0.0.3:3128"},
                      }),
                      kExecutable);
    EXPECT_EQ(config.catalogUrl, "http://127.0.0.2:8080/box.txt");
    EXPECT_EQ(config.catalogFile, dir.path() / "汀芷·软件列表.ini");
    EXPECT_EQ(config.net.caFile, folder + "/ca.pem");
    EXPECT_EQ(config.net.systemProxy, "127.0.0.3:3128");
    EXPECT_EQ(config.registryFile, dir.path() / "cfg" / "softbox" / "registry.ini");
    EXPECT_EQ(config.desktopFolder, "/home/甲/Desktop");

    // Set to nothing is not set.
    const BoxConfig blank = MakeBoxConfig(
        Environment({{"HOME", "/home/甲"}, {kCatalogUrlVariable, ""}, {kCaFileVariable, ""}}),
        kExecutable);
    EXPECT_EQ(blank.catalogUrl, DefaultCatalogUrl());
    EXPECT_TRUE(blank.net.caFile.empty());
}

// A service host may carry a port so that a stand-in can listen anywhere.
TEST(BoxConfigTest, ServiceHostsComeFromTheBuildUnlessTheEnvironmentNamesOthers) {
    const BoxConfig defaults = MakeBoxConfig(Environment({{"HOME", "/home/甲"}}), kExecutable);
    EXPECT_EQ(defaults.services.yunpanShortHost, SOFTBOX_DEFAULT_360_HOST);
    EXPECT_EQ(defaults.services.tongbupanWebHost, SOFTBOX_DEFAULT_TONGBUPAN_HOST);
    EXPECT_EQ(defaults.services.tongbupanShortHost, SOFTBOX_DEFAULT_TONGBUPAN_SHORT_HOST);
    EXPECT_EQ(defaults.services.baiduApiHost, SOFTBOX_DEFAULT_BAIDU_HOST);
    EXPECT_FALSE(defaults.services.yunpanShortHost.empty());

    const BoxConfig set = MakeBoxConfig(Environment({
                                            {"HOME", "/home/甲"},
                                            {k360HostVariable, "127.0.0.35:8035"},
                                            {kTongbupanHostVariable, "127.0.0.37"},
                                            {kTongbupanShortHostVariable, "127.0.0.38:81"},
                                            {kBaiduHostVariable, ""},
                                        }),
                                        kExecutable);
    EXPECT_EQ(set.services.yunpanShortHost, "127.0.0.35:8035");
    EXPECT_EQ(set.services.tongbupanWebHost, "127.0.0.37");
    EXPECT_EQ(set.services.tongbupanShortHost, "127.0.0.38:81");
    EXPECT_EQ(set.services.baiduApiHost, SOFTBOX_DEFAULT_BAIDU_HOST);  // blank is unset
}

// The box's process hands the configuration to the objects that use it.
TEST(BoxConfigTest, TheProcessGivesItsObjectsWhatTheConfigurationSays) {
    test::TempDir dir;
    test::LoopbackServer server;
    test::LoopbackServer systemProxy;
    ASSERT_TRUE(server.ok() && systemProxy.ok());
    server.SetAnswer("/box.txt", {200, "direct"});
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;

    BoxConfig config =
        MakeBoxConfig(Environment({
                          {"HOME", dir.path().string()},
                          {"http_proxy", "127.0.0.1:" + std::to_string(systemProxy.port())},
                      }),
                      dir.path() / "softbox");
    BoxProcess process(config, pump, dialogs);
    EXPECT_EQ(process.boxFolder(), dir.path());
    EXPECT_EQ(process.executablePath(), dir.path() / "softbox");
    EXPECT_EQ(process.settings->registryFile(), dir.path() / ".config/softbox/registry.ini");

    const std::string url = server.Url("/box.txt");
    process.catalogRequest->FetchText(url, {.proxy = "IE"});
    process.downloadRequest->FetchText(url, {.proxy = "IE"});
    ASSERT_EQ(systemProxy.RequestCount(), 2u);
    EXPECT_EQ(systemProxy.LastRequest().target, url);  // the absolute form a proxy gets
    EXPECT_EQ(server.RequestCount(), 0u);
    process.ExitCleanUp();
}

}  // namespace
}  // namespace box
