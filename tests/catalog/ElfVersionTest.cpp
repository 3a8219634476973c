#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "ElfWriter.h"
#include "PeWriter.h"
#include "TestDoubles.h"
#include "catalog/VersionInfo.h"
#include "platform/ElfSections.h"

namespace box {
namespace {

using test::BoxVersionBlock;
using test::BuildElf;
using test::ElfLayout;

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string Utf16(const std::string& ascii) {
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

ElfLayout VersionedElf(bool is64, bool bigEndian, const std::string& version) {
    ElfLayout layout{is64, bigEndian, {}};
    layout.sections = {{".text", std::string(40, '\x90')},
                       {std::string(kVersionSectionName), BoxVersionBlock(version)},
                       {".data", "data"}};
    return layout;
}

TEST(ElfVersion, TheBuiltBoxReportsTheProjectVersionFromItsOwnFile) {
    const std::filesystem::path box = SOFTBOX_BOX_EXECUTABLE;
    EXPECT_EQ(ReadVersionInfo(box).fileVersion, SOFTBOX_PROJECT_VERSION);
    EXPECT_EQ(ReadVersionInfo(box).productVersion, SOFTBOX_PROJECT_VERSION);
}

TEST(ElfVersion, APatchedCopyOfTheBoxReportsThePatchedVersion) {
    test::TempDir dir;
    std::string bytes = ReadAll(SOFTBOX_BOX_EXECUTABLE);
    const std::string old = Utf16(SOFTBOX_PROJECT_VERSION);
    const std::size_t at = bytes.find(old);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, old.size(), Utf16("9.8.7.6"));
    ASSERT_TRUE(test::WriteFile(dir.path() / "softbox", bytes));
    EXPECT_EQ(ReadVersionInfo(dir.path() / "softbox").fileVersion, "9.8.7.6");
}

TEST(ElfVersion, FindsTheSectionInEveryClassAndByteOrder) {
    test::TempDir dir;
    for (bool is64 : {false, true}) {
        for (bool big : {false, true}) {
            SCOPED_TRACE(testing::Message() << is64 << big);
            const std::string file = BuildElf(VersionedElf(is64, big, "2.3.4.5"));
            EXPECT_EQ(ElfSectionFromBytes(file, ".data"), "data");
            ASSERT_TRUE(test::WriteFile(dir.path() / "e", file));
            EXPECT_EQ(ReadElfSection(dir.path() / "e", ".data"), "data");
            EXPECT_EQ(ReadVersionInfo(dir.path() / "e").fileVersion, "2.3.4.5");
        }
    }
}

TEST(ElfVersion, FilesWithoutTheSectionOrNotElfHaveNoVersion) {
    test::TempDir dir;
    ElfLayout plain{true, false, {{".text", "code"}}};
    ASSERT_TRUE(test::WriteFile(dir.path() / "plain", BuildElf(plain)));
    EXPECT_EQ(ReadVersionInfo(dir.path() / "plain"), VersionInfo{});
    ASSERT_TRUE(test::WriteFile(dir.path() / "text", "#!/bin/sh\necho\n"));
    EXPECT_EQ(ReadVersionInfo(dir.path() / "text"), VersionInfo{});
    EXPECT_EQ(ReadVersionInfo(dir.path() / "missing"), VersionInfo{});
    // A directory is no file to read.
    EXPECT_EQ(ReadVersionInfo(dir.path()), VersionInfo{});
}

void Store(std::string& bytes, std::size_t at, std::uint64_t value, int n) {
    for (int i = 0; i < n; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST(ElfVersion, DamagedFilesGiveNothingSafely) {
    const std::string good = BuildElf(VersionedElf(true, false, "1.2.3.4"));
    ASSERT_TRUE(ElfSectionFromBytes(good, kVersionSectionName));

    // Every prefix of the file: headers, tables or data cut short.
    for (std::size_t size = 0; size < good.size(); ++size) {
        const auto section =
            ElfSectionFromBytes(std::string_view(good).substr(0, size), kVersionSectionName);
        if (section) {
            EXPECT_EQ(section, ElfSectionFromBytes(good, kVersionSectionName));
        }
    }

    struct Damage {
        const char* what;
        std::size_t at;
        std::uint64_t value;
        int size;
    };
    const std::uint64_t table = [&] {
        std::uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(good[0x28 + i]);
        return v;
    }();
    const std::size_t versionHeader = table + 2 * 64;
    for (const Damage& d : {
             Damage{"class", 4, 9, 1},
             Damage{"byte order", 5, 0, 1},
             Damage{"table past the end", 0x28, ~0ull - 10, 8},
             Damage{"entry size too small", 0x3A, 8, 2},
             Damage{"name table index past the count", 0x3E, 200, 2},
             Damage{"huge count from the first header", 0x3C, 0, 2},
             Damage{"section offset past the end", versionHeader + 24, ~0ull, 8},
             Damage{"section size past the end", versionHeader + 32, 1ull << 40, 8},
             Damage{"section name outside the table", versionHeader, 0xFFFFFFF0, 4},
         }) {
        SCOPED_TRACE(d.what);
        std::string bad = good;
        Store(bad, d.at, d.value, d.size);
        if (std::string_view(d.what) == "huge count from the first header") {
            Store(bad, table + 32, 1ull << 40, 8);  // sh_size of section 0
        }
        EXPECT_FALSE(ElfSectionFromBytes(bad, kVersionSectionName));
    }

    // A version block that is itself damaged: a section of garbage.
    ElfLayout garbage{false, true, {{std::string(kVersionSectionName), std::string(7, '\xFF')}}};
    EXPECT_EQ(VersionInfoFromBlock(*ElfSectionFromBytes(BuildElf(garbage), kVersionSectionName)),
              VersionInfo{});
}

}  // namespace
}  // namespace box
