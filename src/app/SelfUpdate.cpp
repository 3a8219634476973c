#include "app/SelfUpdate.h"

#include <system_error>

#include "app/StartUp.h"
#include "catalog/VersionInfo.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {

namespace {

bool WriteUpdateProgram(const std::filesystem::path& file, std::string_view image) {
    if (image.empty() || !WriteFileBytes(file, image)) return false;
    std::error_code error;
    std::filesystem::permissions(file,
                                 std::filesystem::perms::owner_exec |
                                     std::filesystem::perms::group_exec |
                                     std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add, error);
    return !error;
}

}  // namespace

std::vector<std::string> UpdateProgramCommand(const std::filesystem::path& updateProgram,
                                              const Text& packageAddress,
                                              const std::filesystem::path& boxExecutable,
                                              const Text& packageSha256) {
    std::vector<std::string> argv{updateProgram.string(), packageAddress, boxExecutable.string()};
    if (!packageSha256.empty()) argv.push_back(packageSha256);
    return argv;
}

bool CheckSelfUpdate(const Text& latestVersion, Text& packageAddress, bool allowChoice,
                     const SelfUpdateSetup& setup, SelfUpdateServices& services) {
    const std::filesystem::path executable = setup.boxFolder / setup.executableName;
    const Text own = ReadVersionInfo(executable).fileVersion;
    if (CompareVersions(own, latestVersion) != kUpdateAvailable) return false;

    const Text text = "《汀芷·软件盒子》已经有新版本："_gbk + latestVersion + "，"_gbk +
                      Utf8ToGbk(allowChoice ? kSelfUpdateRecommended : kSelfUpdateMandatory) +
                      "。点击确定后将进入自动更新。"_gbk;
    const unsigned buttons = allowChoice ? kMbOkCancel : kMbOk;
    if (ShowPlainMessage(services.dialogs, text, buttons | kMbIconInformation) == kButtonCancel) {
        return false;
    }

    const std::filesystem::path updateProgram = setup.boxFolder / BoxProcess::kUpdateProgramName;
    if (!WriteUpdateProgram(updateProgram, services.updateProgram)) {
        ShowPlainMessage(services.dialogs, Utf8ToGbk(kUpdateProgramWriteFailed),
                         kMbOk | kMbIconWarning);
        return false;
    }

    if (services.resolve) packageAddress = services.resolve(packageAddress);

    const bool started = services.startProcess &&
                         services.startProcess(UpdateProgramCommand(
                             updateProgram, packageAddress, executable, services.packageSha256));
    if (!started) {
        ShowPlainMessage(services.dialogs, Utf8ToGbk(kUpdateProgramStartFailed),
                         kMbOk | kMbIconWarning);
        return false;
    }
    if (services.exitBox) services.exitBox(0);
    return true;
}

}  // namespace box
