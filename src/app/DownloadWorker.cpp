#include "app/DownloadWorker.h"

#include <algorithm>
#include <cmath>
#include <system_error>

#include "app/DownloadQueue.h"
#include "download/FormatSize.h"
#include "support/BoxFolder.h"

namespace box {

TransferTaskId EngineTransfer::Start(const Text& url, const std::filesystem::path& path,
                                     TransferCallback callback) {
    TaskParam param;
    param.url = url;
    param.savePath = path;
    param.eventCallback = std::move(callback);
    param.receiveTimeout = receiveTimeoutMs_;
    return engine_.Start(param);
}

std::int64_t EngineTransfer::ReceivedInState() {
    state_ = engine_.Snapshot();
    return engine_.Query(state_, 2, 0);
}

void DownloadWorker::StartTransfer(const Text& url, const std::filesystem::path& path) {
    succeeded_.store(false, std::memory_order_release);
    {
        // No file is written before the started event: until then the file
        // of an earlier attempt (perhaps an archive kept for the user) is not
        // this attempt's to delete.
        std::lock_guard lock(fileNameMutex_);
        fileName_.clear();
    }
    keepArchive_ = false;
    transfer_.Start(url, path, [this](TransferTaskId task, int kind, std::int64_t data) {
        return OnTransferEvent(task, kind, data);
    });
}

void DownloadWorker::StopTransfer() {
    transfer_.Stop();
}

std::int64_t DownloadWorker::ReceivedBytes() {
    if (transferActive()) return transfer_.Received();
    return transfer_.ReceivedInState();
}

std::filesystem::path DownloadWorker::transferFileName() const {
    std::lock_guard lock(fileNameMutex_);
    return fileName_;
}

int DownloadWorker::OnTransferEvent(TransferTaskId task, int kind, std::int64_t data) {
    // A task that was stopped and replaced may still be winding down.
    if (task != transfer_.CurrentTask()) return 0;
    if (kind == kTransferStarted) {
        totalSize_.store(data, std::memory_order_release);
        {
            std::lock_guard lock(fileNameMutex_);
            fileName_ = transfer_.FileName();
        }
        active_.store(true, std::memory_order_release);
    } else if (kind == kTransferFinished) {
        const std::int64_t total = totalSize_.load(std::memory_order_acquire);
        // A source that announced no size counts as complete when its body
        // ended properly (a cut chunked body does not); the extraction then
        // judges the archive.
        succeeded_.store(total > 0 ? data == total : data > 0 && transfer_.Completed(),
                         std::memory_order_release);
        finished_.fetch_add(1, std::memory_order_acq_rel);
        active_.store(false, std::memory_order_release);
    }
    return 0;
}

void DownloadWorker::OnProgressTimer() {
    // A tick queued before the timer was stopped.
    if (queue_.timerPeriod() == 0) return;
    ProgramList& list = queue_.list();
    const int row = queue_.currentRow();
    ProgramRow* r = list.find(row);
    if (!r) {
        queue_.FinishDownload(row, true);
        return;
    }
    if (transferActive()) {
        const std::int64_t total = transferTotalSize();
        const std::int64_t received = ReceivedBytes();
        const std::int64_t sinceLast = BytesSinceLastQuery();
        // An unknown size shows no progress rather than a division by zero.
        int position = 0;
        if (total > 0) {
            const double percent = std::trunc(static_cast<double>(received) / total * 100.0);
            position = static_cast<int>(std::clamp(percent, 0.0, 100.0));
        }
        r->progressControl.progress = position;
        r->hintControl.caption = FormatSize(static_cast<double>(total)) + ":" +
                                 FormatSize(static_cast<double>(received)) + "  " +
                                 FormatSize(static_cast<double>(sinceLast)) + "/秒"_gbk;
        list.Changed(row);
        if (r->idle != 0 || !queue_.queueOpen()) queue_.FinishDownload(row, true);
        return;
    }

    queue_.SetTimerPeriod(0);
    r->progressControl.progress = 100;
    list.Changed(row);
    if (transferSucceeded())
        Extract(row);
    else
        RetryOrGiveUp(row);
}

void DownloadWorker::Extract(int row) {
    ProgramList& list = queue_.list();
    if (ProgramRow* r = list.find(row)) {
        r->hintControl.caption = "已下载完成，正在解压.."_gbk;
        list.Changed(row);
    }
    std::filesystem::path archive = queue_.ArchivePath(row);
    const std::filesystem::path written = transferFileName();
    std::error_code ec;
    if (!written.empty() && written != archive && std::filesystem::exists(written, ec))
        archive = written;
    queue_.pump().ProcessPendingEvents();
    const DownloadServices& services = queue_.services();
    if (services.extract && services.extract(archive)) {
        queue_.DeleteFileWithRetry(archive);
        if (services.rebuildSearchImages) services.rebuildSearchImages();
    } else {
        keepArchive_ = true;
        if (!queue_.downloadAllMode()) {
            AskUser(
                queue_.dialogs(),
                "解压失败！请检查本软件目录下的unrar.dll是否被拦截！如被拦截请添加信任即可。\r\n\r\n1、你可以重试下载 2、可以手动解压："_gbk +
                    FromFsPath(archive));
        }
    }
    queue_.FinishDownload(row, false);
}

void DownloadWorker::RetryOrGiveUp(int row) {
    ProgramList& list = queue_.list();
    StopTransfer();
    queue_.DeleteFileWithRetry(transferFileName());
    ProgramRow* r = list.find(row);
    if (!r) {
        queue_.FinishDownload(row, true);
        return;
    }
    // A download that was stopped while nothing was running is not tried again.
    if (r->idle != 0 || !queue_.queueOpen()) {
        queue_.FinishDownload(row, true);
        return;
    }
    const int retry = ++r->entry.retryCount;
    const DownloadServices& services = queue_.services();
    const bool share360 =
        !services.shareHost360.empty() &&
        AsciiLower(r->entry.downloadUrl).find(AsciiLower(services.shareHost360)) != Text::npos;
    if (retry <= kMaxRetries) {
        r->hintControl.caption = "下载失败，正在重试..."_gbk + ToText(retry);
        list.Changed(row);
        if (share360) {
            // The share's direct address expires; ask it for a fresh one.
            const Text url = r->entry.downloadUrl;
            const Text location =
                services.redirectLocation ? services.redirectLocation(url) : Text();
            if (!location.empty()) r->entry.downloadUrl = location;
            queue_.pump().ProcessPendingEvents();
            r = list.find(row);
            if (!r) {
                queue_.FinishDownload(row, true);
                return;
            }
            if (services.touchShareUrl) services.touchShareUrl(r->entry.downloadUrl, retry + 1);
            r = list.find(row);
            if (!r) {
                queue_.FinishDownload(row, true);
                return;
            }
        }
        queue_.SetTimerPeriod(DownloadQueue::kDownloadPeriodMs);
        StartTransfer(r->entry.downloadUrl, queue_.ArchivePath(row));
        return;
    }
    if (share360 && services.touchShareUrl) services.touchShareUrl(r->entry.downloadUrl, retry + 1);
    if (!queue_.downloadAllMode()) {
        AskUser(
            queue_.dialogs(),
            "下载失败！请检查本软件是否被拦截访问网络，如被拦截请添加信任即可，或重试下载，或咨询汀芷！"_gbk);
    }
    queue_.FinishDownload(row, false);
}

}  // namespace box
