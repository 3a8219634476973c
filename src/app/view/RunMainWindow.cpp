#include "app/view/RunMainWindow.h"

#include <memory>

#include <QApplication>

#include "app/ListLoading.h"
#include "app/view/DownloadView.h"
#include "app/view/MainWindow.h"
#include "app/view/QtDialogs.h"
#include "app/view/QtTray.h"
#include "settings/SettingsStore.h"

namespace box {

int RunMainWindow(int argc, char** argv, const MainWindowSetup& setup) {
    QApplication app(argc, argv);
    QFont font("WenQuanYi Micro Hei");
    font.setPixelSize(13);
    app.setFont(font);

    QtEventPump ownPump;
    QtDialogs ownDialogs;
    WindowActions noActions;
    EventPump& pump = setup.pump ? *setup.pump : ownPump;
    Dialogs& dialogs = setup.dialogs ? *setup.dialogs : ownDialogs;
    ProgramList ownList;
    ProgramList& list = setup.programList ? *setup.programList : ownList;

    std::unique_ptr<SettingsStore> privateSettings;
    Text ownDownloadSource;
    MainWindow::ListLoader loader = setup.loadList;
    if (!loader) {
        SettingsStore* settings = setup.settings;
        if (!settings) {
            privateSettings = std::make_unique<SettingsStore>(pump, dialogs);
            privateSettings->open({}, SettingsStore::kMemoryMode);
            settings = privateSettings.get();
        }
        Text* source = setup.boxDownloadSource ? setup.boxDownloadSource : &ownDownloadSource;
        loader = [&, settings, source](ProgramList& rows, const std::function<void()>&) {
            return LoadLocalCatalog(setup.boxFolder, *settings, rows, pump, dialogs, *source,
                                    setup.catalogFile);
        };
    }

    int exitCode = 0;
    {
        MainWindow window(list, setup.actions ? *setup.actions : noActions);
        window.setWindowIcon(BoxIcon());
        if (setup.search) window.AttachSearch(*setup.search);
        std::unique_ptr<QtTrayIcon> tray;
        if (setup.trayIcon) {
            tray = std::make_unique<QtTrayIcon>(window, pump, dialogs, [] { ExitBox(0); });
        }
        window.SetPendingDeletionTick(setup.pendingDeletionTick);
        std::unique_ptr<DownloadView> downloads;
        if (setup.downloads) downloads = std::make_unique<DownloadView>(window, *setup.downloads);
        window.SetListLoader(loader);
        QObject::connect(&window, &MainWindow::listLoadFinished, &app, [](bool ok) {
            if (!ok) ExitBox(0);
        });
        window.show();
        window.ApplyDesignedGeometry();
        window.raise();
        window.activateWindow();
        exitCode = app.exec();
    }
    return exitCode;
}

}  // namespace box
