// The update program: started by the box with the package address and the
// box's executable, it replaces the box's files and starts the box again.

#include <QApplication>
#include <algorithm>
#include <clocale>
#include <system_error>

#include "download/ArchiveExtract.h"
#include "net/HttpRequest.h"
#include "platform/Environment.h"
#include "platform/ShellOpen.h"
#include "updater/UpdaterWindow.h"

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    // The words as the system gives them: a path must reach the file system
    // unchanged, and the address is the box's own text.
    std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    std::error_code error;
    std::filesystem::path own = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) own = std::filesystem::absolute(argc > 0 ? argv[0] : "upbox.exe", error);

    QApplication app(argc, argv);
    const box::Environment environment = box::Environment::OfProcess();
    box::NetConfig net;
    net.caFile = environment.Get("SOFTBOX_CA_FILE");
    box::TransferEngine engine({net.caFile});
    box::EnginePackageTransfer transfer(engine);
    box::UpdaterDialogs dialogs;
    box::UpdaterPump pump;
    box::HttpRequest request(pump, net);

    box::UpdaterServices services{dialogs, transfer};
    services.extract = [&pump](const std::filesystem::path& package) {
        return box::ExtractArchive(pump, package, 0);
    };
    services.startProcess = [](const std::vector<std::string>& argv) {
        return box::StartProgram(argv);
    };
    services.shareHost360 = SOFTBOX_DEFAULT_360_HOST;
    if (const std::string host = environment.Get("SOFTBOX_360_HOST"); !host.empty()) {
        services.shareHost360 = host;
    }
    services.redirectLocation = [&request](const box::Text& url) {
        return request.GetRedirectLocation(url);
    };

    box::UpdaterWindow* shown = nullptr;
    services.showNow = [&shown](const box::UpdaterView& view) {
        if (!shown) return;
        shown->Show(view);
        QApplication::processEvents();
    };

    box::UpdateSession session(std::move(arguments), own, std::move(services));
    box::UpdaterWindow window(session);
    shown = &window;
    if (!window.Begin()) return 0;
    window.show();
    const int code = app.exec();
    engine.Release();
    return code;
}
