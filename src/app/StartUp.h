#pragma once
// The box's process: the objects that live as long as it does, the command
// line, the self-repairing offline shortcut, the settings file, the deletion
// of the update program left behind after a self-update, and the clean-up at
// exit. No window here: the window is loaded after Start() and owns the
// timer that drives PendingDeletionTick().

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramRow.h"
#include "net/HttpRequest.h"
#include "settings/SettingsStore.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

// What happened to the offline shortcut at start-up.
enum class ShortcutRepair { kSkipped, kKept, kRewritten, kFailed };

// What one tick of the pending-deletion timer did; the timer goes on only
// after kRetry.
enum class PendingDeletion {
    kNothing,  // no path, or nothing at that path
    kDeleted,
    kRetry,    // still there and not deletable yet
    kRefused,  // not the update program in the box folder: left alone
};

struct StartUpReport {
    bool offlineMode = false;
    std::filesystem::path pendingDeletePath;
    ShortcutRepair shortcut = ShortcutRepair::kSkipped;
    bool settingsWritable = false;
};

class BoxProcess {
public:
    static constexpr int kPendingDeletionPeriodMs = 1000;
    static constexpr const char* kOfflineArgument = "lxms";
    static constexpr const char* kUpdateProgramName = "upbox.exe";

    // boxFolder: the executable's folder, and its file name, exactly as the
    // file system has them (they may hold characters that GBK lacks).
    BoxProcess(std::filesystem::path boxFolder, std::filesystem::path executableName,
               EventPump& pump, Dialogs& dialogs);
    // GBK text would reach the file system as if it were UTF-8.
    BoxProcess(const Text&, const Text&, EventPump&, Dialogs&) = delete;
    ~BoxProcess();
    BoxProcess(const BoxProcess&) = delete;
    BoxProcess& operator=(const BoxProcess&) = delete;

    // Everything before the window: the command line (arguments after the
    // program path, as CommandLineArguments gives them), the offline shortcut
    // unless offline, the settings file.
    StartUpReport Start(const std::vector<std::string>& arguments);

    void ReadCommandLine(const std::vector<std::string>& arguments);
    ShortcutRepair RepairOfflineShortcut();
    bool OpenSettings();

    // One tick of the pending-deletion timer (every kPendingDeletionPeriodMs).
    PendingDeletion PendingDeletionTick();

    // Releases the process-wide objects in their fixed order. Runs at most
    // once; the destructor calls it too.
    void ExitCleanUp();

    std::filesystem::path executablePath() const;
    std::filesystem::path offlineShortcutPath() const;
    std::filesystem::path settingsPath() const;
    const std::filesystem::path& boxFolder() const { return boxFolder_; }

    bool offlineMode = false;
    std::filesystem::path pendingDeletePath;

    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<HttpRequest> downloadRequest;  // downloads and share links
    std::unique_ptr<HttpRequest> catalogRequest;   // the catalog fetch
    ProgramList programList;

private:
    bool IsUpdateProgram(const std::filesystem::path& path) const;

    std::filesystem::path boxFolder_;
    std::filesystem::path executableName_;
    bool cleanedUp_ = false;
};

// The arguments after the program path, as the system gives them (UTF-8, not
// the box's GBK): a path among them must reach the file system unchanged.
std::vector<std::string> CommandLineArguments(int argc, const char* const* argv);

}  // namespace box
