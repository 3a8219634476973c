// Start-up of the window, from the start of the process until its program
// list is painted, against an empty QMainWindow started the same way.
//
// Every iteration starts this executable three times as a child
// (posix_spawn): showing an empty QMainWindow, the same with one line of
// text, and the box's window on a box folder past its first start, with a
// catalog of the given number of programs (every tenth one installed, with
// its own icon) that the box fetches from a loopback server, as every start
// does, or reads from its offline copy (an offline start). A
// child writes a line to a pipe once the list (or the empty window) has been
// painted; the time is taken from just before the spawn until that line
// arrives. The kinds of runs alternate, so a change of machine load hits all
// of them. Reported as medians:
//   box_ms, empty_ms  start to painted window
//   text_ms           the same for an empty window with one line of text
//   ratio             box_ms / empty_ms
//   load_ms           the part of box_ms spent in the catalog load (fetch,
//                     offline copy, parse, status of each program, sort)
//   requests          catalog requests the server answered (served runs)
//   vs_300            box_ms of this catalog size / box_ms of 300 programs
//   box_MB, empty_MB  peak resident memory of the child (ru_maxrss)
// The children run on the offscreen platform unless QT_QPA_PLATFORM is set.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/BoxConfig.h"
#include "app/CatalogLoader.h"
#include "app/ListLoading.h"
#include "LoopbackServer.h"
#include "net/HttpRequest.h"
#include "app/view/MainWindow.h"
#include "app/view/ProgramListView.h"
#include "app/view/QtDialogs.h"
#include "app/view/RunMainWindow.h"
#include "settings/SettingsStore.h"
#include "support/BackgroundWriter.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

extern char** environ;

namespace {

using namespace box;

constexpr const char* kChildFlag = "--startup-child";
constexpr int kRuns = 20;
// A child that has not painted after this long is taken as hung.
constexpr int kChildTimeoutMs = 60000;

// --- child side -------------------------------------------------------------

int reportFd = -1;
bool boxChild = false;
double loadMs = 0;  // the list loader's own time

// Writes the report line and ends at once: the time to tear the window down
// is not part of the start.
void ReportPainted() {
    const std::string line = "painted " + std::to_string(loadMs) + "\n";
    if (write(reportFd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(3);
    _exit(0);
}

bool InsideListViewport(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w->objectName() == QString::fromUtf8("图片框边界")) return true;
    }
    return false;
}

// Watches paint events: the first one of the list's viewport (or of anything
// inside it) after the list has been built ends the start. Building the list
// lets events run, and a paint of the loading picture meanwhile must not
// count.
class PaintProbe : public QObject {
public:
    explicit PaintProbe(bool emptyWindow) : emptyWindow_(emptyWindow) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (fired_ || !watched->isWidgetType()) return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (!emptyWindow_) {
            auto* window = qobject_cast<MainWindow*>(widget->window());
            if (!window) return false;
            if (!watching_) {
                watching_ = true;
                // The list may have been painted while the load let events
                // run (before its sort); the paint that counts is the next.
                connect(window, &MainWindow::listLoadFinished, this, [this, window] {
                    built_ = true;
                    window->listView()->update();
                });
            }
            if (!built_ || !InsideListViewport(widget)) return false;
        } else if (!qobject_cast<QMainWindow*>(widget->window())) {
            return false;
        }
        if (event->type() != QEvent::Paint) return false;
        fired_ = true;
        // After this paint pass has been flushed.
        QTimer::singleShot(0, [] { ReportPainted(); });
        return false;
    }

private:
    bool emptyWindow_;
    bool watching_ = false;
    bool built_ = false;
    bool fired_ = false;
};

int RunEmptyChild(int argc, char** argv) {
    QApplication app(argc, argv);
    PaintProbe probe(true);
    app.installEventFilter(&probe);
    QMainWindow window;
    window.show();
    return app.exec();
}

