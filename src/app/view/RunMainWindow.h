#pragma once
// Loads and shows the main window and runs the window message loop until the
// window is closed.

#include <filesystem>
#include <functional>

#include "app/WindowActions.h"
#include "app/ProgramRow.h"
#include "app/SearchModel.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"

namespace box {

class DownloadQueue;
class SettingsStore;

struct MainWindowSetup {
    // The box's program list; required. It outlives the window.
    ProgramList* programList = nullptr;
    // The box's settings store (official order and use counts). When null the
    // window parses into a private store in memory.
    SettingsStore* settings = nullptr;
    // The box folder, where the offline catalog lies.
    std::filesystem::path boxFolder;
    // A catalog file that the default loader reads instead of the offline
    // copy; "": the copy.
    std::filesystem::path catalogFile;
    // Pump and message boxes the core uses (a QtEventPump and QtDialogs, made
    // before this call); the window's own when null.
    EventPump* pump = nullptr;
    Dialogs* dialogs = nullptr;
    // Handlers of the rows and the header; they do nothing when null.
    WindowActions* actions = nullptr;
    // The search box's state and behaviour; the box is inert when null.
    SearchModel* search = nullptr;
    // The pending-deletion timer (时钟2) calls this every second, from the
    // moment the window exists, until it returns false.
    std::function<bool()> pendingDeletionTick;
    // Builds the list on first activation; false ends the box with exit code
    // 0. It may call listShown once the rows exist (see MainWindow). Empty:
    // LoadLocalCatalog on boxFolder.
    std::function<bool(ProgramList&, const std::function<void()>& listShown)> loadList;
    // Whether the window puts the box's icon in the notification area.
    bool trayIcon = true;
    // Receives "下载源" of the catalog when the default loader runs.
    Text* boxDownloadSource = nullptr;
    // The downloads, whose timer and download-all button the window shows;
    // none when null.
    DownloadQueue* downloads = nullptr;
};

// Creates the application object, the window and its timers, shows the
// window with its loading picture, builds the list on first activation and
// runs the event loop. Returns the exit code.
int RunMainWindow(int argc, char** argv, const MainWindowSetup& setup);

}  // namespace box
