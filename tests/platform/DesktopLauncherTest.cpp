#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/DesktopLauncher.h"
#include "support/FileText.h"
#include "TestDoubles.h"

namespace box {
namespace {

namespace fs = std::filesystem;

// The launcher read back the way a desktop reads it: key-file values
// unescaped, then the Exec value split into words with its quoting, then
// "%%" made one '%'.
std::map<std::string, std::string> ReadEntries(const std::string& text) {
    std::map<std::string, std::string> entries;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string value;
        for (std::size_t i = eq + 1; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                const char next = line[++i];
                value += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
            } else {
                value += line[i];
            }
        }
        entries[line.substr(0, eq)] = value;
    }
    return entries;
}

std::vector<std::string> SplitExec(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '"') {
            inWord = true;
            for (++i; i < exec.size() && exec[i] != '"'; ++i) {
                if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
                word += exec[i];
            }
        } else if (c == ' ') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            // Unquoted words may not hold reserved characters at all.
            EXPECT_EQ(std::string(" \t\n\"'\\><~|&;$*?#()`").find(c), std::string::npos) << exec;
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    for (auto& w : words) {
        std::string plain;
        for (std::size_t i = 0; i < w.size(); ++i) {
            plain += w[i];
            if (w[i] == '%') {
                EXPECT_TRUE(i + 1 < w.size() && w[i + 1] == '%') << "lone % in " << exec;
                ++i;
            }
        }
        w = plain;
    }
    return words;
}

TEST(DesktopLauncherTest, ExecReadsBackAsTheTargetAndItsArguments) {
    test::TempDir dir;
    const auto file = dir.path() / "汀芷·软件盒子.desktop";
    const fs::path target = "/opt/soft box/100% \"free\"/it's $HOME `id` a\\b.exe";
    ASSERT_TRUE(WriteDesktopLauncher(file, "离线模式启动盒子\nX-Bad=1", target,
                                     "lxms \"two words\" 5% $PATH a\\b `x`;y"));
    const auto text = ReadFileBytes(file);
    ASSERT_TRUE(text);
    const auto entries = ReadEntries(*text);
    EXPECT_EQ(entries.at("Type"), "Application");
    EXPECT_EQ(entries.at("Terminal"), "false");
    EXPECT_EQ(entries.at("Name"), "离线模式启动盒子\nX-Bad=1");
    EXPECT_EQ(entries.count("X-Bad"), 0u);
    EXPECT_EQ(SplitExec(entries.at("Exec")),
              (std::vector<std::string>{target.native(), "lxms", "two words", "5%", "$PATH", "a\\b",
                                        "`x`;y"}));
}

TEST(DesktopLauncherTest, ExecQuotingAsWritten) {
    EXPECT_EQ(DesktopExecLine("/opt/box/app.exe", "lxms"), "/opt/box/app.exe lxms");
    EXPECT_EQ(DesktopExecLine("/opt/my box/50%.exe", ""), "\"/opt/my box/50%%.exe\"");
    EXPECT_EQ(DesktopExecLine("/opt/a\\b", "\"\""), "\"/opt/a\\\\b\" \"\"");
    test::TempDir dir;
    ASSERT_TRUE(WriteDesktopLauncher(dir.path() / "a.desktop", "a", "/opt/a\\b", ""));
    // Four backslashes in the file stand for one in the path.
    EXPECT_NE(ReadFileBytes(dir.path() / "a.desktop")->find("Exec=\"/opt/a\\\\\\\\b\"\n"),
              std::string::npos);
}

TEST(DesktopLauncherTest, ExecutableAndReplacingALinkNotItsTarget) {
    test::TempDir dir;
    const auto file = dir.path() / "box.desktop";
    const auto other = dir.path() / "other.txt";
    ASSERT_TRUE(WriteFileBytes(other, "other"));
    ASSERT_EQ(::chmod(other.c_str(), 0600), 0);
    fs::create_symlink(other, file);

    ASSERT_TRUE(WriteDesktopLauncher(file, "box", "/opt/box/app.exe", ""));
    struct stat st {};
    ASSERT_EQ(::lstat(file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(ReadFileBytes(other), "other");
    ASSERT_EQ(::stat(other.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(DesktopLauncherTest, RefusesWhatCannotBeRun) {
    test::TempDir dir;
    EXPECT_FALSE(WriteDesktopLauncher(dir.path() / "a.desktop", "a", "app.exe", ""));
    EXPECT_FALSE(WriteDesktopLauncher(dir.path() / "a.desktop", "", "/opt/app.exe", ""));
    EXPECT_FALSE(WriteDesktopLauncher(dir.path() / "missing" / "a.desktop", "a", "/opt/a", ""));
    EXPECT_FALSE(fs::exists(dir.path() / "a.desktop"));
}

TEST(DesktopLauncherTest, SplitsWindowsStyleArguments) {
    EXPECT_EQ(SplitArguments(""), std::vector<std::string>{});
    EXPECT_EQ(SplitArguments("  a \t b  "), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitArguments("\"c d\"e \"\""), (std::vector<std::string>{"c de", ""}));
}

}  // namespace
}  // namespace box