// The box's own start: the settings file in the box folder, then the window
// with the catalog load of every start: the catalog from url, or with url ""
// the offline copy (an offline start).
int RunBoxChild(int argc, char** argv, const std::string& folder, const std::string& url) {
    QtEventPump pump;
    QtDialogs dialogs;
    SettingsStore settings(pump, dialogs);
    const std::filesystem::path boxFolder = folder;
    settings.openFile(boxFolder / "汀芷·软件盒子.ini", SettingsStore::kFileMode);
    HttpRequest catalogRequest(pump);
    BackgroundWriter writer;
    ProgramList list;
    MainWindowSetup setup;
    setup.programList = &list;
    setup.settings = &settings;
    setup.boxFolder = boxFolder;
    setup.pump = &pump;
    setup.dialogs = &dialogs;
    setup.trayIcon = false;
    // The catalog load, timed.
    Text source;
    setup.loadList = [&](ProgramList& rows, const std::function<void()>& listShown) {
        const auto start = std::chrono::steady_clock::now();
        CatalogLoadSetup load{boxFolder, "softbox", {}, Text(url), url.empty()};
        CatalogLoadServices services{settings, rows, pump, dialogs};
        services.fetch = [&](const Text& u) { return FetchCatalogText(catalogRequest, u); };
        services.listShown = listShown;
        services.saveOfflineCopy = [&](const std::filesystem::path& file, const Text& text) {
            writer.Write(file, text);
        };
        const bool ok = LoadCatalog(load, services, source) == CatalogLoadResult::kShown;
        loadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count();
        return ok;
    };
    boxChild = true;
    return RunMainWindow(argc, argv, setup);
}

// The application object of the box is made inside RunMainWindow: the probe
// goes in as soon as it exists.
void InstallBoxProbe() {
    if (!boxChild) return;
    static PaintProbe probe(false);
    QCoreApplication::instance()->installEventFilter(&probe);
}

// The empty window with one line of Chinese text in the box's font: what
// drawing any text at all adds to the start (the font set-up).
int RunTextChild(int argc, char** argv) {
    QApplication app(argc, argv);
    PaintProbe probe(true);
    app.installEventFilter(&probe);
    QMainWindow window;
    auto* label = new QLabel(QString::fromUtf8("正在加载远程配置文件..."));
    QFont font("WenQuanYi Micro Hei");
    font.setPixelSize(13);
    label->setFont(font);
    window.setCentralWidget(label);
    window.show();
    return app.exec();
}

int RunChild(int argc, char** argv) {
    // argv: program --startup-child fd empty|text|box [folder url]
    if (argc < 4) return 2;
    reportFd = std::atoi(argv[2]);
    const std::string kind = argv[3];
    if (kind == "empty") return RunEmptyChild(argc, argv);
    if (kind == "text") return RunTextChild(argc, argv);
    if (kind == "box" && argc >= 6) return RunBoxChild(argc, argv, argv[4], argv[5]);
    return 2;
}

// --- parent side ------------------------------------------------------------

struct ChildRun {
    bool ok = false;
    double ms = 0;
    double loadMs = 0;
    double peakMb = 0;
};

std::string SelfPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

ChildRun SpawnChild(const std::vector<std::string>& args) {
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0) return run;
    std::vector<std::string> full = {SelfPath(), kChildFlag, std::to_string(fds[1])};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : full) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    // Qt's warnings about the offscreen platform would drown the report.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, full[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return run;
    }
    pollfd pfd{fds[0], POLLIN, 0};
    char line[64] = {};
    // The line is far shorter than a pipe's atomic write.
    const bool painted = poll(&pfd, 1, kChildTimeoutMs) == 1 &&
                         read(fds[0], line, sizeof line - 1) > 0 &&
                         std::strncmp(line, "painted ", 8) == 0;
    const auto end = std::chrono::steady_clock::now();
    if (painted) run.loadMs = std::atof(line + 8);
    close(fds[0]);
    if (!painted) kill(pid, SIGKILL);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.ok = painted && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.ms = std::chrono::duration<double, std::milli>(end - start).count();
    run.peakMb = usage.ru_maxrss / 1024.0;  // kilobytes on Linux
    return run;
}

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string ProgramName(int i) {
    static const char* const kTitles[] = {"文件批量改名",  "图片压缩精灵", "屏幕录像专家",
                                          "Excel合并助手", "快捷启动面板", "PDF分割合并"};
    return std::string("汀芷·") + kTitles[(i - 1) % 6] + std::to_string(i);
}

