#include <gtest/gtest.h>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "catalog/VersionInfo.h"
#include "support/BoxFolder.h"

namespace box {
namespace {

using test::PeLayout;
using test::PeVersion;

const std::vector<std::pair<std::string, std::string>> kAllStrings = {
    {"Comments", "注释"},       {"CompanyName", "汀芷软件"},   {"FileDescription", "描述"},
    {"FileVersion", "1.2.3.4"}, {"InternalName", "inner"},     {"LegalCopyright", "(C) 汀芷"},
    {"LegalTrademarks", "tm"},  {"OriginalFilename", "a.exe"}, {"PrivateBuild", "private"},
    {"ProductName", "产品"},    {"ProductVersion", "1.2"},     {"SpecialBuild", "special"},
};

VersionInfo ReadFrom(const test::TempDir& dir, const std::string& bytes) {
    const auto path = dir.path() / "p.exe";
    EXPECT_TRUE(test::WriteFile(path, bytes));
    return ReadVersionInfo(FromFsPath(path));
}

TEST(ReadVersionInfo, ReadsAllTwelveStringsFromBothImageKinds) {
    test::TempDir dir;
    for (bool pe64 : {false, true}) {
        SCOPED_TRACE(pe64);
        PeLayout layout;
        layout.pe64 = pe64;
        layout.version = PeVersion{};
        layout.version->strings = kAllStrings;
        const VersionInfo info = ReadFrom(dir, test::BuildPe(layout));
        EXPECT_EQ(info.comments, "注释"_gbk);
        EXPECT_EQ(info.companyName, "汀芷软件"_gbk);
        EXPECT_EQ(info.fileDescription, "描述"_gbk);
        EXPECT_EQ(info.fileVersion, "1.2.3.4");
        EXPECT_EQ(info.internalName, "inner");
        EXPECT_EQ(info.legalCopyright, "(C) 汀芷"_gbk);
        EXPECT_EQ(info.legalTrademarks, "tm");
        EXPECT_EQ(info.originalFilename, "a.exe");
        EXPECT_EQ(info.privateBuild, "private");
        EXPECT_EQ(info.productName, "产品"_gbk);
        EXPECT_EQ(info.productVersion, "1.2");
        EXPECT_EQ(info.specialBuild, "special");
    }
}

TEST(ReadVersionInfo, TheFirstTranslationNamesTheStringTable) {
    EXPECT_EQ(TranslationKey(0x04B00804), "080404B0");
    EXPECT_EQ(TranslationKey(0x04E40409), "040904E4");
    EXPECT_EQ(TranslationKey(0x00000409), "04090000");  // leading zeros restored

    test::TempDir dir;
    PeLayout layout = test::ProgramLayout("3.1");
    layout.version->translations = {{0x0409, 0x04E4}, {0x0804, 0x04B0}};
    EXPECT_EQ(ReadFrom(dir, test::BuildPe(layout)).fileVersion, "3.1");
    // A table under another key than the translation names is not found.
    layout.version->tableKey = "080404B0";
    EXPECT_EQ(ReadFrom(dir, test::BuildPe(layout)), VersionInfo{});
    // Without a translation table nothing is read, not even a present table.
    layout.version->tableKey.clear();
    layout.version->withVarFileInfo = false;
    EXPECT_EQ(ReadFrom(dir, test::BuildPe(layout)), VersionInfo{});
    // An empty translation list is just as good as none.
    layout.version->withVarFileInfo = true;
    layout.version->translations.clear();
    EXPECT_EQ(ReadFrom(dir, test::BuildPe(layout)), VersionInfo{});
}

TEST(ReadVersionInfo, AnythingButAWholeExecutableGivesEmptyTexts) {
    test::TempDir dir;
    EXPECT_EQ(ReadVersionInfo(FromFsPath(dir.path() / "missing.exe")), VersionInfo{});
    EXPECT_EQ(ReadFrom(dir, "not an executable"), VersionInfo{});
    EXPECT_EQ(ReadFrom(dir, test::BuildPe(PeLayout{})), VersionInfo{});  // no version resource

    // Cut short at every length: never a crash, never a partial answer.
    PeLayout layout = test::ProgramLayout("1.0.0.7", true);
    layout.icons = {{test::SolidPicture(16, 16, 0xFF00AA00)}};
    const std::string whole = test::BuildPe(layout);
    ASSERT_EQ(ReadFrom(dir, whole).fileVersion, "1.0.0.7");
    for (std::size_t n = 0; n < whole.size(); ++n) {
        ASSERT_EQ(ReadVersionInfo(PeFile::FromBytes(whole.substr(0, n))), VersionInfo{})
            << "cut at " << n;
    }
    // Files on disk take the same checks (a sample: writing files is slow).
    for (std::size_t n = 0; n < whole.size(); n += 61) {
        ASSERT_EQ(ReadFrom(dir, whole.substr(0, n)), VersionInfo{}) << "cut at " << n;
    }
}

TEST(CompareVersions, TheInstalledVersionDecidesThePartsThatCount) {
    // Nothing installed: not downloaded, whatever the catalog says.
    EXPECT_EQ(CompareVersions("", "1.0"), kNotDownloaded);
    EXPECT_EQ(CompareVersions("", ""), kNotDownloaded);
    // The three worked examples.
    EXPECT_EQ(CompareVersions("1.2.0.0", "1.10"), kUpdateAvailable);
    EXPECT_EQ(CompareVersions("2.0", "1.9.9.9"), kUpToDate);
    EXPECT_EQ(CompareVersions("1.0.0.1", "1.0"), kUpToDate);
    // Equal, extra parts of the latest ignored, missing ones counted as 0.
    EXPECT_EQ(CompareVersions("1.2.3.4", "1.2.3.4"), kUpToDate);
    EXPECT_EQ(CompareVersions("1.2.3", "1.2.3.1"), kUpToDate);
    EXPECT_EQ(CompareVersions("1.2.3.4.5", "1.2.3.4"), kUpToDate);
    // Parts compare by their leading digits, numerically.
    EXPECT_EQ(CompareVersions("1.2b", "1.3"), kUpdateAvailable);
    EXPECT_EQ(CompareVersions("1.2b", "1.2"), kUpToDate);
    EXPECT_EQ(CompareVersions("1.x", "1.1"), kUpdateAvailable);
    EXPECT_EQ(CompareVersions("1.9", "1.10"), kUpdateAvailable);
    EXPECT_EQ(CompareVersions("1.0", ""), kUpToDate);
    // Huge parts do not wrap around.
    EXPECT_EQ(CompareVersions("1.99999999999999999999", "1.2"), kUpToDate);
}

}  // namespace
}  // namespace box
