#include "platform/ShellLink.h"

#include <sys/stat.h>

#include <array>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <vector>

#include "support/BoxFolder.h"
#include "support/ByteOrder.h"

namespace box {

namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::array<unsigned char, 16> kLinkClsid = {
    0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

enum LinkFlag : std::uint32_t {
    kHasLinkTargetIdList = 0x1,
    kHasLinkInfo = 0x2,
    kHasName = 0x4,
    kHasRelativePath = 0x8,
    kHasWorkingDir = 0x10,
    kHasArguments = 0x20,
    kHasIconLocation = 0x40,
    kIsUnicode = 0x80,
    kForceNoLinkInfo = 0x100,
};

enum LinkInfoFlag : std::uint32_t {
    kVolumeIdAndLocalBasePath = 0x1,
    kCommonNetworkRelativeLinkAndPathSuffix = 0x2,
};

constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeArchive = 0x20;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kLinkInfoHeaderAnsi = 0x1C;
constexpr std::uint32_t kLinkInfoHeaderUnicode = 0x24;
constexpr std::uint32_t kNetLinkHeaderAnsi = 0x14;
constexpr std::uint32_t kNetLinkHeaderUnicode = 0x1C;

// Shell items of an ID list that name a file-system path: the "My Computer"
// root, a drive, then one file entry per folder and file.
constexpr std::array<unsigned char, 16> kMyComputerClsid = {
    0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69, 0x10, 0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
constexpr std::uint32_t kRootItemType = 0x1F;
constexpr std::uint32_t kItemKindMask = 0x70;
constexpr std::uint32_t kVolumeItemKind = 0x20;
constexpr std::uint32_t kVolumeHasName = 0x01;
constexpr std::uint32_t kFileEntryKind = 0x30;
constexpr std::uint32_t kFileEntryUnicodeName = 0x04;
constexpr std::size_t kFileEntryNameOffset = 14;
constexpr std::uint32_t kFileEntryExtension = 0xBEEF0004;

// ---------------------------------------------------------------- encoding

// GBK -> UTF-16LE bytes. Malformed GBK becomes '?' first, so this never fails.
std::string ToUtf16(const Text& gbk) {
    return ConvertEncoding(GbkToUtf8(gbk), "UTF-8", "UTF-16LE");
}

// UTF-16LE bytes -> GBK, one '?' for each character that GBK lacks (unpaired
// surrogates included), so a damaged name still reads as text.
Text FromUtf16(std::string_view utf16) {
    return Utf16LeToGbk(utf16);
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// ---------------------------------------------------------------- reading

// Bounds-checked little-endian reads over a byte range; every read that would
// leave the range fails instead.
class ByteView {
public:
    explicit ByteView(std::string_view bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }

    bool U16(std::size_t at, std::uint32_t& out) const { return ReadLe16(bytes_, at, out); }
    bool U32(std::size_t at, std::uint32_t& out) const { return ReadLe32(bytes_, at, out); }
    bool Slice(std::size_t at, std::size_t length, std::string_view& out) const {
        if (at > bytes_.size() || bytes_.size() - at < length) return false;
        out = bytes_.substr(at, length);
        return true;
    }
    bool U8(std::size_t at, std::uint32_t& out) const { return ReadLe8(bytes_, at, out); }
    // A zero-terminated byte string starting at `at`; `next` is set past its
    // terminator.
    bool CString(std::size_t at, Text& out, std::size_t* next = nullptr) const {
        if (at >= bytes_.size()) return false;
        std::size_t end = bytes_.find('\0', at);
        if (end == std::string_view::npos) return false;
        out.assign(bytes_.substr(at, end - at));
        if (next) *next = end + 1;
        return true;
    }
    // A UTF-16LE string ending in a zero unit, starting at `at`.
    bool WString(std::size_t at, Text& out, std::size_t* next = nullptr) const {
        for (std::size_t i = at; i < bytes_.size() && bytes_.size() - i >= 2; i += 2) {
            if (bytes_[i] == '\0' && bytes_[i + 1] == '\0') {
                out = FromUtf16(bytes_.substr(at, i - at));
                if (next) *next = i + 2;
                return true;
            }
        }
        return false;
    }

private:
    std::string_view bytes_;
};

// The local path of a LinkInfo: the Unicode copy when there is one, else the
// ANSI path; with the common path suffix appended.
bool ReadLocalPath(const ByteView& info, std::uint32_t headerSize, Text& target) {
    std::uint32_t volumeOffset = 0, baseOffset = 0, suffixOffset = 0, volumeSize = 0;
    if (!info.U32(12, volumeOffset) || !info.U32(16, baseOffset) || !info.U32(24, suffixOffset))
        return false;
    if (!info.U32(volumeOffset, volumeSize) || volumeSize < 0x10) return false;
    std::string_view volume;
    if (!info.Slice(volumeOffset, volumeSize, volume)) return false;

    Text base, suffix;
    if (!info.CString(baseOffset, base)) return false;
    if (suffixOffset != 0 && !info.CString(suffixOffset, suffix)) return false;

    if (headerSize >= kLinkInfoHeaderUnicode) {
        std::uint32_t baseUnicode = 0, suffixUnicode = 0;
        if (!info.U32(28, baseUnicode) || !info.U32(32, suffixUnicode)) return false;
        if (baseUnicode != 0) {
            Text wideBase, wideSuffix;
            if (!info.WString(baseUnicode, wideBase)) return false;
            if (suffixUnicode != 0 && !info.WString(suffixUnicode, wideSuffix)) return false;
            if (!wideBase.empty()) {
                base = wideBase;
                if (suffixUnicode != 0) suffix = wideSuffix;
            }
        }
    }
    target = base + suffix;
    return true;
}

// The share name of a network LinkInfo, joined with the common path suffix.
bool ReadNetworkPath(const ByteView& info, Text& target) {
    std::uint32_t netOffset = 0, suffixOffset = 0, netSize = 0, nameOffset = 0;
    if (!info.U32(20, netOffset) || !info.U32(24, suffixOffset)) return false;
    if (!info.U32(netOffset, netSize) || netSize < kNetLinkHeaderAnsi) return false;
    std::string_view netBytes;
    if (!info.Slice(netOffset, netSize, netBytes)) return false;
    ByteView net(netBytes);
    if (!net.U32(8, nameOffset)) return false;

    Text name, suffix;
    if (!net.CString(nameOffset, name)) return false;
    if (nameOffset > kNetLinkHeaderAnsi) {
        std::uint32_t nameUnicode = 0;
        if (!net.U32(kNetLinkHeaderAnsi, nameUnicode)) return false;
        Text wide;
        if (nameUnicode != 0 && net.WString(nameUnicode, wide) && !wide.empty()) name = wide;
    }
    if (suffixOffset != 0 && !info.CString(suffixOffset, suffix)) return false;
    target = suffix.empty() ? name : name + "\\" + suffix;
    return true;
}

// Parses the LinkInfo at `at`; advances `at` past it.
bool ReadLinkInfo(const ByteView& file, std::size_t& at, Text& target) {
    std::uint32_t size = 0, headerSize = 0, flags = 0;
    if (!file.U32(at, size) || size < kLinkInfoHeaderAnsi) return false;
    std::string_view bytes;
    if (!file.Slice(at, size, bytes)) return false;
    at += size;
    ByteView info(bytes);
    if (!info.U32(4, headerSize) || !info.U32(8, flags)) return false;
    if (headerSize < kLinkInfoHeaderAnsi || headerSize > size) return false;

    if (flags & kVolumeIdAndLocalBasePath) return ReadLocalPath(info, headerSize, target);
    if (flags & kCommonNetworkRelativeLinkAndPathSuffix) return ReadNetworkPath(info, target);
    target.clear();
    return true;
}

bool ReadCountedString(const ByteView& file, std::size_t& at, bool unicode, Text& out) {
    std::uint32_t count = 0;
    if (!file.U16(at, count)) return false;
    std::size_t length = unicode ? std::size_t{count} * 2 : count;
    std::string_view raw;
    if (!file.Slice(at + 2, length, raw)) return false;
    at += 2 + length;
    out = unicode ? FromUtf16(raw) : Text(raw);
    return true;
}

// The long name in a file entry's extension block; its place depends on the
// block's version. "" when the block has none.
Text ExtensionLongName(const ByteView& block) {
    std::uint32_t version = 0;
    if (!block.U16(2, version) || version < 3) return {};
    std::size_t at = version >= 9 ? 46 : version == 8 ? 42 : version == 7 ? 38 : 20;
    // The block's last two bytes are an offset, never part of the name.
    if (block.size() < 2 || at >= block.size() - 2) return {};
    std::string_view inside;
    if (!block.Slice(0, block.size() - 2, inside)) return {};
    Text name;
    return ByteView(inside).WString(at, name) ? name : Text();
}

// The name of a file entry: the long Unicode name of its extension block
// where there is one, else its primary (short) name.
bool FileEntryName(const ByteView& item, std::uint32_t type, Text& name) {
    std::size_t end = 0;
    bool read = (type & kFileEntryUnicodeName) ? item.WString(kFileEntryNameOffset, name, &end)
                                               : item.CString(kFileEntryNameOffset, name, &end);
    if (!read) return false;
    end += end & 1;  // the extension blocks start on an even offset
    for (;;) {
        std::uint32_t size = 0, signature = 0;
        if (!item.U16(end, size) || size < 8 || !item.U32(end + 4, signature)) break;
        std::string_view block;
        if (!item.Slice(end, size, block)) break;
        if (signature == kFileEntryExtension) {
            Text wide = ExtensionLongName(ByteView(block));
            if (!wide.empty()) name = wide;
            break;
        }
        end += size;
    }
    return !name.empty();
}

// The file-system path an ID list names ("C:\a\b.exe"), or "" when it names
// something else (a network place, a virtual folder) or is damaged.
Text IdListPath(std::string_view idList) {
    ByteView list(idList);
    Text path;
    std::size_t index = 0;
    for (std::size_t at = 0;; ++index) {
        std::uint32_t size = 0, type = 0;
        if (!list.U16(at, size)) return {};
        if (size == 0) break;  // the terminal item
        std::string_view bytes;
        if (size < 3 || !list.Slice(at, size, bytes)) return {};
        at += size;
        ByteView item(bytes);
        item.U8(2, type);
        if (index == 0) {
            std::string_view clsid;
            if (type != kRootItemType || !item.Slice(4, 16, clsid) ||
                clsid !=
                    std::string_view(reinterpret_cast<const char*>(kMyComputerClsid.data()), 16))
                return {};
        } else if (index == 1) {
            Text drive;
            if ((type & kItemKindMask) != kVolumeItemKind || !(type & kVolumeHasName) ||
                !item.CString(3, drive) || drive.size() != 3 ||
                !std::isalpha(static_cast<unsigned char>(drive[0])) || drive[1] != ':' ||
                drive[2] != '\\')
                return {};
            path = drive;
        } else {
            Text name;
            if ((type & kItemKindMask) != kFileEntryKind || !FileEntryName(item, type, name))
                return {};
            if (path.back() != '\\') path += '\\';
            path += name;
        }
    }
    return path;
}

// Splits at "\" and "/", stepping over GBK characters so a trail byte 0x5C is
// no separator.
std::vector<Text> PathComponents(const Text& path) {
    std::vector<Text> parts(1);
    for (std::size_t i = 0; i < path.size();) {
        std::size_t n = GbkCharLength(path, i);
        if (n == 1 && (path[i] == '\\' || path[i] == '/')) {
            parts.emplace_back();
        } else {
            parts.back().append(path, i, n);
        }
        i += n;
    }
    return parts;
}

// A link's relative path applied to the folder the link lies in. Walking
// above the folder's root gives "".
Text ResolveRelative(const Text& folder, const Text& relative) {
    if (folder.empty() || relative.empty()) return {};
    Text result = folder;
    for (const Text& part : PathComponents(relative)) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            Text up = FolderPart(result);
            if (up.empty() || up.back() == ':') return {};
            result = up;
        } else {
            result += "\\" + part;
        }
    }
    return result;
}

// ---------------------------------------------------------------- writing

std::uint64_t ToFileTime(const struct timespec& ts) {
    constexpr std::int64_t kEpochDifference = 11644473600;  // 1601-01-01 to 1970-01-01
    std::int64_t seconds = static_cast<std::int64_t>(ts.tv_sec) + kEpochDifference;
    if (seconds < 0) return 0;
    return static_cast<std::uint64_t>(seconds) * 10000000u +
           static_cast<std::uint64_t>(ts.tv_nsec / 100);
}

// Header facts about the target file, taken from the file when it exists.
struct TargetFacts {
    std::uint32_t attributes = kFileAttributeArchive;
    std::uint64_t accessTime = 0;
    std::uint64_t writeTime = 0;
    std::uint32_t size = 0;
};

TargetFacts StatTarget(const Text& target) {
    TargetFacts facts;
    struct stat st {};
    if (target.empty() || ::stat(FsPath(target).c_str(), &st) != 0) return facts;
    facts.attributes = S_ISDIR(st.st_mode) ? kFileAttributeDirectory : kFileAttributeArchive;
    facts.accessTime = ToFileTime(st.st_atim);
    facts.writeTime = ToFileTime(st.st_mtim);
    facts.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint32_t>(st.st_size);
    return facts;
}

bool IsAbsolutePath(const Text& path) {
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) return true;
    return path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path[2] == '\\' || path[2] == '/');
}

