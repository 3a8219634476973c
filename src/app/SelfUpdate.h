#pragma once
// The box's check of its own version against the catalog, and the hand-over
// to the update program when a newer box exists.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Dialogs.h"
#include "support/Text.h"

namespace box {

// Texts as written here (UTF-8); the box shows them in GBK.
inline constexpr const char* kSelfUpdateRecommended = "强烈建议立即更新本盒子";
inline constexpr const char* kSelfUpdateMandatory = "必须在更新之后才能使用本盒子";
inline constexpr const char* kUpdateProgramWriteFailed =
    "盒子更新程序（upbox.exe）写出失败！请注意是否被拦截，如被拦截请添加信任，然后重新运行本软件！";
inline constexpr const char* kUpdateProgramStartFailed =
    "盒子更新程序（upbox.exe）启动失败！请注意是否被拦截，如被拦截请添加信任，然后重新运行本软件！";

struct SelfUpdateSetup {
    std::filesystem::path boxFolder;       // exact, as the file system has it
    std::filesystem::path executableName;  // the box's own file name
};

struct SelfUpdateServices {
    Dialogs& dialogs;
    // The update program the box carries, written out as "upbox.exe".
    std::string_view updateProgram{};
    // The package address through the share-link resolvers.
    std::function<Text(Text& source)> resolve{};
    // Starts a program with its argument words (argv[0] first), without a
    // shell and without waiting for it; false when it could not be started.
    std::function<bool(const std::vector<std::string>& argv)> startProcess{};
    // Ends the box (tray icon removed) with an exit code.
    std::function<void(int exitCode)> exitBox{};
    // The catalog's SHA-256 of the package (lower-case hex), or "": the
    // update program then refuses a package with other contents.
    Text packageSha256{};
};

// The update program's command: its own path, the package address and the
// box's executable. Windows takes them as one line of three double-quoted
// words; here they are handed over as three argument words, which is the same
// contract without the quoting. A package checksum follows as a fourth word
// when there is one.
std::vector<std::string> UpdateProgramCommand(const std::filesystem::path& updateProgram,
                                              const Text& packageAddress,
                                              const std::filesystem::path& boxExecutable,
                                              const Text& packageSha256 = {});

// Compares the box's own version (read from its executable) with
// latestVersion; when the catalog's is newer, asks, writes the update program
// into the box folder, resolves packageAddress (replaced by what comes back),
// starts the update program and ends the box. Any failure is shown and the
// box goes on. Returns whether the box was ended.
bool CheckSelfUpdate(const Text& latestVersion, Text& packageAddress, bool allowChoice,
                     const SelfUpdateSetup& setup, SelfUpdateServices& services);

}  // namespace box
