#include "download/ArchiveExtract.h"

#include <gtest/gtest.h>
#include <clocale>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "PeWriter.h"
#include "RarWriter.h"
#include "TestDoubles.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::RarDirectory;
using test::RarEntry;
using test::RarFile;
using test::RarFormat;
using test::RarHardLink;
using test::RarSymlink;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every path under root (links not followed), relative, with its kind.
std::set<std::string> Tree(const fs::path& root) {
    std::set<std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const auto status = it->symlink_status();
        const char* kind = fs::is_symlink(status) ? " -> " : fs::is_directory(status) ? "/" : "";
        std::string line = it->path().lexically_relative(root).string() + kind;
        if (fs::is_symlink(status)) line += fs::read_symlink(it->path()).string();
        out.insert(line);
    }
    return out;
}

// A box folder in a temporary tree, with room beside it ("outside") where an
// escaping entry would land, so a fault shows up in the tree instead of
// anywhere on the machine.
class ArchiveExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The box's main does the same; libarchive converts names through it.
        std::setlocale(LC_CTYPE, "C.UTF-8");
        fs::create_directory(box());
        fs::create_directory(outside());
    }

    fs::path box() const { return tmp_.path() / "box"; }
    fs::path outside() const { return tmp_.path() / "outside"; }
    fs::path archive() const { return box() / "软件 v1.0.rar"; }
    fs::path root() const { return tmp_.path(); }

    void Write(RarFormat format, const std::vector<RarEntry>& entries) {
        ASSERT_TRUE(test::WriteRar(archive(), format, entries));
    }

    test::TempDir tmp_;
};

class ExtractFormatTest : public ArchiveExtractTest,
                          public ::testing::WithParamInterface<RarFormat> {
protected:
    // Format 4 archives come from Windows with "\" between folders.
    std::string P(std::string path) const {
        if (GetParam() == RarFormat::kRar4) {
            for (char& c : path) {
                if (c == '/') c = '\\';
            }
        }
        return path;
    }
};

INSTANTIATE_TEST_SUITE_P(Rar, ExtractFormatTest,
                         ::testing::Values(RarFormat::kRar4, RarFormat::kRar5),
                         [](const auto& info) {
                             return info.param == RarFormat::kRar4 ? "Rar4" : "Rar5";
                         });

TEST_P(ExtractFormatTest, ProgramFolderWithGbkAndUnicodeNamesLandsBesideTheArchive) {
    const std::string exe = "MZ program bytes\r\n\0\x01\x02"s;
    RarEntry unicode = RarFile(P("软件/说明/한글 ünï.txt"), "unicode");
    unicode.unicodeName = true;
    Write(GetParam(),
          {RarDirectory("软件"), RarFile(P("软件/软件.exe"), exe), RarDirectory(P("软件/说明")),
           RarFile(P("软件/说明/读我.txt"), "gbk"), unicode, RarFile(P("软件/空.dat"), "")});
    test::ScriptedEventPump pump;

    EXPECT_TRUE(ExtractArchive(pump, archive(), 0));

    EXPECT_EQ(ReadAll(box() / "软件" / "软件.exe"), exe);
    EXPECT_EQ(ReadAll(box() / "软件" / "说明" / "读我.txt"), "gbk");
    EXPECT_EQ(ReadAll(box() / "软件" / "说明" / "한글 ünï.txt"), "unicode");
    EXPECT_TRUE(fs::is_regular_file(box() / "软件" / "空.dat"));
    EXPECT_EQ(pump.sleptMs, 0) << "the first pass succeeded";
    EXPECT_EQ(pump.pumps, 0);
}

// 誠 is D5 5C in GBK: its second byte is a backslash. libarchive turns every
// backslash byte of a format 4 GBK name into "/" before it converts the name.
TEST_P(ExtractFormatTest, GbkNamesWithABackslashTrailByteKeepTheirCharacters) {
    RarEntry unicode = RarFile(P("誠/誠 unicode.txt"), "unicode");
    unicode.unicodeName = true;
    Write(GetParam(), {RarDirectory("誠"), RarFile(P("誠/誠 读我.txt"), "gbk"), unicode});

    EXPECT_TRUE(ExtractRar(archive()));
    EXPECT_EQ(Tree(box()), (std::set<std::string>{"誠/", "誠/誠 读我.txt", "誠/誠 unicode.txt",
                                                  "软件 v1.0.rar"}));
}

