#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "DownloadTestSupport.h"
#include "LoopbackServer.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::DownloadEnv;
using test::G;

const Text kDownloadFailed =
    G("下载失败！请检查本软件是否被拦截访问网络，如被拦截请添加信任即可，或重试下载，或咨询汀芷！");

TEST(DownloadWorkerTest, HintShowsTotalReceivedAndSpeedWithTheProgress) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    env.queue->OnRowActionClick(a);
    EXPECT_EQ(env.row(a).hintControl.caption, G("下载初始化.."));
    env.fake.Begin(3 * 1024 * 1024);
    env.fake.received = 1536 * 1024;
    env.fake.sinceLast = 100 * 1024;
    env.Tick();
    EXPECT_EQ(env.row(a).hintControl.caption, G("3 MB:1.5 MB  100 KB/秒"));
    EXPECT_EQ(env.row(a).progressControl.progress, 50);
    EXPECT_TRUE(env.row(a).progressControl.visible);
    // The speed is counted afresh for every tick.
    env.Tick();
    EXPECT_EQ(env.row(a).hintControl.caption, G("3 MB:1.5 MB  0 B/秒"));

    // An unknown size shows no progress instead of dividing by zero.
    env.fake.Finish();
    env.Tick();
    env.queue->OnRowActionClick(a);
    env.fake.Begin(0);
    env.fake.Receive(500);
    env.Tick();
    EXPECT_EQ(env.row(a).progressControl.progress, 0);
    EXPECT_EQ(env.row(a).hintControl.caption, G("0 B:500 B  500 B/秒"));
}

TEST(DownloadWorkerTest, AShortTransferIsRetriedThreeTimesThenReported) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    env.queue->OnRowActionClick(a);
    const fs::path archive = env.archive("甲 v1.0.rar");
    for (int attempt = 1; attempt <= 4; ++attempt) {
        ASSERT_EQ(env.fake.starts.size(), static_cast<std::size_t>(attempt));
        EXPECT_EQ(env.fake.starts.back().path, archive);
        env.fake.Begin(1000);
        env.fake.Receive(600);
        env.fake.Finish();
        EXPECT_TRUE(fs::exists(archive));
        env.Tick();
        EXPECT_FALSE(fs::exists(archive)) << attempt;
        if (attempt <= 3) {
            EXPECT_EQ(env.row(a).hintControl.caption,
                      G("下载失败，正在重试...") + std::to_string(attempt));
            EXPECT_EQ(env.queue->timerPeriod(), 1000);
            EXPECT_TRUE(env.dialogs.shown.empty());
        }
    }
    EXPECT_EQ(env.fake.starts.size(), 4u);
    EXPECT_EQ(env.shownTexts(), std::vector<Text>{kDownloadFailed});
    EXPECT_TRUE(env.extracted.empty());
    EXPECT_FALSE(env.row(a).progressControl.visible);
    EXPECT_EQ(env.queue->runningCount(), 0);
    EXPECT_EQ(env.queue->timerPeriod(), 0);

    // A new click gives the program three retries again, and in
    // download-all mode the failure is not a message box.
    env.queue->ToggleDownloadAll();
    for (int i = 0; i < 4; ++i) env.Tick();
    EXPECT_EQ(env.fake.starts.size(), 8u);
    EXPECT_EQ(env.dialogs.shown.size(), 1u);
    EXPECT_EQ(env.queue->downloadAllButton().caption, G("一键下载全部软件"));
}

// Without an announced size only the transfer knows whether the body ended
// properly: a cut one is retried like a short one, not handed to extraction.
TEST(DownloadWorkerTest, ABodyOfUnknownSizeIsExtractedOnlyWhenItEndedProperly) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    env.queue->OnRowActionClick(a);
    env.fake.cutShort = true;
    env.fake.Begin(0);
    env.fake.Receive(600);
    env.fake.Finish();
    env.Tick();
    EXPECT_TRUE(env.extracted.empty());
    EXPECT_EQ(env.row(a).hintControl.caption, G("下载失败，正在重试...1"));
    ASSERT_EQ(env.fake.starts.size(), 2u);

    env.fake.cutShort = false;
    env.fake.Begin(0);
    env.fake.Receive(600);
    env.fake.Finish();
    env.Tick();
    EXPECT_EQ(env.extracted.size(), 1u);
    EXPECT_EQ(env.fake.starts.size(), 2u);
}

