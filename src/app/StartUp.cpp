#include "app/StartUp.h"

#include <filesystem>
#include <system_error>

#include "platform/ShellLink.h"
#include "support/BoxFolder.h"

namespace box {

namespace {

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (a == b) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

BoxProcess::BoxProcess(BoxConfig config, EventPump& pump, Dialogs& dialogs)
    : settings(std::make_unique<SettingsStore>(pump, dialogs)),
      downloadRequest(std::make_unique<HttpRequest>(pump, config.net)),
      catalogRequest(std::make_unique<HttpRequest>(pump, config.net)),
      config_(std::move(config)) {
    settings->setRegistryFile(config_.registryFile);
}

BoxProcess::BoxProcess(std::filesystem::path boxFolder, std::filesystem::path executableName,
                       EventPump& pump, Dialogs& dialogs)
    : BoxProcess(
          BoxConfig{.boxFolder = std::move(boxFolder), .executableName = std::move(executableName)},
          pump, dialogs) {}

BoxProcess::~BoxProcess() {
    ExitCleanUp();
}

StartUpReport BoxProcess::Start(const std::vector<std::string>& arguments) {
    StartUpReport report;
    ReadCommandLine(arguments);
    report.offlineMode = offlineMode;
    report.pendingDeletePath = pendingDeletePath;
    report.shortcut = offlineMode ? ShortcutRepair::kSkipped : RepairOfflineShortcut();
    report.settingsWritable = OpenSettings();
    return report;
}

void BoxProcess::ReadCommandLine(const std::vector<std::string>& arguments) {
    offlineMode = false;
    pendingDeletePath.clear();
    if (arguments.empty()) return;
    if (arguments.front() == kOfflineArgument) {
        offlineMode = true;
    } else {
        // A "\" separates folders in the box's paths, here too.
        std::string path = arguments.front();
        for (char& c : path) {
            if (c == '\\') c = '/';
        }
        pendingDeletePath = std::filesystem::path(std::move(path));
    }
}

ShortcutRepair BoxProcess::RepairOfflineShortcut() {
    const std::filesystem::path lnk = offlineShortcutPath();
    // A shortcut holds its target as GBK text, joined the box's way: the
    // same text at every start, so a shortcut once written is kept.
    const Text exe = JoinPath(FromFsPath(config_.boxFolder), FromFsPath(config_.executableName));
    if (ReadShortcutTarget(lnk) == exe) return ShortcutRepair::kKept;
    ShortcutOptions options;
    options.arguments = Text(kOfflineArgument);
    return CreateShortcutFile(lnk, exe, options) ? ShortcutRepair::kRewritten
                                                 : ShortcutRepair::kFailed;
}

bool BoxProcess::OpenSettings() {
    return settings->openFile(settingsPath(), SettingsStore::kFileMode);
}

// The box is started with a path to delete only by its update program, which
// passes its own path. Anything else on the command line (a file dropped on
// the box, say) is not the box's to delete.
bool BoxProcess::IsUpdateProgram(const std::filesystem::path& path) const {
    return path.filename() == kUpdateProgramName &&
           SameFolder(path.parent_path(), config_.boxFolder);
}

PendingDeletion BoxProcess::PendingDeletionTick() {
    std::error_code ec;
    bool present = !pendingDeletePath.empty() &&
                   std::filesystem::symlink_status(pendingDeletePath, ec).type() !=
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
    if (!std::filesystem::remove(pendingDeletePath, ec) || ec) {
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

std::filesystem::path BoxProcess::executablePath() const {
    return std::filesystem::path(config_.boxFolder.native() + "/" +
                                 config_.executableName.native());
}

std::filesystem::path BoxProcess::offlineShortcutPath() const {
    static const Text name = "离线模式启动盒子.lnk"_gbk;
    return JoinPath(config_.boxFolder, name);
}

std::filesystem::path BoxProcess::settingsPath() const {
    static const Text name = "汀芷·软件盒子.ini"_gbk;
    return JoinPath(config_.boxFolder, name);
}

std::vector<std::string> CommandLineArguments(int argc, const char* const* argv) {
    if (argc < 2) return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace box
