#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/ShellLink.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"
#include "TestDoubles.h"

namespace box {
namespace {

// Little-endian reads and writes, written independently of the code under test.
std::uint32_t U16At(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b.at(at)) | static_cast<unsigned char>(b.at(at + 1)) << 8;
}
std::uint32_t U32At(const std::string& b, std::size_t at) {
    return U16At(b, at) | U16At(b, at + 2) << 16;
}
void Put16(std::string& b, std::uint32_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8 & 0xFF));
}
void Put32(std::string& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
std::string Utf16(const std::string& utf8) {
    return ConvertEncoding(utf8, "UTF-8", "UTF-16LE");
}

const std::string kClsid("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);

// A header with the given flags, the rest zero, as other programs write it.
std::string Header(std::uint32_t flags) {
    std::string b;
    Put32(b, 0x4C);
    b += kClsid;
    Put32(b, flags);
    b.append(0x4C - b.size(), '\0');
    return b;
}

// LinkInfo for a local path with an ANSI path and, when given, a Unicode one.
std::string LocalInfo(const std::string& ansi, const std::string& wide = {}) {
    std::uint32_t header = wide.empty() ? 0x1C : 0x24;
    std::string body;
    Put32(body, 0x11);
    Put32(body, 3);
    Put32(body, 0x1234);
    Put32(body, 0x10);
    body.push_back('\0');
    std::uint32_t base = header + static_cast<std::uint32_t>(body.size());
    body += ansi + '\0';
    std::uint32_t suffix = header + static_cast<std::uint32_t>(body.size());
    body += '\0';
    std::uint32_t wideBase = header + static_cast<std::uint32_t>(body.size());
    if (!wide.empty()) body += wide + std::string(2, '\0');
    std::string info;
    Put32(info, header + static_cast<std::uint32_t>(body.size()));
    Put32(info, header);
    Put32(info, 1);
    Put32(info, header);
    Put32(info, base);
    Put32(info, 0);
    Put32(info, suffix);
    if (!wide.empty()) {
        Put32(info, wideBase);
        Put32(info, 0);
    }
    return info + body;
}

// Item ID lists as Windows writes them for a file-system path: the
// "My Computer" root, the drive, then one file entry per name.
std::string Item(const std::string& body) {
    std::string b;
    Put16(b, static_cast<std::uint32_t>(body.size() + 2));
    return b + body;
}

std::string RootItem() {
    return Item(
        std::string("\x1F\x50", 2) +
        std::string("\xE0\x4F\xD0\x20\xEA\x3A\x69\x10\xA2\xD8\x08\x00\x2B\x30\x30\x9D", 16));
}

std::string DriveItem(const std::string& drive) {
    std::string body = "\x2F" + drive;
    body.resize(0x17, '\0');
    return Item(body);
}

// A file entry (0x31 a folder, 0x32 a file; with 0x04 its primary name is
// UTF-16, else in the code page) and, for extension versions 3 and up, the
// long name in UTF-16. Version 0 writes no extension block, as old systems did.
std::string FileItem(std::uint8_t type, const std::string& shortUtf8, const std::string& longUtf8,
                     int version) {
    std::string body;
    body.push_back(static_cast<char>(type));
    body.push_back('\0');
    Put32(body, 1234);        // file size
    Put32(body, 0x5A8C3921);  // FAT date and time
    Put16(body, (type & 0x03) == 0x01 ? 0x10 : 0x20);
    if (type & 0x04) {
        body += Utf16(shortUtf8) + std::string(2, '\0');
    } else {
        body += Utf8ToGbk(shortUtf8) + '\0';
        if (body.size() % 2) body.push_back('\0');  // extension blocks start even
    }
    if (version == 0) return Item(body);
    std::string ext;
    Put16(ext, 0);  // size, set below
    Put16(ext, static_cast<std::uint32_t>(version));
    Put32(ext, 0xBEEF0004);
    Put32(ext, 0x5A8C3921);
    Put32(ext, 0x5A8C3921);
    std::uint32_t nameAt = version >= 9 ? 46 : version == 8 ? 42 : version == 7 ? 38 : 20;
    Put16(ext, nameAt);
    ext.resize(nameAt, '\x01');  // file reference and unknown fields
    const std::size_t localizedSize = version >= 7 ? 36 : 18;
    ext[localizedSize] = ext[localizedSize + 1] = '\0';  // no localized name
    ext += Utf16(longUtf8) + std::string(2, '\0');
    Put16(ext, static_cast<std::uint32_t>(body.size() + 2));  // where the block starts
    ext[0] = static_cast<char>(ext.size());
    ext[1] = static_cast<char>(ext.size() >> 8);
    return Item(body + ext);
}

// A link holding only an ID list (and the given flags besides).
std::string IdListLink(const std::string& items, std::uint32_t flags = 0x80) {
    std::string link = Header(0x01 | flags);
    std::string list = items + std::string(2, '\0');
    Put16(link, static_cast<std::uint32_t>(list.size()));
    return link + list;
}

std::string Unhex(const char* hex) {
    std::string out;
    for (const char* p = hex; p[0] && p[1];) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out.push_back(static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return out;
}

ShortcutOptions AllOptions() {
    ShortcutOptions o;
    o.workingDirectory = "D:\\工作目录"_gbk;
    o.description = "离线模式启动盒子"_gbk;
    o.arguments = "lxms \"带 空格\""_gbk;
    o.iconLocation = "C:\\图标.ico,-2"_gbk;
    o.hotKey = "Ctrl+Alt+F";
    o.windowStyle = kShowMaximized;
    return o;
}

TEST(ShellLink, RoundTripKeepsEveryProperty) {
    test::TempDir dir;
    Text folder = JoinPath(dir.gbk(), "汀芷"_gbk);
    std::filesystem::create_directory(FsPath(folder));
    Text target = JoinPath(folder, "softbox");
    ASSERT_TRUE(WriteFileBytes(target, "12345"));
    Text lnk = JoinPath(folder, "离线模式启动盒子"_gbk);
    ASSERT_TRUE(CreateShortcutFile(lnk, target, AllOptions()));

    EXPECT_EQ(ReadShortcutTarget(lnk), target);
    auto bytes = ReadFileBytes(lnk);
    ASSERT_TRUE(bytes);
    auto info = ParseShortcut(*bytes, folder);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->target, target);
    EXPECT_EQ(info->workingDirectory, "D:\\工作目录"_gbk);
    EXPECT_EQ(info->description, "离线模式启动盒子"_gbk);
    EXPECT_EQ(info->arguments, "lxms \"带 空格\""_gbk);
    EXPECT_EQ(info->iconLocation, "C:\\图标.ico,-2"_gbk);
    EXPECT_EQ(info->relativePath, ".\\softbox");
    EXPECT_EQ(info->hotKey, 0x0646);
    EXPECT_EQ(FormatHotKey(info->hotKey), "Ctrl+Alt+F");
    EXPECT_EQ(info->windowStyle, kShowMaximized);
    EXPECT_EQ(U32At(*bytes, 0x34), 5u) << "file size of the target";

    // Without options: nothing but the target, started normally.
    Text plain = JoinPath(dir.gbk(), "plain.lnk");
    ASSERT_TRUE(CreateShortcutFile(plain, target));
    info = ParseShortcut(*ReadFileBytes(plain), dir.gbk());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->target, target);
    EXPECT_EQ(info->relativePath, ".\\汀芷\\softbox"_gbk);
    EXPECT_EQ(info->description, "");
    EXPECT_EQ(info->arguments, "");
    EXPECT_EQ(info->iconLocation, "");
    EXPECT_EQ(info->hotKey, 0);
    EXPECT_EQ(info->windowStyle, kShowNormal);

    // Window styles outside the three the format knows start normally; an
    // icon without index is index 0; a hot key we cannot store is left out.
    ShortcutOptions odd;
    odd.windowStyle = 2;
    odd.iconLocation = "a,b.ico";
    odd.hotKey = "Ctrl+Alt+Esc";
    ASSERT_TRUE(CreateShortcutFile(plain, target, odd));
    info = ParseShortcut(*ReadFileBytes(plain), dir.gbk());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->windowStyle, kShowNormal);
    EXPECT_EQ(info->iconLocation, "a,b.ico,0");
    EXPECT_EQ(info->hotKey, 0);

    odd.windowStyle = kShowMinNoActive;
    ASSERT_TRUE(CreateShortcutFile(plain, target, odd));
    EXPECT_EQ(ParseShortcut(*ReadFileBytes(plain), dir.gbk())->windowStyle, kShowMinNoActive);
}

