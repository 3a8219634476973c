#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <set>

#include "../app/CatalogTestSupport.h"
#include "DemoServer.h"
#include "app/ProgramIcon.h"
#include "app/RowBuilder.h"
#include "download/ArchiveExtract.h"
#include "support/FileText.h"
#include "catalog/VersionInfo.h"
#include "net/HttpRequest.h"

namespace box {
namespace {

using demo::DemoServer;
using test::CatalogEnv;

const std::string kBase = "http://127.0.0.1:8765";

TEST(DemoCatalog, ParsesIntoFortySafeProgramsThatNameTheBoxsOwnVersion) {
    CatalogEnv env;
    Text boxVersion;
    env.context.hooks.checkSelfUpdate = [&](const Text& version, Text&, bool) {
        boxVersion = version;
        return false;
    };
    ASSERT_EQ(env.parse(demo::DemoCatalog(kBase)), demo::kDefaultProgramCount);
    EXPECT_EQ(env.exitCode, -1);
    EXPECT_TRUE(env.dialogs.shown.empty());
    EXPECT_EQ(env.downloadSource, demo::kDemoDownloadSource);
    // Equal, not newer: the demo must not offer to update the box.
    EXPECT_EQ(CompareVersions(SOFTBOX_BOX_VERSION, boxVersion), kUpToDate);

    std::set<int> kinds;
    std::set<int> tutorialCounts;
    for (int i = 1; i <= env.list.size(); ++i) {
        const CatalogEntry& e = env.list.at(i).entry;
        SCOPED_TRACE(GbkToUtf8(e.name));
        EXPECT_TRUE(IsSafeProgramName(e.name));
        EXPECT_EQ(e.homepage, kBase + "/home/" + ToText(i) + ".html");
        EXPECT_EQ(e.downloadUrl, kBase + "/files/" + ToText(i) + ".rar");
        EXPECT_FALSE(e.openDownloadPage);
        EXPECT_EQ(e.status, kNotDownloaded);
        kinds.insert(e.kind);
        tutorialCounts.insert(
            e.tutorialUrl.empty() ? 0 : static_cast<int>(Split(e.tutorialUrl, "|").size()));
    }
    // Every tag and every tutorial case shows up in the demo list.
    EXPECT_EQ(kinds, (std::set<int>{0, 1, 2}));
    EXPECT_EQ(tutorialCounts, (std::set<int>{0, 1, 2}));
}

TEST(DemoCatalog, LargerCatalogsKeepEveryProgramApart) {
    // A repeated section name would merge two programs into one row.
    CatalogEnv env;
    ASSERT_EQ(env.parse(demo::DemoCatalog(kBase, 100)), 100);
    const std::vector<std::string> names = env.names();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), 100u);
}

TEST(DemoPrograms, InstalledExecutablesGiveUpToDateAndUpdateRowsWithIconsOfTheirOwn) {
    CatalogEnv env;
    ASSERT_TRUE(demo::InstallDemoPrograms(env.dir.path()));
    ASSERT_EQ(env.parse(demo::DemoCatalog(kBase)), demo::kDefaultProgramCount);

    const std::vector<demo::DemoInstall> installs = demo::DemoInstalls();
    std::set<int> installed;
    std::set<std::string> icons{ProgramIconBmp(env.dir.path() / "missing.exe")};
    int statusCount[3] = {};
    for (const demo::DemoInstall& install : installs) {
        const CatalogEntry& e = env.list.at(install.index).entry;
        SCOPED_TRACE(GbkToUtf8(e.name));
        const std::filesystem::path exe =
            JoinPath(JoinPath(env.dir.path(), e.name), e.name + ".exe");
        EXPECT_EQ(ReadVersionInfo(exe).fileVersion, install.fileVersion);
        EXPECT_EQ(e.installedVersion, install.fileVersion);
        ASSERT_GE(e.status, kUpdateAvailable);
        ++statusCount[e.status];
        EXPECT_TRUE(icons.insert(ProgramIconBmp(exe)).second) << "icon repeats another one";
        installed.insert(install.index);
    }
    EXPECT_GE(statusCount[kUpToDate], 2);
    EXPECT_GE(statusCount[kUpdateAvailable], 2);
    for (int i = 1; i <= env.list.size(); ++i) {
        if (!installed.count(i)) {
            EXPECT_EQ(env.list.at(i).entry.status, kNotDownloaded) << i;
        }
    }
}