// A box folder past its first start, every tenth program installed, and the
// catalog of n programs, served on loopback and as the offline copy.
struct DemoFolder {
    explicit DemoFolder(int n) {
        Text text = Utf8ToGbk("[盒子]\r\n下载源=\r\n最新版本=1.0.7.0\r\n允许选择=是");
        for (int i = 1; i <= n; ++i) {
            const std::string name = ProgramName(i);
            const std::string base = "http://127.0.0.1:8765/";
            text += Utf8ToGbk("\r\n[" + name + "]\r\n最新版本=2." + std::to_string(i) +
                              ".0.0\r\n软件主页=" + base + "home/" + std::to_string(i) +
                              ".html\r\n下载地址=" + base + "files/" + std::to_string(i) +
                              ".rar\r\n是否打开=否\r\n视频教程=" +
                              (i % 3 ? base + "video/" + std::to_string(i) + ".html" : "") +
                              "\r\n软件类型=" + std::to_string(i % 4));
            if (i % 10 == 0) {
                test::PeLayout layout = test::ProgramLayout("1.0.0.0");
                layout.icons.push_back({test::SolidPicture(32, 32, 0xFF2E8B57)});
                test::InstallProgram(dir.path(), name, layout);
            }
        }
        WriteFileText(OfflineCatalogPath(dir.path()), text);
        // The first start's questions have been answered.
        WriteFileText(dir.path() / "汀芷·软件盒子.ini",
                      Utf8ToGbk("[基本配置]\r\n非首次使用=真\r\nv1.0.7.0=真\r\n"));
        server.SetAnswer("/box.txt", {200, text, "text/plain"});
    }
    test::TempDir dir;
    test::LoopbackServer server;
};

std::map<int, double> boxMedians;

void StartToPaintedList(benchmark::State& state) {
    const int programs = static_cast<int>(state.range(0));
    const bool served = state.range(1) != 0;
    DemoFolder folder(programs);
    const std::vector<std::string> boxArgs = {"box", folder.dir.path().string(),
                                              served ? folder.server.Url("/box.txt") : ""};
    // The first start writes the settings file; every later one reads it.
    if (!SpawnChild(boxArgs).ok) {
        state.SkipWithError("the box did not paint its list");
        return;
    }
    std::vector<double> box, empty, text, load, boxMb, emptyMb;
    for (auto _ : state) {
        const ChildRun e = SpawnChild({"empty"});
        const ChildRun t = SpawnChild({"text"});
        const ChildRun b = SpawnChild(boxArgs);
        if (!e.ok || !t.ok || !b.ok) {
            state.SkipWithError("a child did not paint");
            return;
        }
        empty.push_back(e.ms);
        text.push_back(t.ms);
        box.push_back(b.ms);
        load.push_back(b.loadMs);
        emptyMb.push_back(e.peakMb);
        boxMb.push_back(b.peakMb);
        state.SetIterationTime(b.ms / 1000.0);
    }
    const double boxMs = Median(box);
    if (served) boxMedians[programs] = boxMs;
    state.counters["box_ms"] = boxMs;
    state.counters["empty_ms"] = Median(empty);
    state.counters["ratio"] = boxMs / Median(empty);
    state.counters["load_ms"] = Median(load);
    state.counters["text_ms"] = Median(text);
    state.counters["box_MB"] = Median(boxMb);
    state.counters["empty_MB"] = Median(emptyMb);
    if (served) state.counters["requests"] = static_cast<double>(folder.server.RequestCount());
    if (boxMedians.count(300)) state.counters["vs_300"] = boxMs / boxMedians[300];
}
// Arguments: programs, whether the catalog comes from the loopback server
// (else an offline start on the copy).
BENCHMARK(StartToPaintedList)
    ->ArgNames({"programs", "served"})
    ->Args({300, 1})
    ->Args({1000, 1})
    ->Args({300, 0})
    ->Iterations(kRuns)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallBoxProbe)

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    if (argc > 1 && std::strcmp(argv[1], kChildFlag) == 0) return RunChild(argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
