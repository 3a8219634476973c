#pragma once
// Reads the catalog text: the box's own update data from section "盒子", one
// entry per program section in catalog order, and the official order in the
// settings.

#include <filesystem>
#include <functional>

#include "catalog/CatalogEntry.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

class SettingsStore;

// Steps of a catalog load that other parts of the box supply. Each may be
// left empty.
struct CatalogHooks {
    // Runs right after "下载源" of section "盒子" has been read, before
    // anything else, with the number of program sections the text holds (the
    // loader saves its offline copy here, and only of a text that has
    // programs).
    std::function<void(const Text& downloadSource, int programCount)> downloadSourceRead;
    // The box's own update check, with "最新版本", "下载地址" and whether
    // "允许选择" is exactly "是". Runs before any row is built; returns true
    // when it ended the box, and the parser then reads nothing more: ending
    // only asks the window to close, and a box on its way out must not go on
    // to write the list's order.
    std::function<bool(const Text& latestVersion, Text& packageAddress, bool allowChoice)>
        checkSelfUpdate;
    // "校验" of section "盒子" (the SHA-256 of the update package, or ""),
    // handed over right before checkSelfUpdate.
    std::function<void(const Text& packageSha256)> packageSha256Read;
    // Ends the box with an exit code. When it returns (as in tests), the
    // parser returns too.
    std::function<void(int exitCode)> exitBox;

    // The programs, handed out as they are read. programsListed comes first,
    // with how many follow; then programRead for each, with its 1-based
    // position in the catalog and the entry, whose installedVersion and
    // status are already set; then programsDone, also when there are none.
    std::function<void(int count)> programsListed;
    std::function<void(int index, CatalogEntry entry)> programRead;
    std::function<void()> programsDone;
};

// What a catalog load works on.
struct CatalogContext {
    std::filesystem::path boxFolder;  // the box folder, exact
    SettingsStore& settings;          // the box's own settings store
    EventPump& pump;
    Dialogs& dialogs;
    CatalogHooks hooks;
};

// Parses the catalog text and hands out one entry per program through the
// hooks. boxDownloadSource receives "下载源" of section "盒子" before the
// update check runs. Without any program section the box shows
// "配置文件出错。请咨询汀芷！" and ends through hooks.exitBox. Returns the
// number of programs.
int ParseCatalog(const Text& catalogText, CatalogContext& context, Text& boxDownloadSource);

// Whether a section name can be a program: it names a folder inside the box
// folder and a file in it, and the delete action removes that folder, so it
// must be one plain path component: not empty, not "." or "..", no "\" or
// "/", no control characters, no characters or names that file systems
// refuse, valid GBK.
bool IsSafeProgramName(const Text& name);

}  // namespace box