TEST(DownloadWorkerTest, A360DownloadAsksForAFreshAddressBeforeEachRetry) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://dl.YunPan.example/file/1");
    env.queue->OnRowActionClick(a);
    for (int i = 0; i < 4; ++i) {
        env.log.push_back("start " + env.fake.starts.back().url);
        env.Tick();
    }
    const std::vector<std::string> expected = {
        "start http://dl.YunPan.example/file/1",    "redirect http://dl.YunPan.example/file/1",
        "touch http://dl.yunpan.example/fresh2 2",  "start http://dl.yunpan.example/fresh2",
        "redirect http://dl.yunpan.example/fresh2", "touch http://dl.yunpan.example/fresh5 3",
        "start http://dl.yunpan.example/fresh5",    "redirect http://dl.yunpan.example/fresh5",
        "touch http://dl.yunpan.example/fresh8 4",  "start http://dl.yunpan.example/fresh8",
        "touch http://dl.yunpan.example/fresh8 5",
    };
    EXPECT_EQ(env.log, expected);
    EXPECT_EQ(env.row(a).entry.downloadUrl, "http://dl.yunpan.example/fresh8");

    // Other sources are retried as they are.
    DownloadEnv plain;
    plain.queue->OnRowActionClick(plain.add("乙", "1.0", "http://127.0.0.1/b.rar"));
    plain.Tick();
    EXPECT_TRUE(plain.log.empty());
    EXPECT_EQ(plain.fake.starts.back().url, "http://127.0.0.1/b.rar");
}

TEST(DownloadWorkerTest, AnArchiveSavedUnderAnotherNameIsExtractedFromThatNameAndDeleted) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    // The user's own file of the archive's name is never touched.
    const fs::path own = env.archive("甲 v1.0.rar");
    std::ofstream(own) << "mine";
    env.queue->OnRowActionClick(a);
    env.fake.Complete(100);
    env.Tick();
    ASSERT_EQ(env.extracted.size(), 1u);
    EXPECT_EQ(env.extracted[0], env.archive("甲 v1(1).0.rar"));
    EXPECT_FALSE(fs::exists(env.archive("甲 v1(1).0.rar")));
    EXPECT_TRUE(fs::exists(own));
    EXPECT_TRUE(env.dialogs.shown.empty());
    EXPECT_EQ(env.queue->runningCount(), 0);
}

TEST(DownloadWorkerTest, AFailedExtractionKeepsTheArchiveAndTheInstalledProgram) {
    DownloadEnv env;
    const int a = env.add("甲", "2.0", "http://127.0.0.1/a.rar", "1.0");
    const int b = env.add("乙", "1.0", "http://127.0.0.1/b.rar");
    EXPECT_EQ(env.row(a).entry.status, kUpdateAvailable);
    env.extractResult = [](const fs::path&) { return false; };
    env.queue->OnRowActionClick(a);
    env.fake.Complete(100);
    env.Tick();
    const fs::path archive = env.archive("甲 v2.0.rar");
    EXPECT_TRUE(fs::exists(archive));
    ASSERT_EQ(env.dialogs.shown.size(), 1u);
    EXPECT_EQ(env.dialogs.shown[0].text.rfind(G("解压失败！"), 0), 0u);
    EXPECT_NE(env.dialogs.shown[0].text.find(FromFsPath(archive)), Text::npos);

    // The next download, which fails before writing anything, does not take
    // the kept archive for its own partial file.
    env.queue->OnRowActionClick(b);
    for (int i = 0; i < 4; ++i) env.Tick();
    EXPECT_TRUE(fs::exists(archive));

    // A download that fails for good leaves the installed version working.
    env.queue->OnRowActionClick(a);
    for (int i = 0; i < 4; ++i) {
        env.fake.Begin(1000);
        env.fake.Receive(10);
        env.fake.Finish();
        env.Tick();
    }
    EXPECT_TRUE(fs::exists(env.dir.path() / "甲" / "甲.exe"));
    EXPECT_EQ(env.row(a).entry.installedVersion, "1.0");
    EXPECT_EQ(env.row(a).entry.status, kUpdateAvailable);
    EXPECT_TRUE(fs::exists(archive));
}

