#pragma once
// One program of the catalog.

#include "support/Text.h"

namespace box {

// 0 not downloaded, 1 update available, 2 up to date.
enum EntryStatus : int {
    kNotDownloaded = 0,
    kUpdateAvailable = 1,
    kUpToDate = 2,
};

struct CatalogEntry {
    Text name;              // the catalog section name; also the program's folder
    Text latestVersion;     // dotted numbers, may be empty
    Text homepage;          // URL or empty
    Text downloadUrl;       // direct URL or share link; replaced by the resolved URL
    Text installedVersion;  // FileVersion of the installed executable, or empty
    int status = kNotDownloaded;
    bool openDownloadPage = false;  // open the download page instead of downloading
    Text tutorialUrl;               // one URL or several separated by "|"
    int retryCount = 0;
    int kind = 0;  // 1 free program "[免]", 2 free small game "[游]", else paid
};

}  // namespace box
