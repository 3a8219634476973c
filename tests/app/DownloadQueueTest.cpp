#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "DownloadTestSupport.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::DownloadEnv;
using test::G;

const Text kQueued = G("正在排队..停止");
const Text kDownloading = G("正在下载..停止");
const Text kDownloadAll = G("一键下载全部软件");
const Text kStopAll = G("停止下载全部软件");

// Ticks until the attempt has used up its retries (a task that never
// answers counts as failed at each tick).
void FailAttempt(DownloadEnv& env) {
    for (int i = 0; i <= DownloadWorker::kMaxRetries; ++i) env.Tick();
}

TEST(DownloadQueueTest, ASecondClickQueuesTheRowUntilTheFirstEndsWhateverItsOutcome) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    const int b = env.add("乙", "2.0", "http://127.0.0.1/b.rar");

    env.queue->OnRowActionClick(a);
    EXPECT_EQ(env.row(a).actionButton.caption, kDownloading);
    ASSERT_EQ(env.fake.starts.size(), 1u);
    EXPECT_EQ(env.fake.starts[0].path, env.archive("甲 v1.0.rar"));
    EXPECT_EQ(env.queue->timerPeriod(), 1000);

    env.queue->OnRowActionClick(b);
    EXPECT_EQ(env.row(b).actionButton.caption, kQueued);
    EXPECT_EQ(env.queue->queue(), std::deque<int>{b});
    EXPECT_EQ(env.fake.starts.size(), 1u);
    EXPECT_EQ(env.queue->runningCount(), 1);

    // The first fails for good; the second starts anyway.
    FailAttempt(env);
    ASSERT_EQ(env.dialogs.shown.size(), 1u);
    EXPECT_EQ(env.fake.starts.back().url, "http://127.0.0.1/b.rar");
    EXPECT_EQ(env.fake.starts.back().path, env.archive("乙 v2.0.rar"));
    EXPECT_EQ(env.row(b).actionButton.caption, kDownloading);
    EXPECT_EQ(env.queue->currentRow(), b);
    EXPECT_EQ(env.queue->runningCount(), 1);
    EXPECT_EQ(env.row(a).idle, 1);
    EXPECT_FALSE(env.row(a).progressControl.visible);
}

TEST(DownloadQueueTest, DownloadAllWithNothingToDoGivesTheButtonBackAtOnce) {
    DownloadEnv env;
    env.add("甲", "1.0", "http://127.0.0.1/a.rar", "1.0");
    env.add("乙", "2.0", "http://127.0.0.1/b.rar", "2.0");
    int buttonChanges = 0;
    env.queue->onButtonChanged = [&] { ++buttonChanges; };

    env.queue->ToggleDownloadAll();
    EXPECT_EQ(env.queue->downloadAllButton().caption, kDownloadAll);
    EXPECT_TRUE(env.queue->downloadAllButton().enabled);
    EXPECT_FALSE(env.queue->downloadAllMode());
    EXPECT_TRUE(env.queue->queueOpen());
    EXPECT_GT(buttonChanges, 0);
    EXPECT_TRUE(env.dialogs.shown.empty());
    EXPECT_TRUE(env.fake.starts.empty());
    EXPECT_EQ(env.pump.sleptMs, 0);
}

