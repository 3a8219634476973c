#pragma once
// Which program is downloaded when: the rows' download clicks, the
// download-all command, and one download at a time taken from a queue.
//
// Everything here runs on the window's thread and is re-entered through the
// event pump: waits, resolving a share link and deleting files let clicks and
// timer ticks run in the middle of an operation. Rows are therefore looked up
// again after every wait, and an attempt that a stop-all ended meanwhile is
// not carried on.

#include <deque>
#include <filesystem>
#include <functional>

#include "app/DownloadWorker.h"
#include "app/ProgramRow.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

struct DownloadServices {
    // Download source -> direct URL, "" when it cannot be resolved. It may
    // rewrite the source (a short share link becomes the long one); the
    // entry keeps the rewritten text.
    std::function<Text(Text& source)> resolve;
    // Unpacks the archive into its own folder; true on success.
    std::function<bool(const std::filesystem::path& archive)> extract;
    // Opens a download page in the desktop's browser.
    std::function<void(const Text& url)> openPage;
    // The 360 share host (compared ignoring case); "" turns the refresh off.
    Text shareHost360;
    // Before a retry of a 360 download: the Location its URL redirects to
    // ("" keeps the URL), then a request for the URL whose answer is thrown
    // away, with a time-out in seconds.
    std::function<Text(const Text& url)> redirectLocation;
    std::function<void(const Text& url, int timeoutSeconds)> touchShareUrl;
    std::function<void()> hideSearchResults;
    std::function<void()> rebuildSearchImages;
};

class DownloadQueue {
public:
    static constexpr int kDownloadPeriodMs = 1000;
    static constexpr int kDownloadLimit = 1;
    static constexpr int kCaptionShowMs = 1000;

    DownloadQueue(ProgramList& list, EventPump& pump, Dialogs& dialogs, DownloadTransfer& transfer,
                  std::filesystem::path boxFolder, DownloadServices services);

    // A row's action button: queue the program, or stop its download.
    void OnRowActionClick(int row);
    // The download-all button: queue every program not up to date, or stop all.
    void ToggleDownloadAll();

    void EnqueueDownload(int row, bool deferStart);
    void QueueAllDownloads();
    void StartNextDownload();
    void FinishDownload(int row, bool stopped);
    void ResetDownloadQueue();
    void RemoveFromQueue(int row);
    // Up to 10 tries, 100 ms apart with events running; silent on failure.
    void DeleteFileWithRetry(const std::filesystem::path& path);

    // The tick of the download timer (时钟下载).
    void OnProgressTimer() { worker_.OnProgressTimer(); }

    // Box folder / name + " v" + latest version + ".rar".
    std::filesystem::path ArchivePath(int row) const;

    // The download timer's period in ms; 0: stopped. The view runs its timer
    // by it; every change (a restart included) calls onTimerChanged.
    int timerPeriod() const { return timerPeriod_; }
    void SetTimerPeriod(int ms);
    std::function<void(int period)> onTimerChanged;

    // The download-all button (按钮一键下载): its caption is the command's
    // state. Every change calls onButtonChanged.
    const ControlState& downloadAllButton() const { return button_; }
    std::function<void()> onButtonChanged;

    const std::deque<int>& queue() const { return queue_; }
    int runningCount() const { return runningCount_; }
    int currentRow() const { return currentRow_; }
    bool downloadAllMode() const { return downloadAllMode_; }
    bool queueOpen() const { return queueOpen_; }
    bool downloadRunning() const { return timerPeriod_ != 0; }

    DownloadWorker& worker() { return worker_; }
    ProgramList& list() { return list_; }
    EventPump& pump() { return pump_; }
    Dialogs& dialogs() { return dialogs_; }
    const DownloadServices& services() const { return services_; }
    const std::filesystem::path& boxFolder() const { return boxFolder_; }

private:
    void SetButton(const Text& caption, bool enabled);
    // Shows a start failure: a caption for a while in download-all mode, a
    // message box otherwise.
    void ReportStartFailure(int row, const Text& caption, const Text& message);
    void ReleaseSlot();

    ProgramList& list_;
    EventPump& pump_;
    Dialogs& dialogs_;
    std::filesystem::path boxFolder_;
    DownloadServices services_;
    DownloadWorker worker_;

    std::deque<int> queue_;
    int runningCount_ = 0;
    int currentRow_ = 0;
    bool downloadAllMode_ = false;
    bool queueOpen_ = true;
    int timerPeriod_ = 0;
    ControlState button_;
    // The current download holds the slot: set when it is taken, cleared
    // when it is given back, so each download gives it back exactly once
    // whatever the order of stop click, finish and reset.
    bool slotHeld_ = false;
    // Counts starts and resets; a start that waited for events sees whether
    // a reset ended it meanwhile.
    unsigned attempt_ = 0;
};

}  // namespace box
