#include "app/StartUp.h"

#include <filesystem>
#include <system_error>

#include "platform/ShellLink.h"
#include "support/BoxFolder.h"

namespace box {

namespace {

bool SameFolder(const Text& a, const Text& b) {
    if (a == b) return true;
    std::error_code ec;
    return std::filesystem::equivalent(FsPath(a), FsPath(b), ec) && !ec;
}

}  // namespace

BoxProcess::BoxProcess(Text boxFolder, Text executableName, EventPump& pump, Dialogs& dialogs)
    : settings(std::make_unique<SettingsStore>(pump, dialogs)),
      downloadRequest(std::make_unique<HttpRequest>(pump)),
      catalogRequest(std::make_unique<HttpRequest>(pump)),
      boxFolder_(std::move(boxFolder)),
      executableName_(std::move(executableName)) {}

BoxProcess::~BoxProcess() {
    ExitCleanUp();
}

StartUpReport BoxProcess::Start(const std::vector<Text>& arguments) {
    StartUpReport report;
    ReadCommandLine(arguments);
    report.offlineMode = offlineMode;
    report.pendingDeletePath = pendingDeletePath;
    report.shortcut = offlineMode ? ShortcutRepair::kSkipped : RepairOfflineShortcut();
    report.settingsWritable = OpenSettings();
    return report;
}

void BoxProcess::ReadCommandLine(const std::vector<Text>& arguments) {
    offlineMode = false;
    pendingDeletePath.clear();
    if (arguments.empty()) return;
    if (arguments.front() == kOfflineArgument) {
        offlineMode = true;
    } else {
        pendingDeletePath = arguments.front();
    }
}

ShortcutRepair BoxProcess::RepairOfflineShortcut() {
    Text lnk = offlineShortcutPath();
    Text exe = executablePath();
    if (ReadShortcutTarget(lnk) == exe) return ShortcutRepair::kKept;
    ShortcutOptions options;
    options.arguments = Text(kOfflineArgument);
    return CreateShortcutFile(lnk, exe, options) ? ShortcutRepair::kRewritten
                                                 : ShortcutRepair::kFailed;
}

bool BoxProcess::OpenSettings() {
    return settings->open(settingsPath(), SettingsStore::kFileMode);
}

// The box is started with a path to delete only by its update program, which
// passes its own path. Anything else on the command line (a file dropped on
// the box, say) is not the box's to delete.
bool BoxProcess::IsUpdateProgram(const Text& path) const {
    return FileNamePart(path) == kUpdateProgramName && SameFolder(FolderPart(path), boxFolder_);
}

PendingDeletion BoxProcess::PendingDeletionTick() {
    std::error_code ec;
    bool present = !pendingDeletePath.empty() &&
                   std::filesystem::symlink_status(FsPath(pendingDeletePath), ec).type() !=
                       std::filesystem::file_type::not_found &&
                   !ec;
    if (!present) {
        pendingDeletePath.clear();
        return PendingDeletion::kNothing;
    }
    if (!IsUpdateProgram(pendingDeletePath)) {
        pendingDeletePath.clear();
        return PendingDeletion::kRefused;
    }
    // While the update program is still running its file may not go away yet.
    if (!std::filesystem::remove(FsPath(pendingDeletePath), ec) || ec) {
        return PendingDeletion::kRetry;
    }
    pendingDeletePath.clear();
    return PendingDeletion::kDeleted;
}

void BoxProcess::ExitCleanUp() {
    if (cleanedUp_) return;
    cleanedUp_ = true;
    settings.reset();  // closes the settings file
    downloadRequest.reset();
    catalogRequest.reset();
    programList.clear();
    pendingDeletePath.clear();
}

Text BoxProcess::executablePath() const {
    return JoinPath(boxFolder_, executableName_);
}

Text BoxProcess::offlineShortcutPath() const {
    static const Text name = "离线模式启动盒子.lnk"_gbk;
    return JoinPath(boxFolder_, name);
}

Text BoxProcess::settingsPath() const {
    static const Text name = "汀芷·软件盒子.ini"_gbk;
    return JoinPath(boxFolder_, name);
}

std::vector<Text> CommandLineArguments(int argc, const char* const* argv) {
    std::vector<Text> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(Utf8ToGbk(argv[i]));
    return arguments;
}

}  // namespace box