bool IsUncPath(const Text& path) {
    return path.size() > 2 && (path[0] == '\\' || path[0] == '/') &&
           (path[1] == '\\' || path[1] == '/');
}

// Number of leading components that make up the path's root: "C:", "" for a
// rooted path, or "", "", server, share for a UNC path.
std::size_t RootLength(const Text& path) {
    if (IsUncPath(path)) return 4;
    return 1;
}

// The target relative to the link's folder (".\x" or "..\..\x"), or "" when
// they do not share a root.
Text RelativeTarget(const Text& lnkFolder, const Text& target) {
    bool driveRoot = lnkFolder.size() == 2 && lnkFolder[1] == ':';  // a link in "C:\"
    if (!(driveRoot || IsAbsolutePath(lnkFolder)) || !IsAbsolutePath(target)) return {};
    std::vector<Text> from = PathComponents(lnkFolder);
    std::vector<Text> to = PathComponents(target);
    std::size_t root = RootLength(target);
    if (RootLength(lnkFolder) != root || from.size() < root || to.size() <= root) return {};
    for (std::size_t i = root; i < from.size(); ++i) {
        if (from[i].empty()) return {};
    }
    for (std::size_t i = root; i < to.size(); ++i) {
        if (to[i].empty()) return {};
    }
    std::size_t common = 0;
    while (common < from.size() && common < to.size() && from[common] == to[common]) ++common;
    if (common < root || common == to.size()) return {};

    Text relative;
    for (std::size_t i = common; i < from.size(); ++i) relative += "..\\";
    if (relative.empty()) relative = ".\\";
    for (std::size_t i = common; i < to.size(); ++i) {
        relative += to[i];
        if (i + 1 < to.size()) relative += "\\";
    }
    return relative;
}

