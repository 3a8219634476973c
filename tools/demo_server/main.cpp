// The demo server: serves the demo catalog and its pages on 127.0.0.1 until
// SIGINT, SIGTERM or SIGHUP; or, with --install, lays the demo programs into
// a box folder and ends. tools/run-demo.sh drives it.

#include <signal.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>

#include "DemoServer.h"

namespace {

constexpr const char* kUsage =
    "usage: softbox_demo_server [--port N] [--programs N] [--fail-first N] [--slow MS]\n"
    "                           [--share-services DIR]\n"
    "       softbox_demo_server --install BOX_FOLDER [--programs N]\n"
    "\n"
    "Serves the demo catalog on http://127.0.0.1:PORT/box.txt and prints that\n"
    "address on the first line of standard output.\n"
    "  --port N        listening port (default 8765; 0: any free port)\n"
    "  --programs N    programs in the catalog (default 40)\n"
    "  --fail-first N  answer 503 to the first N catalog requests\n"
    "  --slow MS       wait MS milliseconds before every answer\n"
    "  --share-services DIR\n"
    "                  the last three programs come through stand-ins of the 360,\n"
    "                  Tongbupan and Baidu share services (ports 80 and 443 of\n"
    "                  127.0.0.36 and 127.0.0.37: root or CAP_NET_BIND_SERVICE);\n"
    "                  their test certificate goes into DIR, and the box's settings\n"
    "                  for them follow the address, one NAME=value a line\n"
    "  --install DIR   write the demo programs into the box folder DIR and end\n";

bool ParseNumber(const char* text, int low, int high, int& value) {
    const char* end = text + std::strlen(text);
    auto [at, error] = std::from_chars(text, end, value);
    return error == std::errc() && at == end && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
    box::demo::DemoOptions options;
    std::string installFolder;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "softbox_demo_server: %s needs a value\n%s", flag.c_str(), kUsage);
            return 2;
        }
        const char* value = argv[++i];
        bool ok = true;
        if (flag == "--port") {
            ok = ParseNumber(value, 0, 65535, options.port);
        } else if (flag == "--programs") {
            ok = ParseNumber(value, 1, 500, options.programs);
        } else if (flag == "--fail-first") {
            ok = ParseNumber(value, 0, 1000000, options.failFirst);
        } else if (flag == "--slow") {
            ok = ParseNumber(value, 0, 600000, options.slowMs);
        } else if (flag == "--share-services") {
            options.shareFolder = value;
        } else if (flag == "--install") {
            installFolder = value;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "softbox_demo_server: bad argument %s %s\n%s", flag.c_str(), value,
                         kUsage);
            return 2;
        }
    }

    if (!installFolder.empty()) {
        if (!box::demo::InstallDemoPrograms(installFolder, options.programs)) {
            std::fprintf(stderr, "softbox_demo_server: cannot write the demo programs into %s\n",
                         installFolder.c_str());
            return 1;
        }
        return 0;
    }

    // Blocked before the server's threads start, so that they inherit the
    // mask and only sigwait below takes these signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    box::demo::DemoServer server(options, [](const std::string& line) {
        std::fprintf(stderr, "demo server: %s\n", line.c_str());
    });
    if (!server.ok()) {
        std::fprintf(stderr, "softbox_demo_server: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    // One write, so that a reader that sees the address sees the settings too.
    std::printf("%s\n", server.CatalogUrl().c_str());
    for (const std::string& setting : server.ShareEnvironment())
        std::printf("%s\n", setting.c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    std::fprintf(stderr, "demo server: stopped (%s)\n", strsignal(signal));
    return 0;
}
