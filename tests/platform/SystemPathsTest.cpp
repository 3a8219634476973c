#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "FifoGuard.h"
#include "platform/Environment.h"
#include "platform/SystemPaths.h"
#include "platform/SystemProxy.h"
#include "support/FileText.h"
#include "TestDoubles.h"

namespace box {
namespace {

TEST(EnvironmentTest, AMapOrTheProcessAndEmptyCountsAsUnset) {
    const Environment given({{"A", "1"}, {"EMPTY", ""}});
    EXPECT_EQ(given.Get("A"), "1");
    EXPECT_EQ(given.Get("EMPTY"), "");
    EXPECT_EQ(given.Get("MISSING"), "");
    EXPECT_EQ(Environment().Get("A"), "");

    // The process's copy holds what getenv sees.
    const Environment process = Environment::OfProcess();
    const char* path = std::getenv("PATH");
    ASSERT_NE(path, nullptr);
    EXPECT_EQ(process.Get("PATH"), path);
}

TEST(SystemPathsTest, TheExecutableIsThisTestProgram) {
    const std::filesystem::path exe = ExecutablePath();
    EXPECT_EQ(exe.filename(), "test_platform");
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_TRUE(std::filesystem::is_regular_file(exe));
}

TEST(SystemPathsTest, ConfigFolderFromXdgConfigHomeElseHome) {
    EXPECT_EQ(HomeFolder(Environment({{"HOME", "/x/home"}})), "/x/home");
    // Without HOME the user database still knows a home (root's, in CI).
    EXPECT_FALSE(HomeFolder(Environment()).empty());

    EXPECT_EQ(UserConfigFolder(Environment({{"XDG_CONFIG_HOME", "/x/cfg"}, {"HOME", "/x/home"}})),
              "/x/cfg");
    EXPECT_EQ(UserConfigFolder(Environment({{"HOME", "/x/home"}})), "/x/home/.config");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    EXPECT_EQ(UserConfigFolder(Environment({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/x/home"}})),
              "/x/home/.config");
    EXPECT_EQ(UserConfigFolder(Environment({{"XDG_CONFIG_HOME", ""}, {"HOME", "/x/home"}})),
              "/x/home/.config");
}

class DesktopFolderTest : public ::testing::Test {
protected:
    // The desktop line (or lines) of user-dirs.dirs in a configuration folder
    // of this test's own.
    std::filesystem::path DesktopFrom(const std::string& lines) {
        EXPECT_TRUE(WriteFileBytes(config / "user-dirs.dirs", lines));
        return DesktopFolder(environment);
    }

    test::TempDir dir;
    const std::filesystem::path config = dir.path() / "cfg";
    const Environment environment{{{"HOME", "/home/甲"}, {"XDG_CONFIG_HOME", config.string()}}};

    void SetUp() override { std::filesystem::create_directories(config); }
};

TEST_F(DesktopFolderTest, WithoutTheFileTheDesktopIsInTheHomeFolder) {
    EXPECT_EQ(DesktopFolder(environment), "/home/甲/Desktop");
    EXPECT_EQ(DesktopFolder(Environment({{"HOME", "/x/home"}, {"XDG_CONFIG_HOME", "/nowhere"}})),
              "/x/home/Desktop");
}

TEST_F(DesktopFolderTest, TheTwoFormsOfTheFileAndItsShellEscapes) {
    // As xdg-user-dirs-update writes it, in a Chinese locale.
    EXPECT_EQ(DesktopFrom("# This file is written by xdg-user-dirs-update\n"
                          "XDG_DOWNLOAD_DIR=\"$HOME/下载\"\n"
                          "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n"),
              "/home/甲/桌面");
    EXPECT_EQ(DesktopFrom("XDG_DESKTOP_DIR=\"/data/desk top\"\n"), "/data/desk top");
    EXPECT_EQ(DesktopFrom("  XDG_DESKTOP_DIR = \"$HOME/a \\\"b\\\" \\\\c\"\r\n"),
              "/home/甲/a \"b\" \\c");
    // Only "$HOME": the desktop is the home folder itself.
    EXPECT_EQ(DesktopFrom("XDG_DESKTOP_DIR=\"$HOME\"\n"), "/home/甲");
    // A later line wins, as in the shell that reads the file.
    EXPECT_EQ(DesktopFrom("XDG_DESKTOP_DIR=\"$HOME/one\"\nXDG_DESKTOP_DIR=\"$HOME/two\"\n"),
              "/home/甲/two");
}

TEST_F(DesktopFolderTest, LinesOutsideThePromisedFormsAreSkipped) {
    for (const char* line : {
             "XDG_DESKTOP_DIR=\"relative/desk\"\n",
             "XDG_DESKTOP_DIR=\"$HOMEWARD/desk\"\n",
             "XDG_DESKTOP_DIR=\"$HOME/unclosed\n",
             "XDG_DESKTOP_DIR=$HOME/unquoted\n",
             "# XDG_DESKTOP_DIR=\"/commented\"\n",
             "XDG_DESKTOP_DIRS=\"/other\"\n",
             "",
             "\x01\xff\"\\",
         }) {
        EXPECT_EQ(DesktopFrom(line), "/home/甲/Desktop") << line;
    }
    // A FIFO in the file's place is no file: nothing waits for a writer.
    std::filesystem::remove(config / "user-dirs.dirs");
    ASSERT_TRUE(test::MakeFifo(config / "user-dirs.dirs"));
    std::filesystem::path desktop;
    EXPECT_TRUE(test::ReturnsWithoutAWriter(config / "user-dirs.dirs",
                                            [&] { desktop = DesktopFolder(environment); }));
    EXPECT_EQ(desktop, "/home/甲/Desktop");
}

TEST(SystemProxyTest, LowerCaseFirstAndOneEntryPerScheme) {
    EXPECT_EQ(SystemProxyText(Environment()), "");
    EXPECT_EQ(SystemProxyText(Environment({{"http_proxy", "http://127.0.0.1:8080"},
                                           {"https_proxy", "http://127.0.0.1:9"}})),
              "http=http://127.0.0.1:8080;https=http://127.0.0.1:9");
    // One proxy for both schemes stays in the plain form.
    EXPECT_EQ(SystemProxyText(Environment(
                  {{"http_proxy", "127.0.0.1:3128"}, {"HTTPS_PROXY", "127.0.0.1:3128"}})),
              "127.0.0.1:3128");
    EXPECT_EQ(SystemProxyText(Environment({{"HTTP_PROXY", "127.0.0.2:80"}})), "127.0.0.2:80");
    EXPECT_EQ(SystemProxyText(Environment({{"https_proxy", "127.0.0.3:443"}})),
              "https=127.0.0.3:443");
    // The lower-case name wins; set to nothing it gives way to the upper-case one.
    EXPECT_EQ(SystemProxyText(
                  Environment({{"http_proxy", "127.0.0.1:1"}, {"HTTP_PROXY", "127.0.0.1:2"}})),
              "127.0.0.1:1");
    EXPECT_EQ(SystemProxyText(Environment({{"http_proxy", ""}, {"HTTP_PROXY", "127.0.0.1:2"}})),
              "127.0.0.1:2");
}

}  // namespace
}  // namespace box
