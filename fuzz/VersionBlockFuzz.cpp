// Version blocks (what GetFileVersionInfo hands out) queried the way the box
// queries them: the translation table, then the strings of the table it names.

#include <cstdint>

#include "FuzzTarget.h"
#include "PeLayouts.h"
#include "catalog/VersionInfo.h"
#include "platform/PeResources.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    for (const test::PeLayout& layout : SeedLayouts()) {
        const auto file = PeFile::FromBytes(test::BuildPe(layout));
        Check(file.has_value(), "a written executable opens");
        if (auto block = file->versionBlock()) seeds.push_back(std::move(*block));
    }
    return seeds;
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    const std::string_view block(reinterpret_cast<const char*>(data), size);
    QueryVersionValue(block, "\\");
    QueryVersionValue(block, "");
    QueryVersionValue(block, "\\StringFileInfo");
    const auto translation = QueryVersionValue(block, "\\VarFileInfo\\Translation");
    if (!translation) return 0;
    Text fileVersion;
    for (std::size_t at = 0; at + 4 <= translation->size() && at < 16; at += 4) {
        std::uint32_t value = 0;
        for (int i = 3; i >= 0; --i)
            value = value << 8 | static_cast<unsigned char>((*translation)[at + i]);
        const Text table = "\\StringFileInfo\\" + TranslationKey(value) + "\\";
        fuzz::Check(table.size() == 25, "a translation names an eight-digit table");
        for (const char* name : {"FileVersion", "ProductVersion", "fileversion", "Comments", ""}) {
            if (auto v = QueryVersionValue(block, table + name); v && fileVersion.empty())
                fileVersion = *v;
        }
    }
    const int status = CompareVersions(fileVersion, "1.2.3.4");
    fuzz::Check(status >= 0 && status <= 2, "a status is 0, 1 or 2");
    return 0;
}
