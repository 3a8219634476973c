// The box's hand-over and the real update program on loopback: the box
// writes the update program and starts it; the update program downloads the
// package, unpacks it over the box folder and starts the new box.
//
// The programs run as processes of their own, offscreen. A plugin loaded into
// them (tests/probe) notes every message box they show and answers it, and
// this process adopts their orphans, so nothing outlives a test.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "ElfWriter.h"
#include "LoopbackServer.h"
#include "PeWriter.h"
#include "RarWriter.h"
#include "TestDoubles.h"
#include "app/SelfUpdate.h"
#include "catalog/VersionInfo.h"
#include "platform/ElfSections.h"
#include "platform/ShellOpen.h"
#include "support/FileText.h"
#include "updater/PackageHash.h"
#include "updater/UpdateSession.h"

namespace box {
namespace {

namespace fs = std::filesystem;

// Hang guards only: each program here needs a few seconds at most.
constexpr auto kPatience = std::chrono::seconds(90);

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

bool WaitForFile(const fs::path& file) {
    return WaitUntil([&] { return fs::exists(file); });
}

extern "C" char** environ;

// This process's environment without the box's own settings, plus overrides.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> out;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name.rfind("SOFTBOX_", 0) == 0 || overrides.count(name)) continue;
        out.push_back(text);
    }
    for (const auto& [name, value] : overrides) out.push_back(name + "=" + value);
    return out;
}

// Started without a shell; -1 when it could not be.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), env.data()) != 0) return -1;
    return pid;
}

// The exit code of a child, or nullopt when it did not end in time or was
// killed.
std::optional<int> WaitForExit(pid_t pid) {
    std::optional<int> code;
    WaitUntil([&] {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == 0) return false;
        if (done == pid && WIFEXITED(status)) code = WEXITSTATUS(status);
        return true;
    });
    return code;
}

// The processes whose parent is this one, zombies included.
std::vector<pid_t> ChildProcesses() {
    std::vector<pid_t> children;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = ReadFileBytes(entry.path() / "stat").value_or("");
        // "pid (name) state ppid ...": the name may hold anything, so read
        // after its last parenthesis.
        std::istringstream rest(stat.substr(stat.rfind(')') + 1));
        std::string state;
        long parent = 0;
        if (rest >> state >> parent && parent == ::getpid()) children.push_back(std::stoi(name));
    }
    return children;
}

// Orphans of the programs started here become children of this process, and
// whatever is still running at the end of a test is ended.
class AdoptedChildren {
public:
    AdoptedChildren() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }
    ~AdoptedChildren() {
        WaitUntil([] {
            for (pid_t pid : ChildProcesses()) ::kill(pid, SIGKILL);
            while (::waitpid(-1, nullptr, WNOHANG) > 0) {
            }
            return ChildProcesses().empty();
        });
    }
};

// One message box a probed program showed, and the caption pressed.
struct ShownBox {
    pid_t pid = 0;
    std::string title, text, buttons, pressed;
};

std::vector<ShownBox> ReadProbeLog(const fs::path& file) {
    std::vector<ShownBox> boxes;
    std::istringstream lines(ReadFileBytes(file).value_or(""));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        if (fields.size() != 5) continue;
        boxes.push_back(
            {static_cast<pid_t>(std::stol(fields[0])), fields[1], fields[2], fields[3], fields[4]});
    }
    return boxes;
}

std::string Describe(const std::vector<ShownBox>& boxes) {
    std::string out;
    for (const ShownBox& b : boxes) {
        out += std::to_string(b.pid) + " " + b.title + " " + b.text + " [" + b.buttons + "] " +
               b.pressed + "\n";
    }
    return out;
}

// What a program needs to run offscreen with the probe in it.
std::map<std::string, std::string> ProbedEnvironment(const fs::path& log, const fs::path& home) {
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"QT_PLUGIN_PATH", SOFTBOX_PROBE_PLUGIN_PATH},
            {"QT_QPA_GENERIC_PLUGINS", "dialogprobe"},
            {"DIALOG_PROBE_LOG", log.string()},
            {"HOME", home.string()},
            {"XDG_CONFIG_HOME", (home / ".config").string()}};
}