// "file,index" -> file and index; without a numeric index the whole text is
// the file.
void SplitIconLocation(const Text& location, Text& file, std::int32_t& index) {
    file = location;
    index = 0;
    std::size_t comma = location.rfind(',');
    if (comma == Text::npos) return;
    std::string_view number(location);
    number.remove_prefix(comma + 1);
    while (!number.empty() && number.front() == ' ') number.remove_prefix(1);
    while (!number.empty() && number.back() == ' ') number.remove_suffix(1);
    const char* first = number.data();
    const char* last = first + number.size();
    if (!number.empty() && *first == '+') ++first;
    std::int32_t value = 0;
    auto [end, ec] = std::from_chars(first, last, value);
    if (number.empty() || ec != std::errc() || end != last) return;
    file = location.substr(0, comma);
    index = value;
}

// A zero-terminated ANSI string, then optionally a zero-terminated UTF-16 copy.
void PutCString(std::string& out, const Text& text) {
    out += text;
    out.push_back('\0');
}

void PutWString(std::string& out, const Text& text) {
    out += ToUtf16(text);
    AppendLe16(out, 0);
}

// LinkInfo for a local path: VolumeID, LocalBasePath and an empty suffix.
std::string LocalLinkInfo(const Text& target) {
    bool unicode = !IsAscii(target);
    std::uint32_t headerSize = unicode ? kLinkInfoHeaderUnicode : kLinkInfoHeaderAnsi;
    std::string body;
    std::uint32_t volumeOffset = headerSize;
    AppendLe32(body, 0x11);  // VolumeID: size, drive type, serial, label offset, empty label
    AppendLe32(body, kDriveFixed);
    AppendLe32(body, 0);
    AppendLe32(body, 0x10);
    body.push_back('\0');
    std::uint32_t baseOffset = headerSize + static_cast<std::uint32_t>(body.size());
    PutCString(body, target);
    std::uint32_t suffixOffset = headerSize + static_cast<std::uint32_t>(body.size());
    PutCString(body, "");
    std::uint32_t baseUnicode = 0, suffixUnicode = 0;
    if (unicode) {
        baseUnicode = headerSize + static_cast<std::uint32_t>(body.size());
        PutWString(body, target);
        suffixUnicode = headerSize + static_cast<std::uint32_t>(body.size());
        PutWString(body, "");
    }

    std::string info;
    AppendLe32(info, headerSize + static_cast<std::uint32_t>(body.size()));
    AppendLe32(info, headerSize);
    AppendLe32(info, kVolumeIdAndLocalBasePath);
    AppendLe32(info, volumeOffset);
    AppendLe32(info, baseOffset);
    AppendLe32(info, 0);
    AppendLe32(info, suffixOffset);
    if (unicode) {
        AppendLe32(info, baseUnicode);
        AppendLe32(info, suffixUnicode);
    }
    return info + body;
}

