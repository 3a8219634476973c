#include "app/DownloadQueue.h"

#include <system_error>

#include "app/RowBuilder.h"
#include "support/BoxFolder.h"

namespace box {

namespace {

const Text& QueuedCaption() {
    static const Text text = "正在排队..停止"_gbk;
    return text;
}

const Text& DownloadingCaption() {
    static const Text text = "正在下载..停止"_gbk;
    return text;
}

const Text& DownloadAllCaption() {
    static const Text text = "一键下载全部软件"_gbk;
    return text;
}

const Text& StopAllCaption() {
    static const Text text = "停止下载全部软件"_gbk;
    return text;
}

bool IsBusyCaption(const Text& caption) {
    return caption == QueuedCaption() || caption == DownloadingCaption();
}

}  // namespace

DownloadQueue::DownloadQueue(ProgramList& list, EventPump& pump, Dialogs& dialogs,
                             DownloadTransfer& transfer, std::filesystem::path boxFolder,
                             DownloadServices services)
    : list_(list),
      pump_(pump),
      dialogs_(dialogs),
      boxFolder_(std::move(boxFolder)),
      services_(std::move(services)),
      worker_(*this, transfer) {
    button_.caption = DownloadAllCaption();
    button_.visible = true;
}

void DownloadQueue::SetTimerPeriod(int ms) {
    timerPeriod_ = ms;
    if (onTimerChanged) onTimerChanged(ms);
}

void DownloadQueue::SetButton(const Text& caption, bool enabled) {
    button_.caption = caption;
    button_.enabled = enabled;
    if (onButtonChanged) onButtonChanged();
}

std::filesystem::path DownloadQueue::ArchivePath(int row) const {
    const ProgramRow* r = list_.find(row);
    if (!r) return {};
    return JoinPath(boxFolder_, r->entry.name + " v" + r->entry.latestVersion + ".rar");
}

void DownloadQueue::OnRowActionClick(int row) {
    if (services_.hideSearchResults) services_.hideSearchResults();
    ProgramRow* r = list_.find(row);
    if (!r) return;
    if (!IsBusyCaption(r->actionButton.caption)) {
        downloadAllMode_ = false;
        EnqueueDownload(row, false);
        return;
    }
    r->actionButton.caption = "停止中"_gbk;
    list_.Changed(row);
    RemoveFromQueue(row);
    r = list_.find(row);
    if (!r) return;
    // A stop request: the next tick ends a running download. The slot stays
    // held until then.
    r->idle = 1;
    r->actionButton.caption = r->actionCaption;
    if (downloadAllMode_) r->actionButton.enabled = false;
    list_.Changed(row);
    if (!downloadAllMode_) AskUser(dialogs_, "已终止下载!"_gbk);
}

void DownloadQueue::EnqueueDownload(int row, bool deferStart) {
    ProgramRow* r = list_.find(row);
    if (!r) return;
    r->actionButton.caption = QueuedCaption();
    r->idle = 1;
    r->entry.retryCount = 0;
    list_.Changed(row);
    queue_.push_back(row);
    if (runningCount_ < kDownloadLimit && !deferStart) StartNextDownload();
}

void DownloadQueue::ToggleDownloadAll() {
    downloadAllMode_ = true;
    if (button_.caption == DownloadAllCaption()) {
        queueOpen_ = true;
        SetButton(StopAllCaption(), true);
        QueueAllDownloads();
        return;
    }
    SetButton(button_.caption, false);
    queueOpen_ = false;
    for (int i = 1; i <= list_.size(); ++i) list_.at(i).actionButton.enabled = false;
    list_.Changed(0);
    // The running download ends at its next tick, which finds the queue
    // closed; that tick may run these same steps to their end inside this
    // wait.
    while (worker_.transferActive()) {
        // Without a running timer no tick would come to end it.
        if (timerPeriod_ == 0) worker_.StopTransfer();
        pump_.ProcessPendingEvents();
        WaitWithEvents(pump_, 100);
    }
    ResetDownloadQueue();
    SetButton(DownloadAllCaption(), true);
    queueOpen_ = true;
    downloadAllMode_ = false;
}

void DownloadQueue::QueueAllDownloads() {
    for (int i = 1; i <= list_.size() && queueOpen_; ++i) {
        const ProgramRow& r = list_.at(i);
        if (!IsBusyCaption(r.actionButton.caption) && r.entry.status != kUpToDate)
            EnqueueDownload(i, true);
    }
    if (queue_.empty()) {
        // Nothing to do: the stop-all steps give the button back at once.
        ToggleDownloadAll();
        return;
    }
    if (runningCount_ < kDownloadLimit) StartNextDownload();
}

void DownloadQueue::ReportStartFailure(int row, const Text& caption, const Text& message) {
    if (downloadAllMode_) {
        if (ProgramRow* r = list_.find(row)) {
            r->actionButton.caption = caption;
            list_.Changed(row);
        }
        WaitWithEvents(pump_, kCaptionShowMs);
    } else {
        AskUser(dialogs_, message);
    }
}

void DownloadQueue::StartNextDownload() {
    if (queue_.empty() || kDownloadLimit < 1 || !queueOpen_) {
        if (downloadAllMode_)
            ToggleDownloadAll();
        else
            ResetDownloadQueue();
        return;
    }
    const int row = queue_.front();
    queue_.pop_front();
    currentRow_ = row;
    if (runningCount_ < 1) runningCount_ = 0;
    ++runningCount_;
    slotHeld_ = true;
    const unsigned attempt = ++attempt_;

    ProgramRow* r = list_.find(row);
    if (!r) {
        // The tag named no row: there is no name to report.
        if (!downloadAllMode_) AskUser(dialogs_, "出现未知错误，无法下载"_gbk);
        FinishDownload(row, false);
        return;
    }
    r->idle = 0;
    const Text name = r->entry.name;
    if (r->entry.downloadUrl.empty()) {
        ReportStartFailure(
            row, "暂没有下载源!"_gbk,
            "软件《"_gbk + name +
                "》暂无下载源！\r\n请按住Ctrl键再点击软件名称进入软件主页查看。"_gbk);
        FinishDownload(row, false);
        return;
    }
    if (r->entry.openDownloadPage) {
        const Text page = r->entry.downloadUrl;
        if (downloadAllMode_) {
            ReportStartFailure(row, "手动下载更新!"_gbk, {});
            if (services_.openPage) services_.openPage(page);
        } else {
            const int answer = AskUser(
                dialogs_,
                "软件《"_gbk + name +
                    "》暂不能自动更新，是否跳到下载页面手动更新？\r\n\r\n进入下载页面后，你可以下载该软件的最新版本压缩包到汀芷软件盒子所在目录下，然后右键单击该压缩包文件，选择解压到当前文件夹中即可覆盖旧版本实现升级"_gbk,
                kMbYesNo);
            if (answer == kButtonYes && services_.openPage) services_.openPage(page);
        }
        FinishDownload(row, false);
        return;
    }

    r->actionButton.caption = DownloadingCaption();
    r->progressControl.progress = 0;
    r->hintControl.caption = "下载初始化.."_gbk;
    r->progressControl.visible = true;
    r->hintControl.visible = true;
    list_.Changed(row);
    pump_.ProcessPendingEvents();
    if (attempt != attempt_ || !slotHeld_) return;  // a stop-all ended it meanwhile

    r = list_.find(row);
    Text source = r ? r->entry.downloadUrl : Text();
    const Text url = services_.resolve ? services_.resolve(source) : source;
    if (attempt != attempt_ || !slotHeld_) return;
    r = list_.find(row);
    if (!r) {
        FinishDownload(row, false);
        return;
    }
    r->entry.downloadUrl = source;
    if (!url.empty()) r->entry.downloadUrl = url;
    if (url.empty() && !downloadAllMode_) {
        ShowPlainMessage(
            dialogs_,
            "解析下载地址失败！你可以重试！\r\n或联系汀芷确认这款软件的下载状态："_gbk + name,
            kMbOk | kMbIconWarning);
        if (attempt != attempt_ || !slotHeld_) return;
    }
    r = list_.find(row);
    if (!r || r->entry.downloadUrl.empty() || url.empty()) {
        FinishDownload(row, false);
        return;
    }
    SetTimerPeriod(kDownloadPeriodMs);
    worker_.StartTransfer(r->entry.downloadUrl, ArchivePath(row));
}

void DownloadQueue::ReleaseSlot() {
    if (slotHeld_) {
        --runningCount_;
        slotHeld_ = false;
    }
    if (runningCount_ < 0) runningCount_ = 0;
}

void DownloadQueue::FinishDownload(int row, bool stopped) {
    RefreshRowStatus(list_, row, boxFolder_);
    if (ProgramRow* r = list_.find(row); r && downloadAllMode_ && !queue_.empty()) {
        r->actionButton.enabled = false;
        list_.Changed(row);
    }
    if (row == currentRow_) {
        SetTimerPeriod(0);
        worker_.StopTransfer();
        while (worker_.transferActive()) WaitWithEvents(pump_, 100);
        // An archive whose extraction failed stays for the user to unpack.
        if (!worker_.TakeKeepArchive()) DeleteFileWithRetry(worker_.transferFileName());
        if (ProgramRow* r = list_.find(row)) {
            r->progressControl.visible = false;
            r->hintControl.visible = false;
            r->idle = 1;
            list_.Changed(row);
        }
        ReleaseSlot();
    }
    if (runningCount_ < 1) runningCount_ = 0;
    if (runningCount_ >= kDownloadLimit) return;
    if (stopped) WaitWithEvents(pump_, 500);
    StartNextDownload();
}

void DownloadQueue::ResetDownloadQueue() {
    worker_.StopTransfer();
    ++attempt_;
    if (slotHeld_) {
        // A download that no tick will finish any more: its row and its
        // partial file are tidied here.
        slotHeld_ = false;
        if (ProgramRow* r = list_.find(currentRow_)) {
            r->progressControl.visible = false;
            r->hintControl.visible = false;
            r->idle = 1;
            list_.Changed(currentRow_);
        }
        if (!worker_.TakeKeepArchive()) {
            const std::filesystem::path partial = worker_.transferFileName();
            std::error_code ec;
            std::filesystem::remove(partial, ec);
        }
    }
    queue_.clear();
    runningCount_ = 0;
    SetTimerPeriod(0);
    if (downloadAllMode_) {
        for (int i = 1; i <= list_.size(); ++i) {
            list_.at(i).actionButton.enabled = true;
            RefreshRowStatus(list_, i, boxFolder_);
        }
    }
}

void DownloadQueue::RemoveFromQueue(int row) {
    for (std::size_t i = 0; i < queue_.size(); ++i) {
        pump_.ProcessPendingEvents();
        if (i >= queue_.size()) break;
        if (queue_[i] == row) {
            queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

void DownloadQueue::DeleteFileWithRetry(const std::filesystem::path& path) {
    if (path.empty()) return;
    for (int attempt = 1; attempt <= 10; ++attempt) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (!std::filesystem::exists(path, ec)) return;
        if (attempt == 10) return;
        WaitWithEvents(pump_, 100);
        pump_.ProcessPendingEvents();
    }
}

}  // namespace box