TEST(DownloadQueueTest, StopAllEmptiesTheQueueEndsTheTransferAtItsTickAndDeletesThePartialFile) {
    DownloadEnv env;
    env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    env.add("乙", "1.0", "http://127.0.0.1/b.rar", "0.9");
    env.add("丙", "1.0", "http://127.0.0.1/c.rar");

    env.queue->ToggleDownloadAll();
    EXPECT_EQ(env.queue->downloadAllButton().caption, kStopAll);
    EXPECT_TRUE(env.queue->downloadAllMode());
    EXPECT_EQ(env.queue->queue(), (std::deque<int>{2, 3}));
    ASSERT_EQ(env.fake.starts.size(), 1u);
    env.fake.Begin(1000);
    env.fake.Receive(400);
    const fs::path partial = env.archive("甲 v1.0.rar");
    ASSERT_TRUE(fs::exists(partial));

    env.queue->ToggleDownloadAll();
    // The tick that ended the transfer came while the stop waited.
    EXPECT_GE(env.pump.sleptMs, 1000);
    EXPECT_FALSE(env.queue->worker().transferActive());
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_TRUE(env.queue->queue().empty());
    EXPECT_EQ(env.queue->runningCount(), 0);
    EXPECT_EQ(env.queue->timerPeriod(), 0);
    EXPECT_EQ(env.fake.starts.size(), 1u);
    EXPECT_EQ(env.queue->downloadAllButton().caption, kDownloadAll);
    EXPECT_TRUE(env.queue->downloadAllButton().enabled);
    EXPECT_FALSE(env.queue->downloadAllMode());
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(env.row(i).actionButton.enabled) << i;
        EXPECT_EQ(env.row(i).actionButton.caption, env.row(i).actionCaption) << i;
        EXPECT_FALSE(env.row(i).progressControl.visible) << i;
        EXPECT_EQ(env.row(i).idle, 1) << i;
    }
    EXPECT_TRUE(env.dialogs.shown.empty());
}

TEST(DownloadQueueTest, StopAllBeforeTheTransferAnsweredLeavesNoSlotTaken) {
    DownloadEnv env;
    env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    env.add("乙", "1.0", "http://127.0.0.1/b.rar");
    env.queue->ToggleDownloadAll();
    env.queue->ToggleDownloadAll();
    EXPECT_EQ(env.queue->runningCount(), 0);
    EXPECT_FALSE(env.row(1).progressControl.visible);

    // A later single click starts at once.
    env.queue->OnRowActionClick(2);
    EXPECT_EQ(env.fake.starts.back().url, "http://127.0.0.1/b.rar");
    EXPECT_EQ(env.queue->runningCount(), 1);
}

TEST(DownloadQueueTest, ManualDownloadRowsAskOutsideDownloadAllAndOpenTheirPageWithinIt) {
    {
        DownloadEnv env;
        const int a = env.add("甲", "1.0", "http://127.0.0.1/page");
        env.row(a).entry.openDownloadPage = true;
        env.dialogs.answers = {kButtonNo};
        env.queue->OnRowActionClick(a);
        ASSERT_EQ(env.dialogs.shown.size(), 1u);
        EXPECT_EQ(env.dialogs.shown[0].flags & kMbButtonMask, kMbYesNo);
        EXPECT_TRUE(env.opened.empty());
        EXPECT_EQ(env.queue->runningCount(), 0);
        env.dialogs.answers = {kButtonYes};
        env.queue->OnRowActionClick(a);
        EXPECT_EQ(env.opened, std::vector<Text>{"http://127.0.0.1/page"});
    }
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://127.0.0.1/page");
    env.row(a).entry.openDownloadPage = true;
    const int b = env.add("乙", "1.0", "");
    const int c = env.add("丙", "1.0", "http://127.0.0.1/c.rar");
    std::vector<Text> captionsSeen;
    env.list.onChanged = [&](int) {
        for (int i : {a, b}) captionsSeen.push_back(env.row(i).actionButton.caption);
    };
    env.queue->ToggleDownloadAll();
    EXPECT_TRUE(env.dialogs.shown.empty());
    EXPECT_EQ(env.opened, std::vector<Text>{"http://127.0.0.1/page"});
    EXPECT_NE(std::find(captionsSeen.begin(), captionsSeen.end(), G("手动下载更新!")),
              captionsSeen.end());
    EXPECT_NE(std::find(captionsSeen.begin(), captionsSeen.end(), G("暂没有下载源!")),
              captionsSeen.end());
    EXPECT_EQ(env.pump.sleptMs, 2000);
    ASSERT_EQ(env.fake.starts.size(), 1u);
    EXPECT_EQ(env.fake.starts[0].url, "http://127.0.0.1/c.rar");
    EXPECT_EQ(env.queue->currentRow(), c);
    // Rows that finished while others were queued wait disabled.
    EXPECT_FALSE(env.row(a).actionButton.enabled);
}