TEST(ShellLink, WrittenBytesFollowThePublishedLayout) {
    Text target = "C:\\汀芷\\汀芷·软件盒子.exe"_gbk;
    auto built = BuildShortcutBytes("C:\\汀芷\\x.lnk"_gbk, target, AllOptions());
    ASSERT_TRUE(built);
    const std::string& b = *built;

    EXPECT_EQ(U32At(b, 0), 0x4Cu);
    EXPECT_EQ(b.substr(4, 16), kClsid);
    std::uint32_t flags = U32At(b, 0x14);
    // LinkInfo, name, relative path, working dir, arguments, icon, Unicode.
    EXPECT_EQ(flags, 0x02u | 0x04 | 0x08 | 0x10 | 0x20 | 0x40 | 0x80);
    EXPECT_EQ(U32At(b, 0x38), 0xFFFFFFFEu) << "icon index -2";
    EXPECT_EQ(U32At(b, 0x3C), 3u);
    EXPECT_EQ(U16At(b, 0x40), 0x0646u);
    EXPECT_EQ(U16At(b, 0x42) | U32At(b, 0x44) | U32At(b, 0x48), 0u) << "reserved fields";

    // LinkInfo: non-ASCII path, so the header carries the Unicode offsets.
    std::size_t li = 0x4C;
    std::uint32_t size = U32At(b, li), header = U32At(b, li + 4);
    ASSERT_EQ(header, 0x24u);
    EXPECT_EQ(U32At(b, li + 8), 1u) << "VolumeIDAndLocalBasePath only";
    std::uint32_t volume = U32At(b, li + 12), base = U32At(b, li + 16);
    std::uint32_t suffix = U32At(b, li + 24), wideBase = U32At(b, li + 28);
    std::uint32_t wideSuffix = U32At(b, li + 32);
    EXPECT_EQ(U32At(b, li + 20), 0u);
    for (std::uint32_t off : {volume, base, suffix, wideBase, wideSuffix}) {
        EXPECT_GE(off, header);
        EXPECT_LT(off, size);
    }
    EXPECT_GT(U32At(b, li + volume), 0x10u);
    EXPECT_LE(volume + U32At(b, li + volume), base);
    EXPECT_EQ(b.substr(li + base, target.size() + 1), target + '\0');
    EXPECT_EQ(b[li + suffix], '\0');
    std::string wide = Utf16(GbkToUtf8(target));
    EXPECT_EQ(b.substr(li + wideBase, wide.size() + 2), wide + std::string(2, '\0'));
    EXPECT_EQ(U16At(b, li + wideSuffix), 0u);

    // StringData in its fixed order, counted in UTF-16 units.
    std::size_t at = li + size;
    for (std::string expect : {"离线模式启动盒子", ".\\汀芷·软件盒子.exe", "D:\\工作目录",
                               "lxms \"带 空格\"", "C:\\图标.ico"}) {
        std::string units = Utf16(expect);
        ASSERT_EQ(U16At(b, at), units.size() / 2) << expect;
        EXPECT_EQ(b.substr(at + 2, units.size()), units);
        at += 2 + units.size();
    }
    EXPECT_EQ(b.size(), at + 4);
    EXPECT_EQ(U32At(b, at), 0u) << "terminal block";

    // An ASCII path keeps the short LinkInfo header.
    auto ascii = BuildShortcutBytes("C:\\x.lnk", "C:\\box\\softbox.exe", {});
    ASSERT_TRUE(ascii);
    EXPECT_EQ(U32At(*ascii, 0x4C + 4), 0x1Cu);
    EXPECT_EQ(U32At(*ascii, 0x14), 0x02u | 0x08 | 0x80);
}

