#include <gtest/gtest.h>

#include <filesystem>

#include "TestDoubles.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"
#include "updater/PackageHash.h"
#include "updater/UpdateSession.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::G;

// A transfer the test drives: it records each start and reports the events
// the test asks for.
class ScriptedTransfer : public PackageTransfer {
public:
    struct Started {
        Text url;
        fs::path path;
    };
    std::vector<Started> starts;
    TransferCallback callback;
    TransferTaskId current = 0;
    std::int64_t received = 0;
    std::int64_t sinceLast = 0;
    int stops = 0;

    TransferTaskId Start(const Text& url, const fs::path& path, TransferCallback cb) override {
        starts.push_back({url, path});
        callback = std::move(cb);
        return ++current;
    }
    void Stop() override { ++stops; }
    std::int64_t Received() override { return received; }
    std::int64_t SinceLast() override { return sinceLast; }
    TransferTaskId CurrentTask() override { return current; }

    void Report(int kind, std::int64_t data) { callback(current, kind, data); }
    // The current attempt writes bytes and ends.
    void Complete(const fs::path& file, std::int64_t size, std::int64_t delivered) {
        Report(kTransferStarted, size);
        WriteFileBytes(file, std::string(static_cast<std::size_t>(delivered), 'x'));
        Report(kTransferFinished, delivered);
    }
};

class UpdateSessionTest : public ::testing::Test {
protected:
    UpdaterServices Services() {
        UpdaterServices services{dialogs, transfer};
        services.extract = [this](const fs::path& package) {
            extracted.push_back(package);
            return extractWorks;
        };
        services.startProcess = [this](const std::vector<std::string>& argv) {
            started.push_back(argv);
            return true;
        };
        services.shareHost360 = "yunpan.example";
        services.redirectLocation = [this](const Text& url) {
            redirects.push_back(url);
            return Text("http://127.0.0.1/fresh.rar");
        };
        services.showNow = [this](const UpdaterView& view) { shownNow.push_back(view.label); };
        return services;
    }

    std::unique_ptr<UpdateSession> Session(std::vector<std::string> arguments) {
        return std::make_unique<UpdateSession>(std::move(arguments), own, Services());
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& shown : dialogs.shown) out.push_back(GbkToUtf8(shown.text));
        return out;
    }

    test::TempDir dir;
    fs::path own = dir.path() / "upbox.exe";
    fs::path box = dir.path() / "softbox";
    fs::path package = dir.path() / "汀芷·软件盒子（更新包）.rar";
    test::ScriptedDialogs dialogs;
    ScriptedTransfer transfer;
    bool extractWorks = true;
    std::vector<fs::path> extracted;
    std::vector<std::vector<std::string>> started;
    std::vector<Text> redirects;
    std::vector<Text> shownNow;
};

TEST_F(UpdateSessionTest, NoArgumentsOrAnEmptyAddressSayItAndEnd) {
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"", box.string()}}) {
        dialogs.shown.clear();
        auto session = Session(arguments);
        session->Start();
        EXPECT_TRUE(session->view().ended);
        EXPECT_EQ(Messages(), std::vector<std::string>{kUpdaterNoAddress});
        EXPECT_EQ(dialogs.shown[0].title, G("信息："));
        EXPECT_EQ(dialogs.shown[0].flags & kMbButtonMask, kMbOk);
    }
    EXPECT_TRUE(transfer.starts.empty());
    EXPECT_TRUE(started.empty());
}