// The same version with its third part one higher, as long as the text keeps
// its length (the block in the file cannot grow).
std::string NextVersion(const std::string& version) {
    std::vector<std::string> parts;
    std::istringstream in(version);
    for (std::string part; std::getline(in, part, '.');) parts.push_back(part);
    if (parts.size() != 4) return {};
    parts[2] = std::to_string(std::stoi(parts[2]) + 1);
    const std::string next = parts[0] + "." + parts[1] + "." + parts[2] + "." + parts[3];
    return next.size() == version.size() ? next : std::string();
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

void PutU32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A copy of an executable whose version block says `to` where it said
// `from`: the strings and the numbers of the fixed part. "" when the file
// has no such block.
std::string WithVersion(std::string bytes, const std::string& from, const std::string& to) {
    const std::optional<std::string> section = ElfSectionFromBytes(bytes, kVersionSectionName);
    if (!section || from.size() != to.size()) return {};
    const std::size_t at = bytes.find(*section);
    if (at == std::string::npos) return {};
    std::string block = *section;
    for (std::size_t hit = block.find(Utf16(from)); hit != std::string::npos;
         hit = block.find(Utf16(from), hit)) {
        block.replace(hit, Utf16(to).size(), Utf16(to));
    }
    const std::size_t fixed = block.find("\xBD\x04\xEF\xFE");
    if (fixed == std::string::npos || fixed + 24 > block.size()) return {};
    std::istringstream in(to);
    std::uint32_t v[4] = {};
    for (auto& part : v) {
        std::string text;
        std::getline(in, text, '.');
        part = static_cast<std::uint32_t>(std::stoul(text));
    }
    for (std::size_t offset : {8u, 16u}) {  // file version, then product version
        PutU32(block, fixed + offset, v[0] << 16 | v[1]);
        PutU32(block, fixed + offset + 4, v[2] << 16 | v[3]);
    }
    bytes.replace(at, block.size(), block);
    return bytes;
}

TEST(UpdateEndToEnd, TheBoxHandsOverAndTheUpdateProgramReplacesAndRestartsIt) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    test::TempDir dir;
    const fs::path folder = dir.path();
    const fs::path box = folder / "softbox";
    const fs::path restarted = folder / "restarted";

    // The running box: version 1.0.7.0 in its file, and a file of its own
    // that the package replaces.
    test::ElfLayout elf;
    elf.sections = {{std::string(kVersionSectionName), test::BoxVersionBlock("1.0.7.0")}};
    ASSERT_TRUE(test::WriteFile(box, test::BuildElf(elf)));
    ASSERT_TRUE(test::WriteFile(folder / "data.txt", "old"));

    // The package: a new box (here a script that notes how it was started)
    // and a new data file.
    const std::string newBox = "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + restarted.string() +
                               ".tmp\" && mv \"" + restarted.string() + ".tmp\" \"" +
                               restarted.string() + "\"\n";
    const std::string package =
        test::BuildRar(test::RarFormat::kRar5,
                       {test::RarFile("softbox", newBox), test::RarFile("data.txt", "new")});
    test::LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/box.rar", {200, package, "application/octet-stream"});

    const std::optional<std::string> image = ReadFileBytes(fs::path(SOFTBOX_UPBOX_EXECUTABLE));
    ASSERT_TRUE(image);
    test::ScriptedDialogs dialogs;
    SelfUpdateServices services{dialogs, *image};
    services.resolve = [](Text& source) { return source; };
    services.startProcess = [](const std::vector<std::string>& argv) { return StartProgram(argv); };
    int exitCode = -1;
    services.exitBox = [&](int code) { exitCode = code; };
    Text address = server.Url("/box.rar");
    ASSERT_TRUE(CheckSelfUpdate("1.0.8.0", address, false, {folder, "softbox"}, services));
    EXPECT_EQ(exitCode, 0);

    ASSERT_TRUE(WaitForFile(restarted));
    // The new box was started with the update program's path, which it
    // deletes at its start.
    EXPECT_EQ(ReadFileBytes(restarted), (folder / "upbox.exe").string() + "|");
    EXPECT_EQ(ReadFileBytes(box), newBox);
    EXPECT_EQ(ReadFileBytes(folder / "data.txt"), "new");
    EXPECT_FALSE(fs::exists(folder / "汀芷·软件盒子（更新包）.rar"));
    EXPECT_EQ(server.RequestCount(), 1u);
}

