#include "support/BoxFolder.h"

namespace box {

namespace {

// Position of the last separator, skipping GBK trail bytes; npos when none.
std::size_t LastSeparator(const Text& path) {
    std::size_t last = Text::npos;
    for (std::size_t i = 0; i < path.size(); i += GbkCharLength(path, i)) {
        if (path[i] == '\\' || path[i] == '/') last = i;
    }
    return last;
}

}  // namespace

std::filesystem::path FsPath(const Text& gbkPath) {
    std::string utf8 = GbkToUtf8(gbkPath);
    for (char& c : utf8) {
        if (c == '\\') c = '/';
    }
    return std::filesystem::path(utf8);
}

Text FromFsPath(const std::filesystem::path& path) {
    return Utf8ToGbk(path.string());
}

Text JoinPath(const Text& folder, const Text& name) {
    return folder + "\\" + name;
}

std::filesystem::path JoinPath(const std::filesystem::path& folder, const Text& name) {
    // Not folder / name: an absolute right side would replace the folder.
    return std::filesystem::path(folder.native() + "/" + FsPath(name).native());
}

Text FileNamePart(const Text& path) {
    std::size_t sep = LastSeparator(path);
    return sep == Text::npos ? path : path.substr(sep + 1);
}

Text FolderPart(const Text& path) {
    std::size_t sep = LastSeparator(path);
    return sep == Text::npos ? Text() : path.substr(0, sep);
}

}  // namespace box