TEST(DownloadQueueTest, StoppingAQueuedRowKeepsTheOrderBehindIt) {
    DownloadEnv env;
    for (const char* name : {"甲", "乙", "丙", "丁"})
        env.add(name, "1.0", "http://127.0.0.1/x.rar");
    for (int i = 1; i <= 4; ++i) env.queue->OnRowActionClick(i);
    EXPECT_EQ(env.queue->queue(), (std::deque<int>{2, 3, 4}));

    env.queue->OnRowActionClick(3);
    EXPECT_EQ(env.queue->queue(), (std::deque<int>{2, 4}));
    EXPECT_EQ(env.row(3).actionButton.caption, env.row(3).actionCaption);
    EXPECT_EQ(env.shownTexts(), std::vector<Text>{G("已终止下载!")});
    // Stopping a row that is not queued changes nothing.
    env.queue->RemoveFromQueue(3);
    EXPECT_EQ(env.queue->queue(), (std::deque<int>{2, 4}));
}

TEST(DownloadQueueTest, EachDownloadGivesItsSlotBackOnceWhateverTheOrderOfFinishAndStop) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "http://127.0.0.1/a.rar");
    const int b = env.add("乙", "1.0", "http://127.0.0.1/b.rar");
    env.queue->OnRowActionClick(a);
    env.queue->OnRowActionClick(b);
    // The transfer ends, then the stop click comes before the next tick.
    env.fake.Complete(100);
    env.queue->OnRowActionClick(a);
    EXPECT_EQ(env.row(a).idle, 1);
    env.Tick();
    // The queue moved on instead of stalling with its slot taken.
    EXPECT_EQ(env.queue->currentRow(), b);
    EXPECT_EQ(env.fake.starts.back().url, "http://127.0.0.1/b.rar");
    EXPECT_EQ(env.queue->runningCount(), 1);

    // Finishing twice, and a stray finish of another row, never go below 0.
    env.queue->FinishDownload(b, true);
    env.queue->FinishDownload(b, true);
    env.queue->FinishDownload(a, false);
    EXPECT_EQ(env.queue->runningCount(), 0);
    env.queue->ResetDownloadQueue();
    EXPECT_EQ(env.queue->runningCount(), 0);
    env.queue->OnRowActionClick(a);
    EXPECT_EQ(env.queue->runningCount(), 1);
}

TEST(DownloadQueueTest, AStartAfterAResolvedOnePassesTheResolvedUrl) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "baidu/甲.rar");
    env.resolveTo = [](const Text& source) -> Text {
        return source.rfind("http://", 0) == 0 ? source : Text("http://127.0.0.1/direct.rar");
    };
    env.queue->OnRowActionClick(a);
    FailAttempt(env);
    env.queue->OnRowActionClick(a);
    ASSERT_EQ(env.resolved.size(), 2u);
    EXPECT_EQ(env.resolved[0], "baidu/甲.rar");
    EXPECT_EQ(env.resolved[1], "http://127.0.0.1/direct.rar");
    EXPECT_EQ(env.fake.starts.back().url, "http://127.0.0.1/direct.rar");
}

TEST(DownloadQueueTest, AFailedResolveKeepsTheSourceAndTheQueueMovesOn) {
    DownloadEnv env;
    const int a = env.add("甲", "1.0", "short-link");
    const int b = env.add("乙", "1.0", "http://127.0.0.1/b.rar");
    env.resolveTo = [](const Text& source) -> Text {
        return source.rfind("http://", 0) == 0 ? source : Text();
    };
    env.queue->OnRowActionClick(b);
    env.queue->OnRowActionClick(a);
    env.fake.Complete(10);
    env.Tick();  // b is extracted, a starts and fails to resolve
    EXPECT_EQ(env.row(a).entry.downloadUrl, "short-link");
    ASSERT_EQ(env.dialogs.shown.size(), 1u);
    EXPECT_EQ(env.dialogs.shown[0].title, G("信息："));
    EXPECT_EQ(env.dialogs.shown[0].text,
              G("解析下载地址失败！你可以重试！\r\n或联系汀芷确认这款软件的下载状态：甲"));
    EXPECT_EQ(env.queue->runningCount(), 0);
    EXPECT_EQ(env.fake.starts.size(), 1u);
}

}  // namespace
}  // namespace box