// The whole round on loopback with the real box: it learns of a newer box
// from the catalog, hands over to the update program and ends; the update
// program puts the new box in its place and starts it; the new box reads its
// version from its own file, asks nothing about updates, and deletes the
// update program.
TEST(UpdateEndToEnd, TheRealBoxComesBackAsTheNewVersionAndDeletesTheUpdateProgram) {
    test::TempDir dir;
    const fs::path folder = dir.path() / "盒子";
    fs::create_directories(folder);
    const fs::path built(SOFTBOX_BOX_EXECUTABLE);
    const fs::path box = folder / built.filename();
    const fs::path log = dir.path() / "dialogs.log";
    AdoptedChildren children;

    const std::optional<std::string> oldBytes = ReadFileBytes(built);
    ASSERT_TRUE(oldBytes);
    ASSERT_TRUE(test::WriteFile(box, *oldBytes));
    fs::permissions(box, fs::perms::owner_all);
    ASSERT_TRUE(test::WriteFile(folder / "data.txt", "old"));
    const std::string oldVersion = ReadVersionInfo(box).fileVersion;
    const std::string newVersion = NextVersion(oldVersion);
    ASSERT_FALSE(newVersion.empty()) << oldVersion;
    const std::string newBytes = WithVersion(*oldBytes, oldVersion, newVersion);
    ASSERT_FALSE(newBytes.empty());
    {
        // The patched copy must say the new version, or the round proves nothing.
        const fs::path probe = dir.path() / "probe";
        ASSERT_TRUE(test::WriteFile(probe, newBytes));
        ASSERT_EQ(ReadVersionInfo(probe).fileVersion, newVersion);
    }

    test::LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/box.rar", {200,
                                  test::BuildRar(test::RarFormat::kRar5,
                                                 {test::RarFile(box.filename().string(), newBytes),
                                                  test::RarFile("data.txt", "new")}),
                                  "application/octet-stream"});
    const std::string catalog = "[盒子]\r\n最新版本=" + newVersion +
                                "\r\n下载地址=" + server.Url("/box.rar") +
                                "\r\n允许选择=是\r\n[汀芷·演示]\r\n最新版本=1.0.0.0\r\n下载地址=" +
                                server.Url("/demo.rar") + "\r\n";
    server.SetAnswer("/box.txt", {200, Utf8ToGbk(catalog), "text/plain"});

    std::map<std::string, std::string> environment = ProbedEnvironment(log, dir.path() / "home");
    environment["SOFTBOX_CATALOG_URL"] = server.Url("/box.txt");
    environment["DIALOG_PROBE_ANSWERS"] = "是否在桌面创建=否(&N)";
    const pid_t oldBox = Spawn({box.string()}, ChildEnvironment(environment));
    ASSERT_GT(oldBox, 0);
    EXPECT_EQ(WaitForExit(oldBox), 0);

    // The new box is the one that shows the notice of its first start.
    pid_t newBox = 0;
    const bool settled = WaitUntil([&] {
        for (const ShownBox& shown : ReadProbeLog(log)) {
            if (shown.pid != oldBox && shown.text.find("按住Alt键") != std::string::npos) {
                newBox = shown.pid;
            }
        }
        return newBox != 0 && !fs::exists(folder / "upbox.exe");
    });
    const std::vector<ShownBox> shown = ReadProbeLog(log);
    ASSERT_TRUE(settled) << "message boxes:\n" << Describe(shown);

    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0].pid, oldBox);
    EXPECT_NE(shown[0].text.find(kSelfUpdateRecommended), std::string::npos);
    EXPECT_EQ(shown[0].pressed, "确定");
    for (std::size_t i = 1; i < shown.size(); ++i) {
        EXPECT_EQ(shown[i].pid, newBox) << shown[i].text;
        EXPECT_EQ(shown[i].text.find(kSelfUpdateRecommended), std::string::npos);
        EXPECT_EQ(shown[i].text.find(kSelfUpdateMandatory), std::string::npos);
    }
    EXPECT_EQ(ReadVersionInfo(box).fileVersion, newVersion);
    EXPECT_EQ(ReadFileBytes(box), newBytes);
    EXPECT_EQ(ReadFileBytes(folder / "data.txt"), "new");
    EXPECT_FALSE(fs::exists(folder / kUpdatePackageName));
    std::multiset<std::string> paths;
    for (const auto& request : server.Requests()) paths.insert(request.path);
    EXPECT_EQ(paths, (std::multiset<std::string>{"/box.txt", "/box.txt", "/box.rar"}));
}

