#include "catalog/CatalogParser.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "catalog/CatalogIndex.h"
#include "catalog/InstalledProgram.h"
#include "settings/SettingsCodec.h"
#include "settings/SettingsStore.h"
#include "support/PumpThrottle.h"

namespace box {

namespace {

// Longest name whose "name.exe" still fits in one path component (255 bytes
// of UTF-8 on common file systems).
constexpr std::size_t kMaxNameUtf8Bytes = 251;

bool IsReservedDeviceName(const std::string& utf8) {
    // Windows refuses these as file names, with or without an extension.
    const Text base = AsciiLower(utf8.substr(0, utf8.find('.')));
    static const std::array<const char*, 4> kPlain = {"con", "prn", "aux", "nul"};
    for (const char* n : kPlain) {
        if (base == n) return true;
    }
    return base.size() == 4 && (base.rfind("com", 0) == 0 || base.rfind("lpt", 0) == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

// A number read from the catalog as an int, truncated toward zero; values
// outside the int range (or not numbers at all) must not be undefined.
int TruncateToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return -2147483647 - 1;
    return static_cast<int>(v);
}

// The store finds keys only after CR LF: a catalog saved with LF alone
// (as Linux editors do) would list its programs without a single value.
// The parser's store is never saved, so its copy may have CR LF throughout.
Text WithCrLfLineEnds(const Text& text) {
    const auto lineFeeds = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    if (lineFeeds == 0) return text;
    Text out;
    out.reserve(text.size() + lineFeeds);
    char previous = 0;
    for (char c : text) {
        if (c == '\n' && previous != '\r') out += '\r';
        out += c;
        previous = c;
    }
    return out;
}

// The parser's own pump: the window's events run at most every few
// milliseconds. The parser's store and index belong to the parser alone, so no
// handler can change what they answer; a round trip through the event loop
// for each of the catalog's thousands of lines and keys made a large catalog
// wait for the loop rather than for its text.
class ThrottledPump : public EventPump {
public:
    explicit ThrottledPump(EventPump& pump) : pump_(pump), throttle_(&pump) {}
    void ProcessPendingEvents() override { throttle_.Tick(); }
    void Sleep(int milliseconds) override { pump_.Sleep(milliseconds); }

private:
    EventPump& pump_;
    PumpThrottle throttle_;
};

// Reads of one section of the parser's store, answered from its index. Reads
// let waiting events run, as the store's own reads do.
class SectionReader {
public:
    SectionReader(CatalogIndex& index, EventPump& pump) : index_(index), pump_(pump) {}
    void select(const Text& section) { section_ = section; }
    Text text(const Text& key) {
        auto value = find(key);
        return value ? DecodeTextValue(Text(*value)) : Text();
    }
    double number(const Text& key) {
        auto value = find(key);
        return value ? ParseNumberValue(Text(*value)) : 0;
    }

private:
    std::optional<std::string_view> find(const Text& key) {
        pump_.ProcessPendingEvents();
        return index_.find(section_, key);
    }

    CatalogIndex& index_;
    EventPump& pump_;
    Text section_;
};

}  // namespace

bool IsSafeProgramName(const Text& name) {
    if (name.empty() || name == "." || name == "..") return false;
    bool ok = false;
    const std::string utf8 = ConvertEncoding(name, "GBK", "UTF-8", &ok);
    if (!ok || utf8.empty() || utf8.size() > kMaxNameUtf8Bytes) return false;
    // Checked on the UTF-8 form: there every byte below 0x80 is the character
    // itself, while in GBK a trail byte may look like "\" or "|".
    for (char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F) return false;
        switch (c) {
            case '\\':
            case '/':
            case ':':
            case '*':
            case '?':
            case '"':
            case '<':
            case '>':
            case '|':
                return false;
            default:
                break;
        }
    }
    // Windows drops trailing dots and blanks, so "a." would be folder "a".
    if (utf8.back() == '.' || utf8.back() == ' ') return false;
    return !IsReservedDeviceName(utf8);
}

int ParseCatalog(const Text& catalogText, CatalogContext& context, Text& boxDownloadSource) {
    static const Text kBoxSection = "盒子"_gbk;
    static const Text kDownloadSource = "下载源"_gbk;
    static const Text kLatestVersion = "最新版本"_gbk;
    static const Text kDownloadAddress = "下载地址"_gbk;
    static const Text kAllowChoice = "允许选择"_gbk;
    static const Text kPackageSha256 = "校验"_gbk;
    static const Text kYes = "是"_gbk;
    static const Text kMaker = "汀芷·"_gbk;
    static const Text kOfficialOrder = "软件排序_官方顺序"_gbk;
    static const Text kHomepage = "软件主页"_gbk;
    static const Text kOpenPage = "是否打开"_gbk;
    static const Text kTutorial = "视频教程"_gbk;
    static const Text kKind = "软件类型"_gbk;
    static const Text kBrokenCatalog = "配置文件出错。请咨询汀芷！"_gbk;

    ThrottledPump parserPump(context.pump);
    SettingsStore parser(parserPump, context.dialogs);
    parser.openPath({}, true);
    parser.appendText(WithCrLfLineEnds(catalogText));
    CatalogIndex index(parser.getText());
    SectionReader read(index, parserPump);

    std::vector<Text> names;
    parser.listSections(names, kMaker);
    // A section whose name could reach outside the box folder never becomes
    // a program: its folder would be written into and deleted.
    std::erase_if(names, [](const Text& n) { return !IsSafeProgramName(n); });
    const int n = static_cast<int>(names.size());

    read.select(kBoxSection);
    boxDownloadSource = read.text(kDownloadSource);
    if (context.hooks.downloadSourceRead) context.hooks.downloadSourceRead(boxDownloadSource, n);

    const Text boxVersion = read.text(kLatestVersion);
    Text packageAddress = read.text(kDownloadAddress);
    const bool allowChoice = read.text(kAllowChoice) == kYes;
    if (context.hooks.packageSha256Read) {
        context.hooks.packageSha256Read(read.text(kPackageSha256));
    }
    if (context.hooks.checkSelfUpdate &&
        context.hooks.checkSelfUpdate(boxVersion, packageAddress, allowChoice)) {
        return 0;
    }

    const CatalogHooks& hooks = context.hooks;
    if (hooks.programsListed) hooks.programsListed(n);
    // Every program's place in the catalog, in one edit of the settings: one
    // write per program let events run and read the whole settings file back
    // each time.
    std::vector<std::pair<Text, double>> officialOrder;
    officialOrder.reserve(names.size());
    for (int i = 1; i <= n; ++i)
        officialOrder.emplace_back(names[static_cast<std::size_t>(i - 1)], i);
    context.settings.selectSection(kOfficialOrder);
    context.settings.writeNumbers(officialOrder);

    const ProgramFolders folders(context.boxFolder);
    for (int i = 1; i <= n; ++i) {
        const Text& name = names[static_cast<std::size_t>(i - 1)];
        CatalogEntry entry;
        read.select(name);
        entry.name = name;
        entry.latestVersion = read.text(kLatestVersion);
        entry.homepage = read.text(kHomepage);
        entry.downloadUrl = read.text(kDownloadAddress);
        entry.openDownloadPage = read.text(kOpenPage) == kYes;
        entry.tutorialUrl = read.text(kTutorial);
        entry.kind = TruncateToInt(read.number(kKind));
        entry.retryCount = 0;
        RefreshEntryStatus(entry, context.boxFolder, folders);
        if (hooks.programRead) hooks.programRead(i, std::move(entry));
    }
    if (hooks.programsDone) hooks.programsDone();

    if (n == 0) {
        ShowPlainMessage(context.dialogs, kBrokenCatalog, kMbOk);
        if (context.hooks.exitBox) context.hooks.exitBox(0);
    }
    return n;
}

}  // namespace box
