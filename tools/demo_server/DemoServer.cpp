#include "DemoServer.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "LoopbackServer.h"
#include "PeWriter.h"
#include "RarWriter.h"
#include "ServiceFakes.h"

#ifndef SOFTBOX_BOX_VERSION
#error "SOFTBOX_BOX_VERSION must name the box's own version"
#endif

namespace box::demo {

namespace {

constexpr std::array<const char*, 40> kTitles = {
    "文件批量改名", "图片压缩精灵", "屏幕录像专家", "文本批量替换", "快捷启动面板", "定时关机助手",
    "剪贴板记录器", "音频格式转换", "截图标注工具", "桌面便签",     "网页批量下载", "Excel合并助手",
    "PDF分割合并",  "视频格式工厂", "批量水印添加", "重复文件查找", "文件夹同步",   "二维码生成器",
    "字体预览工具", "图片格式转换", "批量打印助手", "屏幕取色器",   "键盘连点器",   "文件加密箱",
    "系统信息查看", "磁盘空间分析", "倒计时提醒",   "窗口置顶工具", "拼音批量标注", "番茄时钟",
    "记账小本",     "随机点名器",   "五子棋",       "数独挑战",     "扫雷经典版",   "俄罗斯方块",
    "贪吃蛇",       "连连看",       "成语接龙",     "找不同"};
// The titles from here on are small games.
constexpr std::size_t kFirstGame = 32;
constexpr int kMaxPrograms = 500;

// Installed programs: position in the catalog, and whether the installed
// version is the latest one (else one minor version older).
struct InstallPlan {
    int index;
    bool latest;
    std::uint32_t colour;
};
constexpr std::array<InstallPlan, 6> kInstalls = {{
    {1, true, 0xFF2E7D32},
    {2, false, 0xFF1565C0},
    {5, true, 0xFFC62828},
    {8, false, 0xFFEF6C00},
    {13, true, 0xFF6A1B9A},
    {34, false, 0xFF00838F},
}};

struct Version {
    int major, minor, build;
    std::string text() const {
        return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) +
               ".0";
    }
};

Version LatestVersion(int index) {
    return {1 + index % 3, 1 + index % 7, index % 5};
}

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head>\n<body style=\"font-family:sans-serif;margin:3em\">\n<h1>" + title +
           "</h1>\n" + body + "\n<p><small>软件盒子演示服务器</small></p>\n</body></html>\n";
}

// A round badge in the program's colour with a white centre, at 32 and 16
// pixels, so every installed program shows an icon of its own.
IconPicture Badge(int size, std::uint32_t colour) {
    IconPicture picture = test::SolidPicture(size, size, 0);
    const double centre = (size - 1) / 2.0;
    const double outer = size / 2.0 - 0.5;
    const double inner = outer * 0.4;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double d = std::hypot(x - centre, y - centre);
            std::uint32_t& pixel = picture.argb[static_cast<std::size_t>(y * size + x)];
            if (d <= inner) {
                pixel = 0xFFFFFFFF;
            } else if (d <= outer) {
                pixel = colour;
            }
        }
    }
    return picture;
}

int PartOf(const std::string& target) {
    return target.find("part=2") != std::string::npos ? 2 : 1;
}

}  // namespace

std::vector<DemoProgram> DemoPrograms(int count) {
    count = std::clamp(count, 1, kMaxPrograms);
    std::vector<DemoProgram> programs;
    for (int i = 1; i <= count; ++i) {
        const std::size_t slot = static_cast<std::size_t>(i - 1) % kTitles.size();
        const std::size_t round = static_cast<std::size_t>(i - 1) / kTitles.size();
        DemoProgram p;
        p.index = i;
        p.name = std::string("汀芷·") + kTitles[slot] + (round ? std::to_string(round + 1) : "");
        p.latestVersion = LatestVersion(i).text();
        p.kind = slot >= kFirstGame ? 2 : (i % 2 == 0 ? 1 : 0);
        p.tutorials = i % 3 == 0 ? 0 : (i % 5 == 0 ? 2 : 1);
        programs.push_back(std::move(p));
    }
    return programs;
}

Text DemoCatalog(const std::string& baseUrl, int count, const std::map<int, std::string>& sources) {
    std::string utf8;
    auto line = [&](const std::string& text) { utf8 += text + "\r\n"; };
    line("[盒子]");
    line(std::string("下载源=") + kDemoDownloadSource);
    line("最新版本=" SOFTBOX_BOX_VERSION);
    line("下载地址=" + baseUrl + "/box.rar");
    line("允许选择=是");
    for (const DemoProgram& p : DemoPrograms(count)) {
        const std::string n = std::to_string(p.index);
        std::string tutorial;
        if (p.tutorials >= 1) tutorial = baseUrl + "/video/" + n + ".html";
        if (p.tutorials >= 2) tutorial += "|" + baseUrl + "/video/" + n + ".html?part=2";
        line("[" + p.name + "]");
        line("最新版本=" + p.latestVersion);
        line("软件主页=" + baseUrl + "/home/" + n + ".html");
        const auto source = sources.find(p.index);
        line("下载地址=" +
             (source != sources.end() ? source->second : baseUrl + "/files/" + n + ".rar"));
        line("是否打开=否");
        line("视频教程=" + tutorial);
        line("软件类型=" + std::to_string(p.kind));
    }
    return Utf8ToGbk(utf8);
}

