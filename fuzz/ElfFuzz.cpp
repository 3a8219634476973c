// ELF files: headers, the section table and its name table, and the version
// block the box keeps in a section of its own executable.

#include <cstdint>

#include "ElfWriter.h"
#include "FuzzTarget.h"
#include "catalog/VersionInfo.h"
#include "platform/ElfSections.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    for (bool is64 : {false, true}) {
        for (bool big : {false, true}) {
            test::ElfLayout layout{is64, big, {}};
            layout.sections = {
                {".text", "code"},
                {std::string(kVersionSectionName), test::BoxVersionBlock("1.0.7.0")}};
            seeds.push_back(test::BuildElf(layout));
        }
    }
    return seeds;
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto block = ElfSectionFromBytes(bytes, kVersionSectionName)) {
        fuzz::Check(block->size() <= kMaxElfSectionBytes, "a section stays within its bound");
        const VersionInfo info = VersionInfoFromBlock(*block);
        CompareVersions(info.fileVersion, "1.0.8.0");
    }
    ElfSectionFromBytes(bytes, ".shstrtab");
    return 0;
}
