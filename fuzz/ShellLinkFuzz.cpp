// Shortcut files (.lnk) as other programs write them: header, ID list,
// LinkInfo with local and network paths, counted strings, extra blocks.

#include <cstdint>

#include "FuzzTarget.h"
#include "platform/ShellLink.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    ShortcutOptions all;
    all.workingDirectory = "D:\\工作目录"_gbk;
    all.description = "离线模式启动盒子"_gbk;
    all.arguments = "lxms \"带 空格\""_gbk;
    all.iconLocation = "C:\\图标.ico,-2"_gbk;
    all.hotKey = "Ctrl+Alt+F";
    all.windowStyle = kShowMinNoActive;
    ShortcutOptions offline;
    offline.arguments = "lxms";
    const struct {
        Text lnk;
        Text target;
        const ShortcutOptions& options;
    } kLinks[] = {
        {"C:\\汀芷\\离线模式启动盒子.lnk"_gbk, "C:\\汀芷\\softbox.exe"_gbk, all},
        {"C:\\x.lnk", "C:\\box\\softbox.exe", {}},
        {"C:\\x.lnk", "\\\\server\\共享\\汀芷\\softbox.exe"_gbk, offline},
        {"/home/u/links/x.lnk", "/home/u/盒子/softbox"_gbk, offline},
    };
    std::vector<std::string> seeds;
    for (const auto& link : kLinks) {
        auto bytes = BuildShortcutBytes(link.lnk, link.target, link.options);
        Check(bytes.has_value(), "the seed shortcuts can be written");
        seeds.push_back(std::move(*bytes));
    }
    return seeds;
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<ShortcutInfo> info =
        ParseShortcut(bytes, size % 2 ? Text("/home/u/links") : "C:\\汀芷"_gbk);
    if (!info) return 0;
    const Text keys = FormatHotKey(info->hotKey);
    ParseHotKey(keys);
    ParseHotKey(info->description);
    return 0;
}