// A package with other contents than the catalog's checksum names is fetched
// three times, refused each time and never unpacked: the user is told, and the
// installed box stays as it was.
TEST(UpdateEndToEnd, APackageThatDiffersFromItsChecksumIsNeverUnpacked) {
    test::TempDir dir;
    const fs::path folder = dir.path() / "box";
    fs::create_directories(folder);
    const fs::path box = folder / "softbox";
    const fs::path log = dir.path() / "dialogs.log";
    AdoptedChildren children;

    test::ElfLayout elf;
    elf.sections = {{std::string(kVersionSectionName), test::BoxVersionBlock("1.0.7.0")}};
    const std::string oldBox = test::BuildElf(elf);
    ASSERT_TRUE(test::WriteFile(box, oldBox));
    ASSERT_TRUE(test::WriteFile(folder / "data.txt", "old"));
    const std::string package =
        test::BuildRar(test::RarFormat::kRar5,
                       {test::RarFile("softbox", "new box"), test::RarFile("data.txt", "new")});
    test::LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/box.rar", {200, package, "application/octet-stream"});
    const fs::path vouched = dir.path() / "vouched.rar";
    ASSERT_TRUE(test::WriteFile(vouched, package + "x"));

    const std::optional<std::string> image = ReadFileBytes(fs::path(SOFTBOX_UPBOX_EXECUTABLE));
    ASSERT_TRUE(image);
    test::ScriptedDialogs dialogs;
    SelfUpdateServices services{dialogs, *image};
    services.resolve = [](Text& source) { return source; };
    services.packageSha256 = FileSha256(vouched);
    fs::remove(vouched);
    ASSERT_EQ(services.packageSha256.size(), 64u);
    pid_t updater = -1;
    const std::vector<std::string> environment =
        ChildEnvironment(ProbedEnvironment(log, dir.path() / "home"));
    services.startProcess = [&](const std::vector<std::string>& argv) {
        updater = Spawn(argv, environment);
        return updater > 0;
    };
    services.exitBox = [](int) {};
    Text address = server.Url("/box.rar");
    ASSERT_TRUE(CheckSelfUpdate("1.0.8.0", address, false, {folder, "softbox"}, services));
    ASSERT_GT(updater, 0);

    // The update program ends once its failure message is answered.
    EXPECT_EQ(WaitForExit(updater), 0);
    EXPECT_EQ(server.RequestCount(), 3u);
    const std::vector<ShownBox> shown = ReadProbeLog(log);
    ASSERT_EQ(shown.size(), 1u) << Describe(shown);
    EXPECT_EQ(shown[0].pid, updater);
    EXPECT_EQ(shown[0].title, "汀芷：");
    EXPECT_EQ(shown[0].text, kUpdaterDownloadFailed);
    EXPECT_EQ(shown[0].pressed, "确定");
    EXPECT_EQ(ReadFileBytes(box), oldBox);
    EXPECT_EQ(ReadFileBytes(folder / "data.txt"), "old");
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) left.insert(entry.path().filename());
    EXPECT_EQ(left, (std::set<std::string>{"softbox", "data.txt", "upbox.exe"}));
}

}  // namespace
}  // namespace box
