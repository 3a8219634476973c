// The box: start-up, then the main window and its message loop. A build
// without Qt runs the start-up headless, says on stdout what it did, removes a
// pending update program and ends with the exit clean-up.

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/BoxActions.h"
#include "app/BoxConfig.h"
#include "app/CatalogLoader.h"
#include "app/DownloadActions.h"
#include "app/DownloadQueue.h"
#include "app/ProgramActions.h"
#include "app/SelfUpdate.h"
#include "app/main/UpdaterImage.h"
#include "resolve/ShareLink.h"
#include "app/StartUp.h"
#include "download/ArchiveExtract.h"
#include "download/TransferEngine.h"
#include "platform/Environment.h"
#include "platform/ShellOpen.h"
#include "support/BackgroundWriter.h"
#include "platform/SystemPaths.h"
#include "support/Dialogs.h"
#include "support/EventPump.h"

#ifdef SOFTBOX_WITH_GUI
#include <QApplication>

#include "app/view/HelpDialog.h"
#include "app/view/QtDialogs.h"
#include "app/view/QtTray.h"
#include "app/view/RunMainWindow.h"
#endif

namespace {

// Message boxes on a console: the text goes to stdout, the answer is OK.
class ConsoleDialogs : public box::Dialogs {
public:
    int ShowMessage(const box::Text& text, unsigned flags, const box::Text& title) override {
        std::printf("[%s] %s\n", box::GbkToUtf8(title).c_str(), box::GbkToUtf8(text).c_str());
        return box::kButtonOk;
    }
};

// Also reached by std::exit from deeper down, as the window's exit will.
box::BoxProcess* runningProcess = nullptr;

void RunExitCleanUp() {
    if (runningProcess) runningProcess->ExitCleanUp();
}

// The one place that reads the environment: everything below gets what it
// needs from the configuration.
box::BoxConfig ConfigurationOfThisProcess() {
    return box::MakeBoxConfig(box::Environment::OfProcess(), box::ExecutablePath());
}

[[maybe_unused]] const char* Describe(box::ShortcutRepair repair) {
    switch (repair) {
        case box::ShortcutRepair::kSkipped:
            return "left alone (offline start)";
        case box::ShortcutRepair::kKept:
            return "kept (target is this executable)";
        case box::ShortcutRepair::kRewritten:
            return "rewritten";
        case box::ShortcutRepair::kFailed:
            return "could not be written";
    }
    return "";
}

}  // namespace