TEST_F(UpdateSessionTest, ProgressShowsSizesAndSpeedLikeTheBoxDownloadHint) {
    auto session = Session({"http://127.0.0.1/box.rar", box.string()});
    session->Start();
    ASSERT_EQ(transfer.starts.size(), 1u);
    EXPECT_EQ(transfer.starts[0].url, "http://127.0.0.1/box.rar");
    EXPECT_EQ(transfer.starts[0].path, package);
    EXPECT_EQ(session->view().timerPeriodMs, kUpdaterTickMs);

    // Before the engine reports the start: no failure, no progress yet.
    session->Tick();
    EXPECT_EQ(session->attempts(), 0);
    EXPECT_EQ(session->view().progress, 0);

    transfer.Report(kTransferStarted, 2048);
    transfer.received = 1024;
    transfer.sinceLast = 512;
    session->Tick();
    EXPECT_EQ(session->view().progress, 50);
    EXPECT_EQ(session->view().label, G("2 KB:1 KB  512 B/秒"));
}

TEST_F(UpdateSessionTest, TwoFailuresThenSuccessRetryThenExtractAndRestartTheBox) {
    auto session = Session({"http://127.0.0.1/box.rar", box.string()});
    session->Start();
    std::vector<Text> labels;

    transfer.Complete(package, 100, 40);  // cut short
    session->Tick();
    labels.push_back(session->view().label);
    EXPECT_FALSE(fs::exists(package));      // the part is never taken for the package
    transfer.Report(kTransferFinished, 0);  // refused at once
    session->Tick();
    labels.push_back(session->view().label);

    transfer.Report(kTransferStarted, 100);
    transfer.received = 30;
    transfer.sinceLast = 30;
    session->Tick();
    labels.push_back(session->view().label);
    EXPECT_EQ(session->view().progress, 30);

    WriteFileBytes(package, std::string(100, 'x'));
    // The new box, as a package packed on Windows leaves it: not runnable.
    WriteFileBytes(box, std::string_view("new box"));
    fs::permissions(box, fs::perms::owner_read | fs::perms::owner_write);
    transfer.Report(kTransferFinished, 100);
    session->Tick();
    EXPECT_EQ(shownNow, std::vector<Text>{G(kUpdaterExtracting)});
    EXPECT_EQ(session->view().progress, 100);

    EXPECT_EQ(labels, (std::vector<Text>{G("下载失败，正在重试...1"), G("下载失败，正在重试...2"),
                                         G("100 B:30 B  30 B/秒")}));
    EXPECT_EQ(transfer.starts.size(), 3u);
    EXPECT_EQ(extracted, std::vector<fs::path>{package});
    EXPECT_FALSE(fs::exists(package));
    EXPECT_EQ(started, (std::vector<std::vector<std::string>>{{box.string(), own.string()}}));
    EXPECT_NE(fs::status(box).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_TRUE(session->view().ended);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(redirects.empty());  // a direct address is not looked up again
}

TEST_F(UpdateSessionTest, TheThirdFailureSaysSoAndDoesNotStartTheBox) {
    auto session = Session({"http://127.0.0.1/box.rar", box.string()});
    session->Start();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        transfer.Report(kTransferFinished, 0);
        session->Tick();
    }
    EXPECT_EQ(transfer.starts.size(), 3u);
    EXPECT_EQ(Messages(), std::vector<std::string>{kUpdaterDownloadFailed});
    EXPECT_EQ(dialogs.shown[0].title, G("汀芷："));
    EXPECT_TRUE(session->view().ended);
    EXPECT_TRUE(extracted.empty());
    EXPECT_TRUE(started.empty());
}

TEST_F(UpdateSessionTest, A360ShareIsLookedUpAgainBeforeARetry) {
    auto session = Session({"https://yunpan.example/s/abc", box.string()});
    session->Start();
    transfer.Report(kTransferFinished, 0);
    session->Tick();
    EXPECT_EQ(redirects, std::vector<Text>{"https://yunpan.example/s/abc"});
    ASSERT_EQ(transfer.starts.size(), 2u);
    EXPECT_EQ(transfer.starts[1].url, "http://127.0.0.1/fresh.rar");
}

