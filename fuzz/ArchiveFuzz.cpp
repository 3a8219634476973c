// Downloaded program archives: RAR 4 and RAR 5 headers, names in GBK and
// UTF-16, links, and the names that try to leave the destination. Each input
// is extracted into a folder three levels down in a fresh temporary tree;
// nothing may appear beside that folder or above it, and no link may point
// anywhere but down.

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "FuzzTarget.h"
#include "RarWriter.h"
#include "download/ArchiveExtract.h"
#include "download/RarHeaders.h"

namespace box::fuzz {

namespace {

namespace fs = std::filesystem;
using test::RarEntry;
using test::RarFormat;

std::vector<RarEntry> Program() {
    RarEntry unicode = test::RarFile("软件\\说明\\한글.txt", "unicode");
    unicode.unicodeName = true;
    return {test::RarDirectory("软件"), test::RarFile("软件\\软件.exe", "MZ\x90\x00"),
            test::RarDirectory("软件\\说明"), unicode, test::RarFile("软件\\空", "")};
}

std::vector<RarEntry> Hostile() {
    RarEntry encrypted = test::RarFile("secret", "ciphertext");
    encrypted.encrypted = true;
    RarEntry wrongCrc = test::RarFile("crc", "data");
    wrongCrc.wrongCrc = true;
    return {test::RarFile("../up", "x"),
            test::RarFile("/abs", "x"),
            test::RarFile("C:\\drive", "x"),
            test::RarFile("\\\\unc\\share\\x", "x"),
            test::RarFile("nul.txt", "x"),
            test::RarSymlink("link", "../.."),
            test::RarFile("link/through", "x"),
            encrypted,
            wrongCrc};
}

}  // namespace

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    for (RarFormat f : {RarFormat::kRar4, RarFormat::kRar5}) {
        seeds.push_back(test::BuildRar(f, Program()));
        seeds.push_back(test::BuildRar(f, {}));
        seeds.push_back(test::BuildRar(f, {test::RarSymlink("down", "bin/tool")}));
        for (const RarEntry& e : Hostile()) seeds.push_back(test::BuildRar(f, {e}));
    }
    seeds.push_back(test::BuildRar(
        RarFormat::kRar5,
        {test::RarFile("t", "x"), test::RarHardLink("h", "t"), test::RarHardLink("o", "../t")}));
    return seeds;
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace fs = std::filesystem;
    using box::fuzz::Check;
    char pattern[] = "/tmp/softbox-fuzz-archive-XXXXXX";
    Check(mkdtemp(pattern) != nullptr, "a temporary folder can be made");
    const fs::path root = pattern;
    const fs::path destination = root / "a" / "b" / "c";
    fs::create_directories(destination);
    {
        std::ofstream out(destination / "x.rar", std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    box::RarFactsOf(std::string_view(reinterpret_cast<const char*>(data), size));
    box::ExtractRar(destination / "x.rar");

    for (const fs::path& step : {root, root / "a", root / "a" / "b"}) {
        int children = 0;
        for (const auto& child : fs::directory_iterator(step)) {
            (void)child;
            ++children;
        }
        Check(children == 1, "nothing lands beside or above the destination");
    }
    for (const auto& item : fs::recursive_directory_iterator(destination)) {
        if (!item.is_symlink()) continue;
        const std::string target = fs::read_symlink(item.path()).string();
        Check(box::IsSafeEntryName(target), "links point down only");
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
