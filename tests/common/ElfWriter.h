#pragma once
// Writes small ELF files holding named sections, in either class and byte
// order, so the ELF reader can be tested on files that no toolchain here
// would produce (32-bit, big-endian, damaged).

#include <string>
#include <utility>
#include <vector>

namespace box::test {

struct ElfLayout {
    bool is64 = true;
    bool bigEndian = false;
    // Name and contents of each section after the null one; the name table
    // comes last.
    std::vector<std::pair<std::string, std::string>> sections;
};

std::string BuildElf(const ElfLayout& layout);

// The version block the box's build writes, for fileVersion (the layout of a
// Windows version resource, translation 0804/04B0).
std::string BoxVersionBlock(const std::string& fileVersion);

}  // namespace box::test