TEST(ShellLink, ReadsLinksOtherProgramsWrite) {
    // An item ID list before the LinkInfo, ANSI strings and an extra-data block.
    std::string link = Header(0x01 | 0x02 | 0x20);
    std::string idList =
        "\x06\x00"
        "abcd"
        "\x00\x00";
    Put16(link, static_cast<std::uint32_t>(idList.size()));
    link += idList;
    link += LocalInfo("C:\\Tools\\t.exe");
    Put16(link, 4);
    link += "-abc";
    Put32(link, 12);
    Put32(link, 0xA0000003);
    Put32(link, 7);
    Put32(link, 0);
    auto info = ParseShortcut(link, "C:\\Links");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->target, "C:\\Tools\\t.exe");
    EXPECT_EQ(info->arguments, "-abc");

    // The Unicode path wins over an ANSI one written in another code page.
    link = Header(0x02) + LocalInfo("C:\\????.exe", Utf16("C:\\软件.exe"));
    Put32(link, 0);
    EXPECT_EQ(ParseShortcut(link, "")->target, "C:\\软件.exe"_gbk);
    // A character that GBK lacks reads as one '?', as the system's conversion
    // to the ANSI code page gives, not as a transliteration ("n", "(TM)").
    link = Header(0x02) + LocalInfo("C:\\x.exe", Utf16("C:\\ñ™.exe"));
    Put32(link, 0);
    EXPECT_EQ(ParseShortcut(link, "")->target, "C:\\??.exe");

    // A relative path alone is resolved against the link's folder; one that
    // climbs above the root names nothing.
    link = Header(0x08 | 0x80);
    std::string rel = Utf16("..\\盒子\\softbox");
    Put16(link, static_cast<std::uint32_t>(rel.size() / 2));
    link += rel;
    Put32(link, 0);
    EXPECT_EQ(ParseShortcut(link, "/home/u/links")->target, "/home/u\\盒子\\softbox"_gbk);
    EXPECT_EQ(ParseShortcut(link, "/links")->target, "");

    // Network targets round-trip through the share name and path suffix.
    Text share = "\\\\server\\共享\\盒子\\softbox.exe"_gbk;
    auto net = BuildShortcutBytes("C:\\x.lnk", share, {});
    ASSERT_TRUE(net);
    EXPECT_EQ(U32At(*net, 0x4C + 8), 2u);
    EXPECT_EQ(ParseShortcut(*net, "C:")->target, share);
}