TEST(DownloadWorkerTest, AGoodExtractionDeletesTheArchiveAndShowsTheInstalledVersion) {
    DownloadEnv env;
    const int a = env.add("甲", "2.0", "http://127.0.0.1/a.rar", "1.0");
    env.extractResult = [&](const fs::path&) {
        return test::InstallProgram(env.dir.path(), "甲", test::ProgramLayout("2.0"));
    };
    env.queue->OnRowActionClick(a);
    env.fake.Complete(100);
    env.Tick();
    EXPECT_FALSE(fs::exists(env.archive("甲 v2.0.rar")));
    EXPECT_EQ(env.row(a).entry.status, kUpToDate);
    EXPECT_EQ(env.row(a).entry.installedVersion, "2.0");
    EXPECT_FALSE(env.row(a).actionButton.enabled);
    EXPECT_FALSE(env.row(a).hintControl.visible);
}

TEST(DownloadWorkerTest, LateEventsOfAReplacedTaskChangeNothing) {
    DownloadEnv env;
    env.queue->OnRowActionClick(env.add("甲", "1.0", "http://127.0.0.1/a.rar"));
    env.fake.Begin(1000);
    const TransferCallback first = env.fake.callback;
    const TransferTaskId firstTask = env.fake.current;
    env.fake.Receive(10);
    env.fake.Finish();
    env.Tick();  // a retry: a new task
    ASSERT_NE(env.fake.current, firstTask);
    DownloadWorker& worker = env.queue->worker();
    first(firstTask, kTransferStarted, 77);
    EXPECT_FALSE(worker.transferActive());
    EXPECT_EQ(worker.transferTotalSize(), 1000);
    env.fake.Begin(500);
    first(firstTask, kTransferFinished, 500);
    EXPECT_TRUE(worker.transferActive());
    EXPECT_FALSE(worker.transferSucceeded());
    EXPECT_EQ(worker.transferTotalSize(), 500);
}

// The real engine against a loopback server: bytes on disk, extraction from
// the file the engine wrote, the row refreshed.
TEST(DownloadWorkerTest, EngineDownloadEndsExtractedAndShownInstalled) {
    test::LoopbackServer server;
    ASSERT_TRUE(server.ok());
    const std::string body(200000, 'r');
    server.SetAnswer("/soft/a.rar", {200, body, "application/octet-stream"});
    TransferEngine engine;
    EngineTransfer transfer(engine);
    DownloadEnv env(&transfer);
    const int a = env.add("甲", "2.0", server.Url("/soft/a.rar"));
    std::string seen;
    env.extractResult = [&](const fs::path& archive) {
        std::ifstream in(archive, std::ios::binary);
        seen.assign(std::istreambuf_iterator<char>(in), {});
        return test::InstallProgram(env.dir.path(), "甲", test::ProgramLayout("2.0"));
    };
    env.queue->OnRowActionClick(a);
    ASSERT_TRUE(test::WaitUntil([&] { return env.queue->worker().finishedEvents() == 1; }));
    env.Tick();
    EXPECT_EQ(seen, body);
    EXPECT_FALSE(fs::exists(env.archive("甲 v2.0.rar")));
    EXPECT_EQ(env.row(a).entry.status, kUpToDate);
    EXPECT_EQ(env.queue->runningCount(), 0);
    engine.Release();
}

TEST(DownloadWorkerTest, StopAllEndsARealTransferAndDeletesItsPartialFile) {
    // Half the announced body, then the connection closes; the engine waits
    // long before it asks again, so the transfer stays active.
    test::RawHttpServer server("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" +
                               std::string(4000, 'p'));
    ASSERT_TRUE(server.ok());
    TransferEngineOptions options;
    options.reconnectDelayMs = 600000;
    TransferEngine engine(options);
    EngineTransfer transfer(engine);
    DownloadEnv env(&transfer);
    env.add("甲", "1.0", server.Url("/a.rar"));
    env.add("乙", "1.0", server.Url("/b.rar"));
    env.queue->ToggleDownloadAll();
    const fs::path partial = env.archive("甲 v1.0.rar");
    ASSERT_TRUE(test::WaitUntil(
        [&] { return env.queue->worker().transferActive() && engine.Received() == 4000; }));
    EXPECT_TRUE(fs::exists(partial));
    env.queue->ToggleDownloadAll();
    EXPECT_FALSE(env.queue->worker().transferActive());
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(env.queue->queue().empty());
    EXPECT_EQ(env.queue->runningCount(), 0);
    EXPECT_TRUE(env.row(1).actionButton.enabled);
    EXPECT_TRUE(env.row(2).actionButton.enabled);
    EXPECT_EQ(server.Heads().size(), 1u);
    engine.Release();
}

}  // namespace
}  // namespace box