std::string DemoHomePage(const DemoProgram& program) {
    return Page(program.name,
                "<p>最新版本 " + program.latestVersion + "。这是演示服务器上的软件主页。</p>");
}

std::string DemoTutorialPage(const DemoProgram& program, int part) {
    return Page(program.name + " 视频教程", "<p>第 " + std::to_string(part) + " 集（共 " +
                                                std::to_string(program.tutorials) +
                                                " 集）。这是演示服务器上的教程页。</p>");
}

namespace {

// The icon colour of a program: a fixed one for the installed ones, else one
// of a small wheel.
std::uint32_t ProgramColour(int index) {
    for (const InstallPlan& plan : kInstalls) {
        if (plan.index == index) return plan.colour;
    }
    static constexpr std::uint32_t kWheel[] = {0xFF558B2F, 0xFF0277BD, 0xFFAD1457,
                                               0xFF4E342E, 0xFF283593, 0xFFF9A825};
    return kWheel[static_cast<std::size_t>(index) % std::size(kWheel)];
}

}  // namespace

std::string DemoArchive(const DemoProgram& program) {
    test::PeLayout layout = test::ProgramLayout(program.latestVersion);
    const std::uint32_t colour = ProgramColour(program.index);
    layout.icons = {{Badge(32, colour), test::IconFormat::kDib32},
                    {Badge(16, colour), test::IconFormat::kDib32}};
    const std::string folder = program.name + "/";
    const std::vector<test::RarEntry> entries = {
        test::RarDirectory(program.name),
        test::RarFile(folder + program.name + ".exe", test::BuildPe(layout)),
        test::RarFile(folder + "说明.txt", Utf8ToGbk(program.name + " " + program.latestVersion +
                                                     "\r\n软件盒子演示服务器上的演示程序。\r\n")),
    };
    return test::BuildRar(program.index % 2 ? test::RarFormat::kRar4 : test::RarFormat::kRar5,
                          entries);
}

std::vector<DemoInstall> DemoInstalls(int count) {
    const std::vector<DemoProgram> programs = DemoPrograms(count);
    std::vector<DemoInstall> installs;
    for (const InstallPlan& plan : kInstalls) {
        if (plan.index > static_cast<int>(programs.size())) continue;
        Version v = LatestVersion(plan.index);
        if (!plan.latest) --v.minor;
        installs.push_back({plan.index, v.text(), plan.colour});
    }
    return installs;
}

bool InstallDemoPrograms(const std::filesystem::path& boxFolder, int count) {
    const std::vector<DemoProgram> programs = DemoPrograms(count);
    for (const DemoInstall& install : DemoInstalls(count)) {
        const DemoProgram& program = programs[static_cast<std::size_t>(install.index - 1)];
        test::PeLayout layout = test::ProgramLayout(install.fileVersion);
        layout.icons = {{Badge(32, install.colour), test::IconFormat::kDib32},
                        {Badge(16, install.colour), test::IconFormat::kDib32}};
        if (!test::InstallProgram(boxFolder, program.name, layout)) return false;
    }
    return true;
}

DemoServer::DemoServer(const DemoOptions& options, std::function<void(const std::string&)> log) {
    test::ServerOptions serverOptions;
    serverOptions.port = options.port;
    server_ = std::make_unique<test::LoopbackServer>(serverOptions);
    if (!server_->ok()) return;
    auto say = [log](const test::RecordedRequest& request, int status) {
        if (log) log(request.method + " " + request.target + " " + std::to_string(status));
    };
    const int slowMs = std::max(0, options.slowMs);
    const int failFirst = std::max(0, options.failFirst);

    std::map<int, std::string> sources;
    if (!options.shareFolder.empty()) StartShareServices(options, sources, log);
    const std::string catalog = DemoCatalog(BaseUrl(), options.programs, sources);
    server_->SetHandler("/box.txt", [=, this](const test::RecordedRequest& request) {
        test::Answer answer;
        answer.delayMs = slowMs;
        if (++catalogRequests_ <= failFirst) {
            answer.status = 503;
            answer.body = "503 Service Unavailable (--fail-first)\n";
            answer.contentType = "text/plain";
        } else {
            answer.body = catalog;
            answer.contentType = "text/plain; charset=gbk";
        }
        say(request, answer.status);
        return answer;
    });

    // The box's own package: the demo catalog offers no update of the box.
    auto noArchive = [=](const test::RecordedRequest& request) {
        say(request, 404);
        return test::Answer{404, "no archives on the demo server yet\n", "text/plain", {}, slowMs};
    };
    server_->SetHandler("/box.rar", noArchive);
    for (const DemoProgram& program : DemoPrograms(options.programs)) {
        const std::string n = std::to_string(program.index);
        server_->SetHandler("/home/" + n + ".html", [=](const test::RecordedRequest& request) {
            say(request, 200);
            return test::Answer{200, DemoHomePage(program), "text/html; charset=utf-8", {}, slowMs};
        });
        server_->SetHandler("/video/" + n + ".html", [=](const test::RecordedRequest& request) {
            say(request, 200);
            return test::Answer{200,
                                DemoTutorialPage(program, PartOf(request.target)),
                                "text/html; charset=utf-8",
                                {},
                                slowMs};
        });
        const std::string archive = DemoArchive(program);
        server_->SetHandler("/files/" + n + ".rar", [=](const test::RecordedRequest& request) {
            say(request, 200);
            return test::Answer{200, archive, "application/x-rar-compressed", {}, slowMs};
        });
    }
}