// LinkInfo for "\\server\share\rest": the share in a CommonNetworkRelativeLink,
// the rest as the common path suffix.
std::string NetworkLinkInfo(const Text& target) {
    std::vector<Text> parts = PathComponents(target);
    Text share = "\\\\" + parts[2] + "\\" + parts[3];
    Text suffix;
    for (std::size_t i = 4; i < parts.size(); ++i) {
        suffix += parts[i];
        if (i + 1 < parts.size()) suffix += "\\";
    }
    bool unicode = !IsAscii(target);

    std::string net;
    std::uint32_t netHeader = unicode ? kNetLinkHeaderUnicode : kNetLinkHeaderAnsi;
    AppendLe32(net, 0);  // size, set below
    AppendLe32(net, 0);  // neither device nor provider type is valid
    AppendLe32(net, netHeader);
    AppendLe32(net, 0);
    AppendLe32(net, 0);
    if (unicode) {
        AppendLe32(net, 0);  // NetNameOffsetUnicode, set below
        AppendLe32(net, 0);
    }
    PutCString(net, share);
    if (unicode) {
        StoreLe32(net, kNetLinkHeaderAnsi, static_cast<std::uint32_t>(net.size()));
        PutWString(net, share);
    }
    StoreLe32(net, 0, static_cast<std::uint32_t>(net.size()));

    std::uint32_t headerSize = unicode ? kLinkInfoHeaderUnicode : kLinkInfoHeaderAnsi;
    std::string body = net;
    std::uint32_t suffixOffset = headerSize + static_cast<std::uint32_t>(body.size());
    PutCString(body, suffix);
    std::uint32_t suffixUnicode = 0;
    if (unicode) {
        suffixUnicode = headerSize + static_cast<std::uint32_t>(body.size());
        PutWString(body, suffix);
    }

    std::string info;
    AppendLe32(info, headerSize + static_cast<std::uint32_t>(body.size()));
    AppendLe32(info, headerSize);
    AppendLe32(info, kCommonNetworkRelativeLinkAndPathSuffix);
    AppendLe32(info, 0);
    AppendLe32(info, 0);
    AppendLe32(info, headerSize);
    AppendLe32(info, suffixOffset);
    if (unicode) {
        AppendLe32(info, 0);
        AppendLe32(info, suffixUnicode);
    }
    return info + body;
}