TEST_F(UpdateSessionTest, AFailedExtractionKeepsThePackageAndStillRestartsTheBox) {
    extractWorks = false;
    auto session = Session({"http://127.0.0.1/box.rar", box.string()});
    session->Start();
    transfer.Complete(package, 10, 10);
    session->Tick();
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, G(kUpdaterExtractFailed) + FromFsPath(package));
    EXPECT_EQ(dialogs.shown[0].title, G("信息："));
    EXPECT_TRUE(fs::exists(package));
    EXPECT_EQ(started.size(), 1u);
    EXPECT_TRUE(session->view().ended);
}

TEST_F(UpdateSessionTest, CloseAnsweredCancelKeepsDownloadingAndOkEnds) {
    auto session = Session({"http://127.0.0.1/box.rar", box.string()});
    session->Start();
    transfer.Report(kTransferStarted, 100);
    dialogs.answers = {kButtonCancel, kButtonOk};
    EXPECT_FALSE(session->CloseRequested());
    EXPECT_EQ(Messages(), std::vector<std::string>{kUpdaterCloseQuestion});
    EXPECT_EQ(dialogs.shown[0].flags & kMbButtonMask, kMbOkCancel);
    EXPECT_EQ(transfer.stops, 0);
    transfer.received = 50;
    session->Tick();
    EXPECT_EQ(session->view().progress, 50);
    EXPECT_FALSE(session->view().ended);

    EXPECT_TRUE(session->CloseRequested());
    EXPECT_EQ(transfer.stops, 1);
    EXPECT_TRUE(session->view().ended);
    EXPECT_TRUE(started.empty());
}

TEST_F(UpdateSessionTest, EventsOfAReplacedTaskAreIgnored) {
    auto session = Session({"http://127.0.0.1/box.rar", box.string()});
    session->Start();
    transfer.Report(kTransferFinished, 0);
    session->Tick();                             // second attempt starts
    transfer.callback(1, kTransferFinished, 0);  // the first task winding down
    transfer.Report(kTransferStarted, 10);
    session->Tick();
    EXPECT_EQ(session->attempts(), 1);
    EXPECT_EQ(transfer.starts.size(), 2u);
}

// SHA-256 of "abc" (FIPS 180-2, appendix B.1).
constexpr const char* kAbcSha256 =
    "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(FileSha256, HashesTheFileOrGivesNothing) {
    test::TempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.path() / "abc", std::string_view("abc")));
    EXPECT_EQ(FileSha256(dir.path() / "abc"), kAbcSha256);
    EXPECT_EQ(FileSha256(dir.path() / "missing"), "");
}

TEST_F(UpdateSessionTest, APackageMatchingItsChecksumIsUnpacked) {
    auto session = Session({"http://127.0.0.1/box.rar", box.string(),
                            "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"});
    session->Start();
    transfer.Report(kTransferStarted, 3);
    WriteFileBytes(package, std::string_view("abc"));
    transfer.Report(kTransferFinished, 3);
    session->Tick();
    EXPECT_EQ(extracted, std::vector<fs::path>{package});
    EXPECT_EQ(started.size(), 1u);
}

TEST_F(UpdateSessionTest, APackageWithOtherContentsIsRetriedAndNeverUnpacked) {
    auto session = Session({"http://127.0.0.1/box.rar", box.string(), kAbcSha256});
    session->Start();
    for (int attempt = 1; attempt <= 3; ++attempt) {
        transfer.Report(kTransferStarted, 3);
        WriteFileBytes(package, std::string_view("abd"));
        transfer.Report(kTransferFinished, 3);
        session->Tick();
        if (attempt < 3) {
            EXPECT_EQ(session->view().label, G(kUpdaterRetrying) + ToText(attempt));
        }
        EXPECT_FALSE(fs::exists(package));
    }
    EXPECT_EQ(transfer.starts.size(), 3u);
    EXPECT_EQ(Messages(), std::vector<std::string>{kUpdaterDownloadFailed});
    EXPECT_TRUE(extracted.empty());
    EXPECT_TRUE(started.empty());
}

}  // namespace
}  // namespace box
