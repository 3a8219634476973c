#pragma once
// The demo catalog and the server that hands it to the box on a loopback
// port: the catalog "/box.txt", a homepage and a tutorial page per program,
// and a few installed demo programs for the box folder.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/Text.h"

namespace box::test {
class LoopbackServer;
class Fake360Service;
class FakeTongbupanService;
class FakeBaiduService;
}  // namespace box::test

namespace box::demo {

constexpr int kDefaultProgramCount = 40;
constexpr int kDefaultPort = 8765;
// The value of "下载源" in section "盒子". The box hands it to the share-link
// resolvers and leaves it out of its offline copy, which makes the copy easy
// to check by eye.
constexpr const char* kDemoDownloadSource = "demo-cookie=never-on-disk";

// One program of the demo catalog. Texts are UTF-8.
struct DemoProgram {
    int index = 0;              // 1-based position in the catalog
    std::string name;           // the section name, "汀芷·" + title
    std::string latestVersion;  // "最新版本"
    int kind = 0;               // "软件类型": 1 free, 2 game, else paid
    int tutorials = 0;          // how many tutorial addresses (0 to 2)
};

// The first count programs (count is kept within 1 to 500).
std::vector<DemoProgram> DemoPrograms(int count = kDefaultProgramCount);

// The catalog: GBK, CR LF line ends; every address points at baseUrl
// ("http://127.0.0.1:8765") except the download sources given in sources
// (program index -> UTF-8 source). Section "盒子" names the box's own
// version, so the box offers no update of itself.
Text DemoCatalog(const std::string& baseUrl, int count = kDefaultProgramCount,
                 const std::map<int, std::string>& sources = {});

// The UTF-8 pages of a program: its homepage and a part of its tutorial.
std::string DemoHomePage(const DemoProgram& program);
std::string DemoTutorialPage(const DemoProgram& program, int part);

// The program's archive as the server hands it out: "name\name.exe" (with
// the catalog's version and the program's icon) and a short read-me, RAR 4
// for odd positions and RAR 5 for even ones.
std::string DemoArchive(const DemoProgram& program);

// A program of the demo catalog that the demo box folder holds already, and
// the FileVersion of its executable.
struct DemoInstall {
    int index = 0;  // 1-based position in the catalog
    std::string fileVersion;
    std::uint32_t colour = 0;  // of its icon, 0xAARRGGBB
};

// Which programs of a catalog of count programs are installed: some at the
// catalog's latest version, some older.
std::vector<DemoInstall> DemoInstalls(int count = kDefaultProgramCount);

// Writes boxFolder/name/name.exe for every DemoInstalls entry: a small
// executable with a version resource and an icon of its own. False when a
// file cannot be written.
bool InstallDemoPrograms(const std::filesystem::path& boxFolder, int count = kDefaultProgramCount);

struct DemoOptions {
    int port = kDefaultPort;  // 0: any free port
    int programs = kDefaultProgramCount;
    int failFirst = 0;  // the first failFirst catalog requests get 503
    int slowMs = 0;     // every answer waits this long
    // Non-empty: the last three programs come through the stand-ins of the
    // 360, Tongbupan and Baidu share services, whose test certificate goes
    // into this folder. They need ports 80 and 443 of 127.0.0.36 and
    // 127.0.0.37; when those cannot be bound, the programs keep their plain
    // addresses and the log says so once.
    std::filesystem::path shareFolder{};
};

// The demo server on 127.0.0.1. Every program's archive is "/files/N.rar";
// "/box.rar", the box's own package, answers 404 (the demo offers no update).
class DemoServer {
public:
    // log, when set, hears one line per answered request.
    explicit DemoServer(const DemoOptions& options,
                        std::function<void(const std::string&)> log = {});
    ~DemoServer();
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    bool ok() const;
    int port() const;
    std::string BaseUrl() const;     // "http://127.0.0.1:port"
    std::string CatalogUrl() const;  // BaseUrl() + "/box.txt"
    int CatalogRequests() const { return catalogRequests_; }
    // The box's environment for the share-service stand-ins ("NAME=value"),
    // empty when they are not running.
    const std::vector<std::string>& ShareEnvironment() const { return shareEnvironment_; }
    void Stop();

private:
    bool StartShareServices(const DemoOptions& options, std::map<int, std::string>& sources,
                            const std::function<void(const std::string&)>& log);

    std::unique_ptr<test::LoopbackServer> server_;
    std::unique_ptr<test::Fake360Service> share360_;
    std::unique_ptr<test::FakeTongbupanService> tongbupan_;
    std::unique_ptr<test::FakeBaiduService> baidu_;
    std::vector<std::string> shareEnvironment_;
    std::atomic<int> catalogRequests_{0};
};

}  // namespace box::demo
