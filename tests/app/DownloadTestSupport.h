#pragma once
// A box folder with rows, a queue over a scripted transfer, and fakes for
// resolving and extracting, for the download queue's and worker's tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/DownloadQueue.h"
#include "app/RowBuilder.h"
#include "catalog/InstalledProgram.h"
#include "download/SaveName.h"
#include "support/BoxFolder.h"

namespace box::test {

// A transfer whose server the test plays: Begin, Receive, Finish.
class FakeTransfer : public DownloadTransfer {
public:
    struct StartCall {
        Text url;
        std::filesystem::path path;
    };
    std::vector<StartCall> starts;
    int stops = 0;
    TransferCallback callback;
    TransferTaskId current = 0;
    bool began = false;
    bool ended = false;
    bool cutShort = false;  // a body of unknown size that ends early
    std::int64_t received = 0;
    std::int64_t sinceLast = 0;
    std::filesystem::path file;

    TransferTaskId Start(const Text& url, const std::filesystem::path& path,
                         TransferCallback cb) override {
        starts.push_back({url, path});
        callback = std::move(cb);
        began = ended = false;
        received = sinceLast = 0;
        file = path;
        return current = starts.size();
    }
    void Stop() override {
        ++stops;
        if (began && !ended) Finish();
    }
    std::int64_t Received() override { return received; }
    std::int64_t SinceLast() override { return std::exchange(sinceLast, 0); }
    std::int64_t ReceivedInState() override { return received; }
    std::filesystem::path FileName() override { return file; }
    TransferTaskId CurrentTask() override { return current; }
    bool Completed() override { return ended && !cutShort; }

    // The answer is accepted: the file appears, under another name when the
    // wanted one is taken (as the engine does), and the size is announced.
    void Begin(std::int64_t total) {
        began = true;
        std::filesystem::path used;
        const int fd = CreateSaveFile(file, used);
        if (fd >= 0) {
            EXPECT_EQ(::write(fd, "partial", 7), 7);
            ::close(fd);
            file = used;
        }
        callback(current, kTransferStarted, total);
    }
    void Receive(std::int64_t n) {
        received += n;
        sinceLast += n;
    }
    void Finish() {
        ended = true;
        callback(current, kTransferFinished, received);
    }
    void Complete(std::int64_t total) {
        Begin(total);
        Receive(total);
        Finish();
    }
};

struct DownloadEnv {
    TempDir dir;
    ScriptedEventPump pump;
    ScriptedDialogs dialogs;
    ProgramList list;
    FakeTransfer fake;
    DownloadTransfer* transfer = &fake;
    std::vector<Text> resolved;                  // sources the resolver was given
    std::function<Text(const Text&)> resolveTo;  // default: the source itself
    std::vector<std::filesystem::path> extracted;
    std::function<bool(const std::filesystem::path&)> extractResult;  // default: true
    std::vector<Text> opened;
    std::vector<std::string> log;  // refreshes and starts of 360 downloads, in order
    std::unique_ptr<DownloadQueue> queue;
    long long nextTickAt = 0;
    bool inTick = false;

    explicit DownloadEnv(DownloadTransfer* other = nullptr) {
        if (other) transfer = other;
        DownloadServices services;
        services.resolve = [this](Text& source) {
            resolved.push_back(source);
            return resolveTo ? resolveTo(source) : source;
        };
        services.extract = [this](const std::filesystem::path& archive) {
            extracted.push_back(archive);
            return extractResult ? extractResult(archive) : true;
        };
        services.openPage = [this](const Text& url) { opened.push_back(url); };
        services.shareHost360 = "yunpan.example";
        services.redirectLocation = [this](const Text& url) {
            log.push_back("redirect " + url);
            return "http://dl.yunpan.example/fresh" + std::to_string(log.size());
        };
        services.touchShareUrl = [this](const Text& url, int seconds) {
            log.push_back("touch " + url + " " + std::to_string(seconds));
        };
        queue = std::make_unique<DownloadQueue>(list, pump, dialogs, *transfer, dir.path(),
                                                std::move(services));
        // The window's timer: ticks while events run, once a period of the
        // pump's clock has passed; a tick does not interrupt itself.
        queue->onTimerChanged = [this](int period) {
            if (period > 0) nextTickAt = pump.sleptMs + period;
        };
        pump.onEveryPump = [this] {
            if (inTick || queue->timerPeriod() == 0 || pump.sleptMs < nextTickAt) return;
            nextTickAt = pump.sleptMs + queue->timerPeriod();
            Tick();
        };
    }

    void Tick() {
        inTick = true;
        queue->OnProgressTimer();
        inTick = false;
    }

    // A row for a program; installed with that FileVersion unless "".
    int add(const char* name, const char* latest, const Text& url,
            const std::string& installed = "") {
        if (!installed.empty()) {
            EXPECT_TRUE(InstallProgram(dir.path(), name, ProgramLayout(installed)));
        }
        const int row = list.size() + 1;
        list.resize(row);
        CatalogEntry entry;
        entry.name = G(name);
        entry.latestVersion = latest;
        entry.downloadUrl = url;
        RefreshEntryStatus(entry, dir.path());
        BuildRow(list, row, entry, dir.path());
        return row;
    }
    ProgramRow& row(int i) { return list.at(i); }
    std::filesystem::path archive(const char* fileName) const { return dir.path() / fileName; }
    std::vector<Text> shownTexts() const {
        std::vector<Text> out;
        for (const auto& s : dialogs.shown) out.push_back(s.text);
        return out;
    }
};

inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::seconds guard = std::chrono::seconds(30)) {
    const auto until = std::chrono::steady_clock::now() + guard;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace box::test