TEST_P(ExtractFormatTest, NamesConvertUnderTheCLocaleToo) {
    Write(GetParam(), {RarFile(P("软件/软件.exe"), "x")});
    std::setlocale(LC_CTYPE, "C");
    const bool ok = ExtractRar(archive());
    std::setlocale(LC_CTYPE, "C.UTF-8");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(fs::is_regular_file(box() / "软件" / "软件.exe"));
}

TEST_P(ExtractFormatTest, ASecondPassOverwritesWhatTheFirstLeft) {
    Write(GetParam(),
          {RarFile(P("软件/program.exe"), "new"), RarSymlink(P("软件/current"), "program.exe")});
    fs::create_directory(box() / "软件");
    std::ofstream(box() / "软件" / "program.exe") << "old, and longer than the new one";

    EXPECT_TRUE(ExtractRar(archive()));
    EXPECT_TRUE(ExtractRar(archive()));
    EXPECT_EQ(ReadAll(box() / "软件" / "program.exe"), "new");
    EXPECT_EQ(fs::read_symlink(box() / "软件" / "current"), "program.exe");
}

TEST_P(ExtractFormatTest, ArchivesWithoutEntriesOrUnreadableFailEveryPass) {
    const std::string good = test::BuildRar(
        GetParam(), {RarFile("a.txt", "aaaa"), RarFile("b.txt", std::string(40, 'b'))});
    const std::vector<std::string> bad = {
        test::BuildRar(GetParam(), {}),
        "",
        "this is no archive at all",
        good.substr(0, good.size() / 2),   // cut inside the entries
        good.substr(0, good.size() - 30),  // cut inside the last entry's data
        good.substr(0, good.size() - (GetParam() == RarFormat::kRar4 ? 7 : 8)),  // no end
    };
    for (const std::string& bytes : bad) {
        SCOPED_TRACE(bytes.size());
        ASSERT_TRUE(test::WriteFile(archive(), bytes));
        test::ScriptedEventPump pump;
        EXPECT_FALSE(ExtractArchive(pump, archive(), 0));
        EXPECT_EQ(pump.sleptMs, 3000) << "three passes, each followed by its wait";
        if (fs::exists(box() / "b.txt")) {
            EXPECT_EQ(ReadAll(box() / "b.txt"), std::string(40, 'b')) << "no half-written entry";
        }
        fs::remove(box() / "a.txt");
        fs::remove(box() / "b.txt");
    }
    test::ScriptedEventPump pump;
    EXPECT_FALSE(ExtractArchive(pump, box() / "missing.rar", 2));
    EXPECT_EQ(pump.sleptMs, 2000);
}

TEST_P(ExtractFormatTest, EncryptedEntryFailsThePassAndKeepsTheEntriesBeforeIt) {
    RarEntry secret = RarFile("secret.txt", "ciphertext that no password opens");
    secret.encrypted = true;
    Write(GetParam(), {RarFile("before.txt", "before"), secret, RarFile("after.txt", "after")});

    EXPECT_FALSE(ExtractRar(archive()));
    EXPECT_EQ(ReadAll(box() / "before.txt"), "before");
    EXPECT_FALSE(fs::exists(box() / "after.txt"));
}

// libarchive reads stored data without checking its CRC: a download damaged
// on the way would install a broken program.
TEST_P(ExtractFormatTest, DataThatDoesNotMatchItsCrcFailsThePass) {
    RarEntry damaged = RarFile(P("软件/软件.exe"), "MZ damaged");
    damaged.wrongCrc = true;
    Write(GetParam(), {RarFile("before.txt", "before"), damaged, RarFile("after.txt", "after")});
    fs::create_directory(box() / "软件");
    std::ofstream(box() / "软件" / "软件.exe") << "MZ installed";

    EXPECT_FALSE(ExtractRar(archive()));
    // The installed program stays as it was, and no part file is left.
    EXPECT_EQ(Tree(box()),
              (std::set<std::string>{"before.txt", "软件/", "软件/软件.exe", "软件 v1.0.rar"}));
    EXPECT_EQ(ReadAll(box() / "软件" / "软件.exe"), "MZ installed");
}