TEST(DemoPrograms, InstallIntoAFolderThatCannotHoldThemFails) {
    test::TempDir dir;
    ASSERT_TRUE(test::WriteFile(dir.path() / "file", "x"));
    EXPECT_FALSE(demo::InstallDemoPrograms(dir.path() / "file"));
}

// The server is declared first so that the request object, and with it its
// open connection, goes away before the server stops.
class DemoServerTest : public ::testing::Test {
protected:
    std::unique_ptr<DemoServer> start(demo::DemoOptions options) {
        options.port = 0;
        auto server = std::make_unique<DemoServer>(options, [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex);
            log.push_back(line);
        });
        EXPECT_TRUE(server->ok());
        return server;
    }

    std::mutex logMutex;
    std::vector<std::string> log;
    NullEventPump pump;
};

TEST_F(DemoServerTest, CatalogReachesTheBoxByteForByteAfterTheFailuresAsked) {
    auto server = start({.failFirst = 2});
    HttpRequest request{pump};
    const Text expected = demo::DemoCatalog(server->BaseUrl());
    for (int attempt = 1; attempt <= 2; ++attempt) {
        EXPECT_NE(request.FetchText(server->CatalogUrl()), expected);
        EXPECT_EQ(request.Status(), 503) << attempt;
    }
    EXPECT_EQ(request.FetchText(server->CatalogUrl()), expected);
    EXPECT_EQ(request.Status(), 200);
    EXPECT_EQ(server->CatalogRequests(), 3);
    std::lock_guard<std::mutex> lock(logMutex);
    EXPECT_EQ(log, (std::vector<std::string>{"GET /box.txt 503", "GET /box.txt 503",
                                             "GET /box.txt 200"}));
}

TEST_F(DemoServerTest, EveryPageAndArchiveOfTheCatalogIsServed) {
    auto server = start({.programs = 6});
    HttpRequest request{pump};
    CatalogEnv env;
    ASSERT_EQ(env.parse(request.FetchText(server->CatalogUrl())), 6);
    for (int i = 1; i <= env.list.size(); ++i) {
        const CatalogEntry& e = env.list.at(i).entry;
        SCOPED_TRACE(GbkToUtf8(e.name));
        std::vector<Text> pages{e.homepage};
        if (!e.tutorialUrl.empty())
            for (const Text& part : Split(e.tutorialUrl, "|")) pages.push_back(part);
        for (const Text& page : pages) {
            // Pages are UTF-8; the box's text is GBK.
            EXPECT_NE(request.FetchText(page).find(e.name), Text::npos) << page;
            EXPECT_EQ(request.Status(), 200) << page;
        }
        // The archive unpacks into the box folder as the program's folder,
        // and the program then shows as up to date.
        const Bytes archive = request.FetchBytes(e.downloadUrl);
        EXPECT_EQ(request.Status(), 200);
        const auto path = env.dir.path() / (GbkToUtf8(e.name) + ".rar");
        ASSERT_TRUE(WriteFileBytes(path, std::string(archive.begin(), archive.end())));
        ASSERT_TRUE(ExtractRar(path));
        RefreshRowStatus(env.list, i, env.dir.path());
        EXPECT_EQ(env.list.at(i).entry.status, kUpToDate);
        EXPECT_EQ(env.list.at(i).entry.installedVersion, e.latestVersion);
    }
    request.FetchText(server->BaseUrl() + "/box.rar");
    EXPECT_EQ(request.Status(), 404);
}

TEST(DemoServer, APortInUseIsReportedNotServed) {
    DemoServer first({.port = 0});
    ASSERT_TRUE(first.ok());
    DemoServer second({.port = first.port()});
    EXPECT_FALSE(second.ok());
    EXPECT_EQ(second.port(), 0);
}

}  // namespace
}  // namespace box
