// Opens the main window on a catalog file without the rest of the box:
//   window_preview [catalog.ini]
// Without an argument it reads the catalog file that the configuration names
// (SOFTBOX_CATALOG_FILE) or the offline copy in the folder of this executable. With
// SOFTBOX_PREVIEW_GRAB=picture.png it saves a picture of the window once the list is built, and
// ends.

#include <clocale>

#include <QApplication>
#include <QTimer>

#include "app/BoxConfig.h"
#include "app/view/MainWindow.h"
#include "app/view/RunMainWindow.h"
#include "platform/Environment.h"
#include "platform/SystemPaths.h"

namespace {

void GrabWhenLoaded() {
    const QString path = qEnvironmentVariable("SOFTBOX_PREVIEW_GRAB");
    if (path.isEmpty()) return;
    QTimer::singleShot(0, [path] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<box::MainWindow*>(top);
            if (!window) continue;
            auto grab = [window, path] {
                window->grab().save(path);
                QCoreApplication::quit();
            };
            if (window->listLoaded()) {
                grab();
            } else {
                QObject::connect(window, &box::MainWindow::listLoadFinished, window, grab);
            }
        }
    });
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(GrabWhenLoaded)

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    const box::BoxConfig config =
        box::MakeBoxConfig(box::Environment::OfProcess(), box::ExecutablePath());
    box::ProgramList list;
    box::MainWindowSetup setup;
    setup.programList = &list;
    setup.boxFolder = config.boxFolder;
    setup.catalogFile = argc > 1 ? std::filesystem::path(argv[1]) : config.catalogFile;
    return box::RunMainWindow(argc, argv, setup);
}