// An entry that cannot be written (a folder in the way, as a program in use
// would be on Windows) fails each of the three passes; every pass starts
// again from the first entry and the window runs between passes.
TEST_P(ExtractFormatTest, FailingEntryGivesThreePassesThenFalse) {
    Write(GetParam(),
          {RarFile("first.txt", "1"), RarFile("blocked", "2"), RarFile("last.txt", "3")});
    fs::create_directories(box() / "blocked" / "in use");
    test::ScriptedEventPump pump;
    int passesSeen = 0;
    pump.onEveryPump = [&] {
        if (fs::remove(box() / "first.txt")) ++passesSeen;
        EXPECT_FALSE(fs::exists(box() / "last.txt"));
    };

    EXPECT_FALSE(ExtractArchive(pump, archive(), 0));
    EXPECT_EQ(passesSeen, 3);
    EXPECT_EQ(pump.sleptMs, 3000);
    EXPECT_GE(pump.pumps, 3);
}

TEST_P(ExtractFormatTest, PassAfterTheBlockerIsGoneSucceeds) {
    Write(GetParam(), {RarFile("first.txt", "1"), RarFile("blocked", "2")});
    fs::create_directories(box() / "blocked" / "in use");
    test::ScriptedEventPump pump;
    pump.pending.push_back([&] { fs::remove_all(box() / "blocked"); });

    EXPECT_TRUE(ExtractArchive(pump, archive(), 0));
    EXPECT_EQ(ReadAll(box() / "blocked"), "2");
    EXPECT_EQ(pump.sleptMs, 1000) << "one failed pass, one wait";
}

// ---- entries that would land outside the destination ----

struct Hostile {
    const char* what;
    std::vector<RarEntry> entries;
};

class HostileEntryTest : public ExtractFormatTest {
protected:
    // Extracts an archive of good.txt, the hostile entries, then after.txt and
    // checks that the pass fails and only good.txt was added to the tree.
    void ExpectRefused(const std::vector<RarEntry>& hostile) {
        std::vector<RarEntry> entries = {RarFile("good.txt", "good")};
        entries.insert(entries.end(), hostile.begin(), hostile.end());
        entries.push_back(RarFile("after.txt", "after"));
        Write(GetParam(), entries);
        std::set<std::string> expected = Tree(root());
        expected.insert("box/good.txt");

        EXPECT_FALSE(ExtractRar(archive()));
        EXPECT_EQ(Tree(root()), expected);
        EXPECT_EQ(ReadAll(outside() / "secret.txt"), "secret");
    }

    void SetUp() override {
        ExtractFormatTest::SetUp();
        std::ofstream(outside() / "secret.txt") << "secret";
    }
};

INSTANTIATE_TEST_SUITE_P(Rar, HostileEntryTest,
                         ::testing::Values(RarFormat::kRar4, RarFormat::kRar5),
                         [](const auto& info) {
                             return info.param == RarFormat::kRar4 ? "Rar4" : "Rar5";
                         });

TEST_P(HostileEntryTest, NamesThatClimbOrStartElsewhereAreRefused) {
    const std::string absolute = (outside() / "evil.txt").string();
    const std::vector<std::string> names = {
        "../evil.txt",
        "..\\evil.txt",
        "a/../../evil.txt",
        "a\\..\\..\\outside\\evil.txt",
        ".. /evil.txt",
        absolute,
        "\\" + absolute.substr(1),
        "//server/share/evil.txt",
        "\\\\server\\share\\evil.txt",
        "C:evil.txt",
        "C:\\evil.txt",
        "c:/evil.txt",
        "evil.txt:stream",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        ExpectRefused({RarFile(name, "evil")});
        fs::remove(box() / "good.txt");
    }
}

