// The catalog parser on any text, in a box folder where one program of the
// seeds is installed, with the box's own settings in memory.

#include <cstdint>

#include "FuzzTarget.h"
#include "PeWriter.h"
#include "TestDoubles.h"
#include "catalog/CatalogParser.h"
#include "settings/SettingsStore.h"

namespace box::fuzz {

namespace {

constexpr const char* kInstalled = "汀芷·截图标注";

const test::TempDir& BoxFolder() {
    static const test::TempDir folder;
    static const bool installed = [] {
        test::PeLayout layout = test::ProgramLayout("2.1.0.3");
        layout.icons.push_back({test::SolidPicture(32, 32, 0xFF2F6FC8), test::IconFormat::kDib32});
        return test::InstallProgram(folder.path(), kInstalled, layout);
    }();
    Check(installed, "the installed program of the box folder is written");
    return folder;
}

}  // namespace

std::vector<std::string> Seeds() {
    using test::IniLines;
    const Text box = IniLines({"[盒子]", "下载源=cookie=abc", "最新版本=1.0.7.0",
                               "下载地址=http://127.0.0.1/box.rar", "允许选择=是"});
    const Text programs =
        IniLines({"[汀芷·截图标注]", "最新版本=2.2.0.0", "软件主页=http://127.0.0.1/home/1.html",
                  "下载地址=http://127.0.0.1/files/1.rar", "是否打开=否", "视频教程=", "软件类型=1",
                  "[汀芷·文件批量改名]", "最新版本=1.9", "下载地址=http://pan.example/s/abc",
                  "是否打开=是", "软件类型=2", "[汀芷·..]", "[汀芷·a/b]", "[其他]", "最新版本=9"});
    Text lfOnly = box + "\r\n" + programs;
    for (std::size_t at = lfOnly.find("\r\n"); at != Text::npos; at = lfOnly.find("\r\n", at))
        lfOnly.erase(at, 1);
    // Header-like lines between a section and its keys, the slow case of the
    // key search.
    Text crowded = IniLines({"[汀芷·截图标注]"});
    for (int i = 0; i < 40; ++i) crowded += "\r\n[]]]]]]]]]]]]x";
    crowded += "\r\n" + IniLines({"最新版本=3", "软件类型=1e400"});
    return {box + "\r\n" + programs, programs, box, lfOnly, crowded};
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    static const Text boxFolder = fuzz::BoxFolder().gbk();
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings(pump, dialogs);
    settings.openPath({}, true);
    std::vector<CatalogEntry> entries;
    int listed = -1;
    CatalogContext context{boxFolder, settings, pump, dialogs, {}};
    context.hooks.checkSelfUpdate = [](const Text&, Text& address, bool) {
        address += "?";
        return false;
    };
    context.hooks.exitBox = [](int) {};
    context.hooks.programsListed = [&listed](int count) { listed = count; };
    context.hooks.programRead = [&entries](int index, CatalogEntry entry) {
        fuzz::Check(index == static_cast<int>(entries.size()) + 1,
                    "programs come in catalog order, each with its position");
        entries.push_back(std::move(entry));
    };
    Text downloadSource;
    const int programs =
        ParseCatalog(Text(reinterpret_cast<const char*>(data), size), context, downloadSource);

    fuzz::Check(programs == listed && programs == static_cast<int>(entries.size()),
                "every program section becomes one entry");
    for (const CatalogEntry& entry : entries) {
        // Its folder is written into and deleted: it must stay inside the box.
        fuzz::Check(IsSafeProgramName(entry.name), "a program's name is one safe folder name");
    }
    return 0;
}