bool DemoServer::StartShareServices(const DemoOptions& options, std::map<int, std::string>& sources,
                                    const std::function<void(const std::string&)>& log) {
    const std::vector<DemoProgram> programs = DemoPrograms(options.programs);
    if (programs.size() < 3) return false;
    const DemoProgram& via360 = programs[programs.size() - 3];
    const DemoProgram& viaTongbupan = programs[programs.size() - 2];
    const DemoProgram& viaBaidu = programs[programs.size() - 1];
    const test::TestTlsFiles tls = test::CreateTestTlsFiles(options.shareFolder, {"127.0.0.37"});

    test::Fake360Options o360;
    const std::string n360 = std::to_string(via360.index);
    o360.downloadUrl = "http://127.0.0.36/dl/" + n360 + "/" + n360 + ".rar?sign=demo";
    test::FakeTongbupanOptions oTongbupan;
    oTongbupan.certificate = tls.serverCertificate;
    oTongbupan.privateKey = tls.serverKey;
    oTongbupan.finalLocation =
        "https://127.0.0.37/files/" + std::to_string(viaTongbupan.index) + ".rar";
    test::FakeBaiduOptions oBaidu;
    oBaidu.cookie = kDemoDownloadSource;
    oBaidu.path = "演示/" + viaBaidu.name + ".rar";
    if (tls.ok()) {
        share360_ = std::make_unique<test::Fake360Service>(o360);
        tongbupan_ = std::make_unique<test::FakeTongbupanService>(oTongbupan);
        baidu_ = std::make_unique<test::FakeBaiduService>(oBaidu);
    }
    if (!tls.ok() || !share360_->ok() || !tongbupan_->ok() || !baidu_->ok()) {
        share360_.reset();
        tongbupan_.reset();
        baidu_.reset();
        if (log) {
            log(tls.ok() ? "share-service stand-ins left out: ports 80/443 of 127.0.0.36 and "
                           "127.0.0.37 cannot be bound (needs root or CAP_NET_BIND_SERVICE)"
                         : "share-service stand-ins left out: no test certificate (openssl)");
        }
        return false;
    }

    // Where each service finally sends the download: the program's archive.
    auto serve = [&log](test::LoopbackServer& server, const std::string& path,
                        const DemoProgram& program) {
        const std::string archive = DemoArchive(program);
        server.SetHandler(path, [archive, log](const test::RecordedRequest& request) {
            if (log) log("share stand-in: " + request.method + " " + request.target + " 200");
            return test::Answer{200, archive, "application/x-rar-compressed"};
        });
    };
    serve(share360_->shareServer(), "/dl/" + n360 + "/" + n360 + ".rar", via360);
    // The resolver turns the final https address into http on port 80.
    serve(*tongbupan_->plainServer(), "/files/" + std::to_string(viaTongbupan.index) + ".rar",
          viaTongbupan);
    serve(baidu_->server(), "/cdn/" + oBaidu.path, viaBaidu);

    sources[via360.index] = share360_->ShortLink();
    sources[viaTongbupan.index] = tongbupan_->ShortLink();
    sources[viaBaidu.index] = oBaidu.path;
    shareEnvironment_ = {
        "SOFTBOX_360_HOST=" + share360_->ShortHost(),
        "SOFTBOX_TONGBUPAN_HOST=" + tongbupan_->WebHost(),
        "SOFTBOX_TONGBUPAN_SHORT_HOST=" + tongbupan_->ShortHost(),
        "SOFTBOX_BAIDU_HOST=" + baidu_->Host(),
        "SOFTBOX_CA_FILE=" + tls.caCertificate.string(),
    };
    return true;
}

DemoServer::~DemoServer() {
    Stop();
}

bool DemoServer::ok() const {
    return server_ && server_->ok();
}

int DemoServer::port() const {
    return ok() ? server_->port() : 0;
}

std::string DemoServer::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(port());
}

std::string DemoServer::CatalogUrl() const {
    return BaseUrl() + "/box.txt";
}

void DemoServer::Stop() {
    if (server_) server_->Stop();
    share360_.reset();
    tongbupan_.reset();
    baidu_.reset();
}

}  // namespace box::demo