bool IsShareTarget(const Text& target) {
    if (!IsUncPath(target)) return false;
    std::vector<Text> parts = PathComponents(target);
    return parts.size() >= 4 && !parts[2].empty() && !parts[3].empty();
}

// A counted UTF-16 string; false when it is too long for its 16-bit count.
bool PutCountedString(std::string& out, const Text& text) {
    std::string wide = ToUtf16(text);
    if (wide.size() / 2 > 0xFFFF) return false;
    AppendLe16(out, static_cast<std::uint32_t>(wide.size() / 2));
    out += wide;
    return true;
}

}  // namespace

std::optional<std::string> BuildShortcutBytes(const Text& lnkPath, const Text& target,
                                              const ShortcutOptions& options) {
    std::uint32_t flags = kIsUnicode;
    std::string linkInfo;
    if (!target.empty()) {
        flags |= kHasLinkInfo;
        linkInfo = IsShareTarget(target) ? NetworkLinkInfo(target) : LocalLinkInfo(target);
    }

    // Strings in the order the format fixes; each with its flag.
    std::string strings;
    auto addString = [&](const std::optional<Text>& value, LinkFlag flag) {
        if (!value || value->empty()) return true;
        flags |= flag;
        return PutCountedString(strings, *value);
    };
    Text relative = RelativeTarget(FolderPart(lnkPath), target);
    Text iconFile;
    std::int32_t iconIndex = 0;
    if (options.iconLocation) SplitIconLocation(*options.iconLocation, iconFile, iconIndex);
    if (!addString(options.description, kHasName) ||
        !addString(relative.empty() ? std::nullopt : std::optional<Text>(relative),
                   kHasRelativePath) ||
        !addString(options.workingDirectory, kHasWorkingDir) ||
        !addString(options.arguments, kHasArguments) ||
        !addString(options.iconLocation ? std::optional<Text>(iconFile) : std::nullopt,
                   kHasIconLocation))
        return std::nullopt;
    if (iconFile.empty()) iconIndex = 0;

    std::uint16_t hotKey = 0;
    if (options.hotKey) hotKey = ParseHotKey(*options.hotKey).value_or(0);
    std::uint32_t show = kShowNormal;
    if (options.windowStyle &&
        (*options.windowStyle == kShowMaximized || *options.windowStyle == kShowMinNoActive))
        show = static_cast<std::uint32_t>(*options.windowStyle);

    TargetFacts facts = StatTarget(target);
    std::string out;
    AppendLe32(out, kHeaderSize);
    out.append(reinterpret_cast<const char*>(kLinkClsid.data()), kLinkClsid.size());
    AppendLe32(out, flags);
    AppendLe32(out, facts.attributes);
    AppendLe64(out, 0);  // creation time is not known here
    AppendLe64(out, facts.accessTime);
    AppendLe64(out, facts.writeTime);
    AppendLe32(out, facts.size);
    AppendLe32(out, static_cast<std::uint32_t>(iconIndex));
    AppendLe32(out, show);
    AppendLe16(out, hotKey);
    AppendLe16(out, 0);
    AppendLe32(out, 0);
    AppendLe32(out, 0);
    out += linkInfo;
    out += strings;
    AppendLe32(out, 0);  // terminal extra-data block
    return out;
}