TEST(ShellLink, ReadsTheTargetOfLinksGivenOnlyAsAnItemIdList) {
    // The published example "C:\test\a.txt": its ID list, without LinkInfo.
    const std::string example = Unhex(
        "1400 1F50 E04FD020EA3A6910A2D808002B30309D"
        "1900 2F 433A5C 00000000000000000000000000000000000000"
        "4600 3100 00000000 2C3969A3 1000 7465737400 00"
        "  3200 0700 0400EFBE 2C3965A3 2C3969A3 2600 0000 031E00000000F51E 0000000000000000"
        "  0000 74006500730074000000 1400"
        "4800 3200 00000000 2C3969A3 2000 612E74787400"
        "  3400 0700 0400EFBE 2C3969A3 2C3969A3 2600 0000 2D6E000000009601 0000000000000000"
        "  0000 61002E0074007800740000001400");
    std::string link = IdListLink(example);
    Put32(link, 0);
    auto info = ParseShortcut(link, "C:\\Links");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->target, "C:\\test\\a.txt");

    // Long Unicode names of every extension version win over the short names;
    // an entry without extension gives its short name.
    const Text deep = "D:\\Program Files\\汀芷·软件盒子\\工具\\数据\\汀芷·软件盒子.exe"_gbk;
    std::string items =
        RootItem() + DriveItem("D:\\") + FileItem(0x31, "PROGRA~1", "Program Files", 3) +
        FileItem(0x31, "E1AC~1", "汀芷·软件盒子", 8) + FileItem(0x31, "工具", "", 0) +
        FileItem(0x35, "数据", "", 0) + FileItem(0x32, "E1AC~1.EXE", "汀芷·软件盒子.exe", 9);
    link = IdListLink(items);
    std::string args = Utf16("lxms");
    Put16(link, 4);
    link += args;
    Put32(link, 0);
    link[0x14] |= 0x20;  // arguments follow the ID list
    info = ParseShortcut(link, "C:\\Links");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->target, deep);
    EXPECT_EQ(info->arguments, "lxms");
    link = IdListLink(RootItem() + DriveItem("C:\\") + FileItem(0x32, "A.EXE", "a.exe", 7));
    Put32(link, 0);
    EXPECT_EQ(ParseShortcut(link, "")->target, "C:\\a.exe");

    // On disk, as the box reads its offline shortcut.
    test::TempDir dir;
    Text lnk = JoinPath(dir.gbk(), "离线模式启动盒子.lnk"_gbk);
    link = IdListLink(items);
    Put32(link, 0);
    ASSERT_TRUE(WriteFileBytes(lnk, link));
    EXPECT_EQ(ReadShortcutTarget(lnk), deep);

    // LinkInfo wins where it is present and not switched off.
    std::string both = Header(0x01 | 0x02);
    std::string list = items + std::string(2, '\0');
    Put16(both, static_cast<std::uint32_t>(list.size()));
    both += list + LocalInfo("C:\\Tools\\t.exe");
    Put32(both, 0);
    EXPECT_EQ(ParseShortcut(both, "")->target, "C:\\Tools\\t.exe");
    both[0x15] |= 0x01;  // ForceNoLinkInfo
    EXPECT_EQ(ParseShortcut(both, "")->target, deep);

    // Lists that name no file-system path give no target: another root, a
    // network place, an item that is no file entry, a damaged drive, a list
    // without its root. A drive alone is a path of its own.
    std::string other = Item(std::string("\x1F\x50", 2) + std::string(16, '\x11'));
    std::string network = Item(std::string("\xC3\x01\x00\x00", 4) + "\\\\server\\share" + '\0');
    for (const std::string& bad :
         {other + DriveItem("C:\\") + FileItem(0x32, "A.EXE", "a.exe", 8),
          RootItem() + network + FileItem(0x32, "A", "a", 8),
          RootItem() + DriveItem("C:\\") + Item(std::string("\x61\x00\x00\x00", 4)),
          RootItem() + DriveItem("CC:\\"), DriveItem("C:\\")}) {
        link = IdListLink(bad);
        Put32(link, 0);
        info = ParseShortcut(link, "C:\\Links");
        ASSERT_TRUE(info);
        EXPECT_EQ(info->target, "");
    }
    link = IdListLink(RootItem() + DriveItem("E:\\"));
    Put32(link, 0);
    EXPECT_EQ(ParseShortcut(link, "")->target, "E:\\");
    // Such a list leaves the relative path to name the target.
    link = IdListLink(other, 0x08 | 0x80);
    std::string relative = Utf16("..\\盒子\\softbox");
    Put16(link, static_cast<std::uint32_t>(relative.size() / 2));
    link += relative;
    Put32(link, 0);
    EXPECT_EQ(ParseShortcut(link, "C:\\Links\\Box")->target, "C:\\Links\\盒子\\softbox"_gbk);

    // Damage inside the list never reads outside it and never names a path
    // it does not hold; the rest of the link still reads.
    const std::string good = items + std::string(2, '\0');
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (char value : {'\x00', '\x01', '\x7F', '\xFF'}) {
            std::string damaged = good;
            damaged[at] = value;
            link = Header(0x01 | 0x80);
            Put16(link, static_cast<std::uint32_t>(damaged.size()));
            link += damaged;
            Put32(link, 0);
            info = ParseShortcut(link, "");
            if (info && !info->target.empty()) {
                EXPECT_EQ(info->target.substr(0, 3), "D:\\");
            }
        }
        // A list cut short (its size counting only what is left) names
        // nothing, and the link still reads.
        link = Header(0x01 | 0x80);
        Put16(link, static_cast<std::uint32_t>(at));
        link += good.substr(0, at);
        Put32(link, 0);
        info = ParseShortcut(link, "");
        ASSERT_TRUE(info) << "cut at " << at;
        EXPECT_EQ(info->target, "") << "cut at " << at;
    }
}