// Device names do no harm on Linux, but the archives are made for Windows:
// refused alike, so the box behaves the same on both.
TEST_P(HostileEntryTest, DeviceNamesAreRefused) {
    for (const char* name : {"CON", "nul.txt", "Com1.exe", "lpt9", "aux .dll", "dir/PRN.log",
                             "COM\xC2\xB9", "CONIN$"}) {
        SCOPED_TRACE(name);
        RarEntry device = RarFile(name, "evil");
        device.unicodeName = true;  // GBK has no superscript one
        ExpectRefused({device});
        fs::remove(box() / "good.txt");
    }
}

TEST_P(HostileEntryTest, LinksPointingOutsideAreNotCreated) {
    const std::string absolute = outside().string();
    for (const std::string& target :
         {"../outside"s, absolute, "a/../../outside"s, "C:\\Windows"s}) {
        SCOPED_TRACE(target);
        // Were the link made, the next entry would be written through it.
        ExpectRefused({RarSymlink("link", target), RarFile(P("link/evil.txt"), "evil")});
        fs::remove(box() / "good.txt");
    }
}

TEST_P(HostileEntryTest, LinkThatClimbsIsRefusedEvenWhenItStaysInside) {
    ExpectRefused({RarSymlink(P("d/up"), "..")});
}

// Format 4 has no hard links.
TEST_P(HostileEntryTest, HardLinksToFilesOutsideAreNotCreated) {
    const std::vector<std::string> targets =
        GetParam() == RarFormat::kRar5
            ? std::vector<std::string>{"../outside/secret.txt", (outside() / "secret.txt").string()}
            : std::vector<std::string>{};
    for (const std::string& target : targets) {
        SCOPED_TRACE(target);
        // Were the link made, the next entry would overwrite the outside file.
        ExpectRefused({RarHardLink("h", target), RarFile("h", "owned")});
        fs::remove(box() / "good.txt");
    }
}

// A link that was already in the folder (left by an older program, or planted)
// is not followed: the name check cannot see it, the extraction must.
TEST_P(HostileEntryTest, ExtractionThroughALinkOnDiskIsRefused) {
    fs::create_directory_symlink(outside(), box() / "planted");
    ExpectRefused({RarFile(P("planted/evil.txt"), "evil")});
}

TEST_P(ExtractFormatTest, LinksPointingDownwardAreKept) {
    std::vector<RarEntry> entries = {RarDirectory("bin"), RarFile(P("bin/real"), "tool"),
                                     RarSymlink("tool", "bin/real"),
                                     RarSymlink("tool2", "bin\\real")};
    if (GetParam() == RarFormat::kRar5) entries.push_back(RarHardLink("hard", "bin/real"));
    Write(GetParam(), entries);

    ASSERT_TRUE(ExtractRar(archive()));
    EXPECT_EQ(ReadAll(box() / "tool"), "tool");
    EXPECT_EQ(fs::read_symlink(box() / "tool2"), "bin/real");
    if (GetParam() == RarFormat::kRar5) {
        EXPECT_EQ(ReadAll(box() / "hard"), "tool");
        EXPECT_EQ(fs::hard_link_count(box() / "bin" / "real"), 2u);
    }
}

TEST(EntryNameTest, PlainRelativeNamesPassAndEscapingOnesDoNot) {
    for (const char* name : {"a", "a/b/c.exe", "a\\b\\c.exe", "dir/", "./a", "a..b", "...a",
                             ".hidden", "COM10", "LPT0", "汀芷/软件.exe", "a//b"}) {
        EXPECT_TRUE(IsSafeEntryName(name)) << name;
    }
    for (const char* name : {"",          "/",       ".",     "./",     "..",  "../a",       "a/..",
                             "a/../b",    "/abs",    "\\abs", "C:",     "C:a", "a/b:c",      "...",
                             ". .",       "a/.. /b", "a\tb",  "a\x7f",  "con", "NUL.tar.gz", "Lpt1",
                             "com3 .txt", "CONOUT$", "a/aux", "con.d/x"}) {
        EXPECT_FALSE(IsSafeEntryName(name)) << name;
    }
}

}  // namespace
}  // namespace box