std::optional<ShortcutInfo> ParseShortcut(std::string_view bytes, const Text& lnkFolder) {
    ByteView file(bytes);
    std::uint32_t headerSize = 0, flags = 0, iconIndex = 0, show = 0, hotKey = 0;
    std::string_view clsid;
    if (!file.U32(0, headerSize) || headerSize != kHeaderSize) return std::nullopt;
    if (!file.Slice(4, 16, clsid) ||
        clsid != std::string_view(reinterpret_cast<const char*>(kLinkClsid.data()), 16))
        return std::nullopt;
    if (!file.U32(0x14, flags) || !file.U32(0x38, iconIndex) || !file.U32(0x3C, show) ||
        !file.U16(0x40, hotKey) || file.size() < kHeaderSize)
        return std::nullopt;

    std::size_t at = kHeaderSize;
    std::string_view idList;
    if (flags & kHasLinkTargetIdList) {
        std::uint32_t idListSize = 0;
        if (!file.U16(at, idListSize)) return std::nullopt;
        if (!file.Slice(at + 2, idListSize, idList)) return std::nullopt;
        at += 2 + idListSize;
    }

    ShortcutInfo info;
    if (flags & kHasLinkInfo) {
        Text target;
        if (!ReadLinkInfo(file, at, target)) return std::nullopt;
        if (!(flags & kForceNoLinkInfo)) info.target = target;
    }

    bool unicode = (flags & kIsUnicode) != 0;
    Text iconFile;
    const std::pair<LinkFlag, Text*> strings[] = {
        {kHasName, &info.description},
        {kHasRelativePath, &info.relativePath},
        {kHasWorkingDir, &info.workingDirectory},
        {kHasArguments, &info.arguments},
        {kHasIconLocation, &iconFile},
    };
    for (const auto& [flag, field] : strings) {
        if ((flags & flag) && !ReadCountedString(file, at, unicode, *field)) return std::nullopt;
    }

    // Extra data: blocks of at least 4 bytes up to the terminal block.
    for (;;) {
        std::uint32_t blockSize = 0;
        if (!file.U32(at, blockSize)) return std::nullopt;
        if (blockSize < 4) break;
        std::string_view block;
        if (!file.Slice(at, blockSize, block)) return std::nullopt;
        at += blockSize;
    }

    // Links made from a shell folder often carry the target only as an ID list.
    if (info.target.empty()) info.target = IdListPath(idList);
    if (info.target.empty()) info.target = ResolveRelative(lnkFolder, info.relativePath);
    if (flags & kHasIconLocation)
        info.iconLocation = iconFile + "," + ToText(static_cast<std::int32_t>(iconIndex));
    info.hotKey = static_cast<std::uint16_t>(hotKey);
    info.windowStyle = (show == kShowMaximized || show == kShowMinNoActive)
                           ? static_cast<int>(show)
                           : static_cast<int>(kShowNormal);
    return info;
}

}  // namespace box