TEST(ShellLink, DamagedFilesReadAsEmpty) {
    auto built = BuildShortcutBytes("C:\\a\\x.lnk", "C:\\a\\汀芷.exe"_gbk, AllOptions());
    ASSERT_TRUE(built);
    ASSERT_TRUE(ParseShortcut(*built, "C:\\a"));
    for (std::size_t n = 0; n < built->size(); ++n) {
        EXPECT_FALSE(ParseShortcut(built->substr(0, n), "C:\\a")) << "cut at " << n;
    }

    std::mt19937 random(20240601);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 500; ++round) {
        std::string junk(static_cast<std::size_t>(round % 300), '\0');
        for (char& c : junk) c = static_cast<char>(byte(random));
        EXPECT_FALSE(ParseShortcut(junk, "C:\\a"));
        // A real header over garbage, and single damaged bytes in a real file,
        // must never read outside the buffer (the sanitizers watch this).
        ParseShortcut(Header(static_cast<std::uint32_t>(random())) + junk, "C:\\a");
        std::string damaged = *built;
        damaged[static_cast<std::size_t>(random()) % damaged.size()] =
            static_cast<char>(byte(random));
        ParseShortcut(damaged, "C:\\a");
    }

    for (std::size_t at = 0; at < built->size(); ++at) {
        for (char value : {'\x00', '\x7F', '\xFF'}) {
            std::string damaged = *built;
            damaged[at] = value;
            ParseShortcut(damaged, "C:\\a");
        }
    }

    // On disk: a truncated file, a text file and a folder all read as "".
    test::TempDir dir;
    Text cut = JoinPath(dir.gbk(), "cut.lnk");
    ASSERT_TRUE(WriteFileBytes(cut, built->substr(0, built->size() - 1)));
    EXPECT_EQ(ReadShortcutTarget(cut), "");
    Text text = JoinPath(dir.gbk(), "text.lnk");
    ASSERT_TRUE(WriteFileBytes(text, "[InternetShortcut]\r\nURL=http://x/\r\n"));
    EXPECT_EQ(ReadShortcutTarget(text), "");
    std::filesystem::create_directory(FsPath(JoinPath(dir.gbk(), "folder.lnk")));
    EXPECT_EQ(ReadShortcutTarget(JoinPath(dir.gbk(), "folder.lnk")), "");
    EXPECT_EQ(ReadShortcutTarget(JoinPath(dir.gbk(), "missing.lnk")), "");
}

