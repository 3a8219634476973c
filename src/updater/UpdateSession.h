#pragma once
// The update program's work, without its window: download the box's update
// package (three attempts), unpack it over the program's own folder, start
// the box again and end. The window calls Start once, Tick on every timer
// tick and CloseRequested when the user closes it, and shows view().

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "download/TransferEngine.h"
#include "support/Dialogs.h"
#include "support/Text.h"

namespace box {

// Texts as written here (UTF-8); the update program shows them in GBK.
inline constexpr const char* kUpdaterCaption = "正在更新《汀芷·软件盒子》到最新版本";
inline constexpr const char* kUpdaterNoAddress = "盒子更新程序启动异常：更新地址为空！将自动退出";
inline constexpr const char* kUpdaterRetrying = "下载失败，正在重试...";
inline constexpr const char* kUpdaterExtracting = "已下载完成，正在解压..";
inline constexpr const char* kUpdaterDownloadFailed =
    "盒子更新失败！请检查本软件是否被拦截访问网络，如被拦截请添加信任即可，或重试下载，或咨询汀芷"
    "！";
inline constexpr const char* kUpdaterExtractFailed =
    "盒子已经下载完成，但解压失败！请检查本软件目录下的unrar."
    "dll是否被拦截！如被拦截请添加信任即可。"
    "\r\n\r\n或自己手动解压这个文件到当前目录：";
inline constexpr const char* kUpdaterCloseQuestion = "确定要退出盒子的更新程序吗？";
inline constexpr const char* kUpdatePackageName = "汀芷·软件盒子（更新包）.rar";

inline constexpr int kUpdaterTickMs = 1000;
inline constexpr int kUpdaterAttempts = 3;

// The transfer of the package; TransferEngine behind it in the program, a
// scripted double in tests.
class PackageTransfer {
public:
    virtual ~PackageTransfer() = default;
    // Starts a task (ending the one before); 0 when refused.
    virtual TransferTaskId Start(const Text& url, const std::filesystem::path& path,
                                 TransferCallback callback) = 0;
    virtual void Stop() = 0;
    virtual std::int64_t Received() = 0;
    virtual std::int64_t SinceLast() = 0;
    virtual TransferTaskId CurrentTask() = 0;
};

class EnginePackageTransfer : public PackageTransfer {
public:
    explicit EnginePackageTransfer(TransferEngine& engine) : engine_(engine) {}
    TransferTaskId Start(const Text& url, const std::filesystem::path& path,
                         TransferCallback callback) override;
    void Stop() override { engine_.Stop(); }
    std::int64_t Received() override { return engine_.Received(); }
    std::int64_t SinceLast() override { return engine_.SinceLast(); }
    TransferTaskId CurrentTask() override { return engine_.CurrentTask(); }

private:
    TransferEngine& engine_;
};

// What the window shows.
struct UpdaterView {
    int progress = 0;  // 0..100
    Text label;
    int timerPeriodMs = 0;  // 0: the timer is stopped
    bool ended = false;     // the program ends now
};

struct UpdaterServices {
    Dialogs& dialogs;
    PackageTransfer& transfer;
    // Unpacks the package into its own folder; true when every entry came
    // out (entries that would leave the folder are refused).
    std::function<bool(const std::filesystem::path& package)> extract{};
    // Starts a program with its argument words (argv[0] first) without
    // waiting; false when it could not be started.
    std::function<bool(const std::vector<std::string>& argv)> startProcess{};
    // Host of 360 Cloud Drive share links, whose direct address is asked for
    // again before a retry; "" : no such refresh.
    Text shareHost360{};
    std::function<Text(const Text& url)> redirectLocation{};
    // Shows the view at once, before the extraction holds up the window.
    std::function<void(const UpdaterView& view)> showNow{};
};

class UpdateSession {
public:
    // arguments: the words after the program's path (package address, box
    // executable, and optionally the package's SHA-256 in hex: a package
    // with other contents is then a failed attempt); ownPath: the update
    // program's own file.
    UpdateSession(std::vector<std::string> arguments, std::filesystem::path ownPath,
                  UpdaterServices services);
    ~UpdateSession();
    UpdateSession(const UpdateSession&) = delete;
    UpdateSession& operator=(const UpdateSession&) = delete;

    // Reads the arguments and starts the first attempt; with no package
    // address says so and ends.
    void Start();
    // One timer tick.
    void Tick();
    // The window's close button: true when the user agreed and the program
    // ends (a running transfer is abandoned).
    bool CloseRequested();

    const UpdaterView& view() const { return view_; }
    const Text& packageAddress() const { return packageAddress_; }
    const std::filesystem::path& packagePath() const { return packagePath_; }
    int attempts() const { return attempts_; }

private:
    void StartTransfer();
    void Retry();
    void Finish();
    int OnTransferEvent(TransferTaskId task, int kind, std::int64_t data);

    std::vector<std::string> arguments_;
    std::filesystem::path ownPath_;
    UpdaterServices services_;
    Text packageAddress_;
    std::filesystem::path boxPath_;
    Text expectedSha256_;
    std::filesystem::path packagePath_;
    int attempts_ = 0;
    UpdaterView view_;

    // Set on the transfer's thread, read by the tick.
    std::atomic<bool> active_{false};
    std::atomic<bool> succeeded_{false};
    std::atomic<std::int64_t> totalSize_{0};
    std::atomic<TransferTaskId> task_{0};
};

}  // namespace box
