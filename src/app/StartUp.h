#pragma once
// The box's process: the objects that live as long as it does, the command
// line, the self-repairing offline shortcut, the settings file, the deletion
// of the update program left behind after a self-update, and the clean-up at
// exit. No window here: the window is loaded after Start() and owns the
// timer that drives PendingDeletionTick().

#include <memory>
#include <vector>

#include "catalog/ProgramRow.h"
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
    Text pendingDeletePath;
    ShortcutRepair shortcut = ShortcutRepair::kSkipped;
    bool settingsWritable = false;
};

class BoxProcess {
public:
    static constexpr int kPendingDeletionPeriodMs = 1000;
    static constexpr const char* kOfflineArgument = "lxms";
    static constexpr const char* kUpdateProgramName = "upbox.exe";

    // boxFolder: the executable's folder without a trailing separator.
    BoxProcess(Text boxFolder, Text executableName, EventPump& pump, Dialogs& dialogs);
    ~BoxProcess();
    BoxProcess(const BoxProcess&) = delete;
    BoxProcess& operator=(const BoxProcess&) = delete;

    // Everything before the window: the command line (arguments after the
    // program path), the offline shortcut unless offline, the settings file.
    StartUpReport Start(const std::vector<Text>& arguments);

    void ReadCommandLine(const std::vector<Text>& arguments);
    ShortcutRepair RepairOfflineShortcut();
    bool OpenSettings();

    // One tick of the pending-deletion timer (every kPendingDeletionPeriodMs).
    PendingDeletion PendingDeletionTick();

    // Releases the process-wide objects in their fixed order. Runs at most
    // once; the destructor calls it too.
    void ExitCleanUp();

    Text executablePath() const;
    Text offlineShortcutPath() const;
    Text settingsPath() const;
    const Text& boxFolder() const { return boxFolder_; }

    bool offlineMode = false;
    Text pendingDeletePath;

    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<HttpRequest> downloadRequest;  // downloads and share links
    std::unique_ptr<HttpRequest> catalogRequest;   // the catalog fetch
    ProgramList programList;

private:
    bool IsUpdateProgram(const Text& path) const;

    Text boxFolder_;
    Text executableName_;
    bool cleanedUp_ = false;
};

// The arguments after the program path, as box texts (GBK).
std::vector<Text> CommandLineArguments(int argc, const char* const* argv);

}  // namespace box