TEST(ShellLink, ExtensionRulesAndOverwrite) {
    test::TempDir dir;
    Text target = JoinPath(dir.gbk(), "softbox");

    Text upper = JoinPath(dir.gbk(), "UP.LNK");
    ASSERT_TRUE(CreateShortcutFile(upper, target));
    EXPECT_EQ(upper, JoinPath(dir.gbk(), "UP.LNK"));
    EXPECT_TRUE(FileExists(upper));
    // Reading asks for ".lnk" exactly, so the capitalised one is not read.
    EXPECT_EQ(ReadShortcutTarget(upper), "");

    Text bare = JoinPath(dir.gbk(), "离线");
    ASSERT_TRUE(CreateShortcutFile(bare, target));
    EXPECT_EQ(bare, JoinPath(dir.gbk(), "离线.lnk"));
    EXPECT_EQ(ReadShortcutTarget(bare), target);

    Text inner = JoinPath(dir.gbk(), "a.lnk.bak");
    ASSERT_TRUE(CreateShortcutFile(inner, target));
    EXPECT_EQ(inner, JoinPath(dir.gbk(), "a.lnk.bak.lnk"));
    Text mixed = JoinPath(dir.gbk(), "m.Lnk");
    ASSERT_TRUE(CreateShortcutFile(mixed, target));
    EXPECT_EQ(mixed, JoinPath(dir.gbk(), "m.Lnk"));

    // Writing again replaces the old link whole and leaves no temporary file.
    Text other = JoinPath(dir.gbk(), "other");
    ASSERT_TRUE(CreateShortcutFile(bare, other, AllOptions()));
    ASSERT_TRUE(CreateShortcutFile(bare, target));
    EXPECT_EQ(ReadShortcutTarget(bare), target);
    EXPECT_EQ(ParseShortcut(*ReadFileBytes(bare), dir.gbk())->arguments, "");
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().extension() == ".part~", false) << entry.path();
    }

    // Arguments longer than a link can count are refused; the old link stays.
    ShortcutOptions huge;
    huge.arguments = Text(70000, 'a');
    EXPECT_FALSE(CreateShortcutFile(bare, other, huge));
    EXPECT_EQ(ReadShortcutTarget(bare), target);
}

}  // namespace
}  // namespace box
