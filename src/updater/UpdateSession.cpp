#include "updater/UpdateSession.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "download/FormatSize.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"
#include "updater/PackageHash.h"

namespace box {

TransferTaskId EnginePackageTransfer::Start(const Text& url, const std::filesystem::path& path,
                                            TransferCallback callback) {
    TaskParam param;
    param.url = url;
    param.savePath = path;
    param.eventCallback = std::move(callback);
    return engine_.Start(param);
}

UpdateSession::UpdateSession(std::vector<std::string> arguments, std::filesystem::path ownPath,
                             UpdaterServices services)
    : arguments_(std::move(arguments)),
      ownPath_(std::move(ownPath)),
      services_(std::move(services)) {}

UpdateSession::~UpdateSession() {
    // The engine's thread must not call into a session that is gone.
    services_.transfer.Stop();
}

void UpdateSession::Start() {
    if (!arguments_.empty()) packageAddress_ = arguments_[0];
    if (arguments_.size() > 1) boxPath_ = arguments_[1];
    if (arguments_.size() > 2) expectedSha256_ = AsciiLower(arguments_[2]);
    if (packageAddress_.empty()) {
        ShowPlainMessage(services_.dialogs, Utf8ToGbk(kUpdaterNoAddress), kMbOk);
        view_.ended = true;
        return;
    }
    packagePath_ = ownPath_.parent_path() / FsPath(Utf8ToGbk(kUpdatePackageName));
    view_.timerPeriodMs = kUpdaterTickMs;
    StartTransfer();
}

void UpdateSession::StartTransfer() {
    succeeded_.store(false, std::memory_order_release);
    totalSize_.store(0, std::memory_order_release);
    // Active from the start: a tick before the engine reports its start is
    // no failed attempt.
    active_.store(true, std::memory_order_release);
    const TransferTaskId task = services_.transfer.Start(
        packageAddress_, packagePath_, [this](TransferTaskId id, int kind, std::int64_t data) {
            return OnTransferEvent(id, kind, data);
        });
    task_.store(task, std::memory_order_release);
    if (task == 0) active_.store(false, std::memory_order_release);
}

int UpdateSession::OnTransferEvent(TransferTaskId task, int kind, std::int64_t data) {
    // A task that was replaced may still be winding down.
    if (task != services_.transfer.CurrentTask()) return 0;
    if (kind == kTransferStarted) {
        totalSize_.store(data, std::memory_order_release);
    } else if (kind == kTransferFinished) {
        const std::int64_t total = totalSize_.load(std::memory_order_acquire);
        // A package of unknown size counts as complete when anything came;
        // the extraction then judges it.
        succeeded_.store(total > 0 ? data == total : data > 0, std::memory_order_release);
        active_.store(false, std::memory_order_release);
    }
    return 0;
}

void UpdateSession::Tick() {
    if (view_.ended || view_.timerPeriodMs == 0) return;
    if (active_.load(std::memory_order_acquire)) {
        const std::int64_t total = totalSize_.load(std::memory_order_acquire);
        const std::int64_t received = services_.transfer.Received();
        const std::int64_t sinceLast = services_.transfer.SinceLast();
        // An unknown size shows no progress rather than a division by zero.
        int position = 0;
        if (total > 0) {
            const double percent = std::trunc(static_cast<double>(received) / total * 100.0);
            position = static_cast<int>(std::clamp(percent, 0.0, 100.0));
        }
        view_.progress = position;
        view_.label = FormatSize(static_cast<double>(total)) + ":" +
                      FormatSize(static_cast<double>(received)) + "  " +
                      FormatSize(static_cast<double>(sinceLast)) + "/秒"_gbk;
        return;
    }
    view_.progress = 100;
    // A package other than the one the catalog vouches for is never unpacked.
    const bool genuine = expectedSha256_.empty() || FileSha256(packagePath_) == expectedSha256_;
    if (succeeded_.load(std::memory_order_acquire) && genuine) {
        Finish();
    } else {
        Retry();
    }
}

void UpdateSession::Retry() {
    services_.transfer.Stop();
    std::error_code error;
    std::filesystem::remove(packagePath_, error);  // a part of a package is no package
    ++attempts_;
    if (attempts_ >= kUpdaterAttempts) {
        view_.timerPeriodMs = 0;
        AskUser(services_.dialogs, Utf8ToGbk(kUpdaterDownloadFailed));
        view_.ended = true;
        return;
    }
    view_.label = Utf8ToGbk(kUpdaterRetrying) + ToText(attempts_);
    const bool share360 =
        !services_.shareHost360.empty() &&
        AsciiLower(packageAddress_).find(AsciiLower(services_.shareHost360)) != Text::npos;
    if (share360 && services_.redirectLocation) {
        // The share's direct address expires; ask it for a fresh one.
        const Text location = services_.redirectLocation(packageAddress_);
        if (!location.empty()) packageAddress_ = location;
    }
    view_.timerPeriodMs = kUpdaterTickMs;
    StartTransfer();
}

void UpdateSession::Finish() {
    view_.timerPeriodMs = 0;
    view_.label = Utf8ToGbk(kUpdaterExtracting);
    if (services_.showNow) services_.showNow(view_);
    if (services_.extract && services_.extract(packagePath_)) {
        std::error_code error;
        std::filesystem::remove(packagePath_, error);
        // Packages are packed on Windows, which records no permission to
        // run: the new box gets it here, or it could not be started again.
        if (std::filesystem::is_regular_file(boxPath_, error)) {
            std::filesystem::permissions(boxPath_,
                                         std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_exec,
                                         std::filesystem::perm_options::add, error);
        }
    } else {
        ShowPlainMessage(services_.dialogs,
                         Utf8ToGbk(kUpdaterExtractFailed) + FromFsPath(packagePath_), kMbOk);
    }
    // The restarted box deletes this program, named by its argument.
    if (services_.startProcess) services_.startProcess({boxPath_.string(), ownPath_.string()});
    view_.ended = true;
}

bool UpdateSession::CloseRequested() {
    if (view_.ended) return true;
    if (AskUser(services_.dialogs, Utf8ToGbk(kUpdaterCloseQuestion),
                kMbOkCancel | kMbIconQuestion) != kButtonOk) {
        return false;
    }
    services_.transfer.Stop();
    view_.timerPeriodMs = 0;
    view_.ended = true;
    return true;
}

}  // namespace box
