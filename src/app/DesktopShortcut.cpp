#include "app/DesktopShortcut.h"

#include "platform/DesktopLauncher.h"
#include "platform/ShellLink.h"
#include "support/BoxFolder.h"

namespace box {

bool PutShortcutOnDesktop(const std::filesystem::path& desktopFolder, const Text& baseName,
                          const std::filesystem::path& target, const Text& arguments) {
    if (desktopFolder.empty() || baseName.empty()) return false;
    ShortcutOptions options;
    if (!arguments.empty()) options.arguments = arguments;
    const bool written =
        CreateShortcutFile(JoinPath(desktopFolder, baseName + ".lnk"), FromFsPath(target), options);
    WriteDesktopLauncher(JoinPath(desktopFolder, baseName + ".desktop"), GbkToUtf8(baseName),
                         target, GbkToUtf8(arguments));
    return written;
}

}  // namespace box