#ifdef SOFTBOX_WITH_GUI

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    box::QtEventPump pump;
    box::QtDialogs dialogs;
    box::BoxProcess process(ConfigurationOfThisProcess(), pump, dialogs);
    runningProcess = &process;
    std::atexit(RunExitCleanUp);
    process.Start(box::CommandLineArguments(argc, argv));

    const box::BoxConfig& config = process.config();
    box::SystemDesktopShell shell;
    box::BoxActions actions(process.programList, *process.settings, pump, dialogs, shell,
                            {config.boxFolder, config.desktopFolder, {}});
    actions.showHelp = [] { box::ShowHelpDialog(QApplication::activeWindow()); };

    box::TransferEngine engine({config.net.caFile});
    box::EngineTransfer transfer(engine);
    box::DownloadServices downloadServices;
    // The catalog's download source reaches the resolvers through this text,
    // which the catalog load fills before any download can start.
    box::Text boxDownloadSource;
    downloadServices.resolve = [&](box::Text& source) -> box::Text {
        box::ResolveContext context{pump, *process.downloadRequest, config.net, config.services,
                                    boxDownloadSource};
        return box::ResolveShareLink(source, context);
    };
    downloadServices.shareHost360 = config.services.yunpanShortHost;
    downloadServices.extract = [&pump](const std::filesystem::path& archive) {
        return box::ExtractArchive(pump, archive, 0);
    };
    downloadServices.openPage = [&shell](const box::Text& url) { shell.Open(box::GbkToUtf8(url)); };
    downloadServices.redirectLocation = [&process](const box::Text& url) {
        return process.downloadRequest->GetRedirectLocation(url);
    };
    downloadServices.touchShareUrl = [&process](const box::Text& url, int seconds) {
        box::FetchOptions options;
        options.timeoutSeconds = seconds;
        process.downloadRequest->FetchBytes(url, options);
    };
    downloadServices.hideSearchResults = [&actions] { actions.HideSearchResults(); };
    downloadServices.rebuildSearchImages = [&actions] {
        if (actions.rebuildSearchImages) actions.rebuildSearchImages();
    };
    box::DownloadQueue downloads(process.programList, pump, dialogs, transfer, config.boxFolder,
                                 std::move(downloadServices));
    actions.downloadRunning = [&downloads] { return downloads.downloadRunning(); };
    actions.downloadAllMode = [&downloads] { return downloads.downloadAllMode(); };
    box::DownloadActions windowActions(actions, downloads);
    box::BackgroundWriter offlineCopyWriter;

    box::MainWindowSetup setup;
    setup.programList = &process.programList;
    setup.settings = process.settings.get();
    setup.boxFolder = process.boxFolder();
    setup.pump = &pump;
    setup.dialogs = &dialogs;
    setup.actions = &windowActions;
    setup.downloads = &downloads;
    setup.search = &actions.search();
    setup.pendingDeletionTick = [&process] {
        return process.PendingDeletionTick() == box::PendingDeletion::kRetry;
    };
    setup.loadList = [&](box::ProgramList&, const std::function<void()>& listShown) {
        box::CatalogLoadSetup load{config.boxFolder, config.executableName, config.desktopFolder,
                                   config.catalogUrl, process.offlineMode};
        box::CatalogLoadServices services{*process.settings, process.programList, pump, dialogs};
        services.fetch = [&process](const box::Text& url) {
            return box::FetchCatalogText(*process.catalogRequest, url);
        };
        services.listShown = listShown;
        services.saveOfflineCopy = [&](const std::filesystem::path& file, const box::Text& text) {
            offlineCopyWriter.Write(file, text);
        };
        services.rebuildSearchImages = actions.rebuildSearchImages;
        services.downloadRunning = actions.downloadRunning;
        box::Text packageSha256;
        services.packageSha256Read = [&](const box::Text& sha256) { packageSha256 = sha256; };
        services.checkSelfUpdate = [&](const box::Text& latestVersion, box::Text& packageAddress,
                                       bool allowChoice) {
            box::SelfUpdateServices selfUpdate{dialogs, box::UpdaterImage()};
            selfUpdate.packageSha256 = packageSha256;
            selfUpdate.resolve = [&](box::Text& source) {
                box::ResolveContext context{pump, *process.downloadRequest, config.net,
                                            config.services, boxDownloadSource};
                return box::ResolveShareLink(source, context);
            };
            selfUpdate.startProcess = [](const std::vector<std::string>& argv) {
                return box::StartProgram(argv);
            };
            selfUpdate.exitBox = [](int code) { box::ExitBox(code); };
            return box::CheckSelfUpdate(latestVersion, packageAddress, allowChoice,
                                        {config.boxFolder, config.executableName}, selfUpdate);
        };
        return box::LoadCatalog(load, services, boxDownloadSource) ==
               box::CatalogLoadResult::kShown;
    };
    int code = box::RunMainWindow(argc, argv, setup);
    engine.Release();
    process.ExitCleanUp();
    runningProcess = nullptr;
    return code;
}

#else

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    box::NullEventPump pump;
    ConsoleDialogs dialogs;
    box::BoxProcess process(ConfigurationOfThisProcess(), pump, dialogs);
    runningProcess = &process;
    std::atexit(RunExitCleanUp);

    box::StartUpReport report = process.Start(box::CommandLineArguments(argc, argv));
    std::printf("mode: %s\n", report.offlineMode ? "offline" : "online");
    std::printf("offline shortcut %s: %s\n", process.offlineShortcutPath().c_str(),
                Describe(report.shortcut));
    std::printf("settings file %s: %s\n", process.settingsPath().c_str(),
                report.settingsWritable ? "opened" : "read-only or unavailable");

    if (!report.pendingDeletePath.empty()) {
        const char* path = report.pendingDeletePath.c_str();
        // The window ticks forever; without one, give up after a few seconds.
        for (int tick = 1;; ++tick) {
            box::PendingDeletion result = process.PendingDeletionTick();
            if (result == box::PendingDeletion::kDeleted) {
                std::printf("pending deletion %s: deleted\n", path);
            } else if (result == box::PendingDeletion::kNothing) {
                std::printf("pending deletion %s: no such file\n", path);
            } else if (result == box::PendingDeletion::kRefused) {
                std::printf("pending deletion %s: not the update program, left alone\n", path);
            } else if (tick >= 5) {
                std::printf("pending deletion %s: still not deletable, given up\n", path);
            } else {
                box::WaitWithEvents(pump, box::BoxProcess::kPendingDeletionPeriodMs);
                continue;
            }
            break;
        }
    }

    process.ExitCleanUp();
    runningProcess = nullptr;
    return 0;
}

#endif
