#pragma once
// The catalog load of every start: the catalog from the update server (three
// attempts a second apart) or from the offline copy, the offline copy kept up
// to date, the list built, laid out and put in the user's order, then the
// one-time desktop-shortcut offer and the notice of this version.

#include <filesystem>
#include <functional>

#include "app/ProgramRow.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"
#include "support/Text.h"

namespace box {

class HttpRequest;
class SettingsStore;

struct CatalogLoadSetup {
    std::filesystem::path boxFolder;       // exact, as the file system has it
    std::filesystem::path executableName;  // the box's own file name
    std::filesystem::path desktopFolder;   // "" : no shortcuts are offered a place
    Text catalogUrl;
    bool offlineMode = false;
};

struct CatalogLoadServices {
    SettingsStore& settings;
    ProgramList& list;
    EventPump& pump;
    Dialogs& dialogs;
    // One attempt at the catalog: its text, or "" when the attempt failed.
    std::function<Text(const Text& url)> fetch{};
    // The list exists: the window lays itself out for it, hides the loading
    // picture and starts listening to the wheel.
    std::function<void()> listShown{};
    // The box's own update check (see CatalogHooks::checkSelfUpdate).
    std::function<bool(const Text& latestVersion, Text& packageAddress, bool allowChoice)>
        checkSelfUpdate{};
    // See CatalogHooks::packageSha256Read.
    std::function<void(const Text& packageSha256)> packageSha256Read{};
    // Writes the offline copy; WriteFileText when empty. The box hands it to
    // a background writer: the copy is only read at a later start, and its
    // synced write need not hold up the list.
    std::function<void(const std::filesystem::path& file, const Text& text)> saveOfflineCopy{};
    std::function<void()> rebuildSearchImages{};
    std::function<bool()> downloadRunning{};
};

enum class CatalogLoadResult {
    kShown,  // the list is up
    kEnded,  // the box cannot go on: end it with exit code 0
};

inline constexpr int kCatalogAttempts = 3;
inline constexpr int kCatalogRetryWaitMs = 1000;

// Runs the whole load. boxDownloadSource receives "下载源" of section "盒子".
CatalogLoadResult LoadCatalog(const CatalogLoadSetup& setup, CatalogLoadServices& services,
                              Text& boxDownloadSource);

// One fetch of the catalog with the request object: the text of a 2xx
// answer, "" for anything else. An error page is no catalog.
Text FetchCatalogText(HttpRequest& request, const Text& url);

// The offline copy's text: the fetched text with every "下载源=" followed by
// the download source removed, and nothing else changed.
Text OfflineCopyText(const Text& catalogText, const Text& downloadSource);

}  // namespace box
