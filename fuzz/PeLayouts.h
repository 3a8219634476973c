#pragma once
// Executables the seeds of the PE and version targets are made from: both
// image kinds, every icon format, several translations and string tables.
// Each stays below the fuzzers' -max_len (tools/fuzz.sh), which would cut it.

#include <vector>

#include "PeWriter.h"

namespace box::fuzz {

inline std::vector<test::PeLayout> SeedLayouts() {
    using test::IconFormat;
    std::vector<test::PeLayout> layouts;
    for (bool pe64 : {false, true}) {
        test::PeLayout layout = test::ProgramLayout("1.2.3.4", pe64);
        layout.version->strings.push_back({"Comments", "汀芷·一二三"});
        layout.version->strings.push_back({"ProductName", "软件盒子"});
        layout.icons.push_back({test::SolidPicture(16, 16, 0x80FF8000), IconFormat::kDib32});
        layout.icons.push_back({test::SolidPicture(32, 32, 0xFF2F6FC8), IconFormat::kPng});
        layout.icons.push_back({test::SolidPicture(24, 24, 0xFF000000), IconFormat::kDib8});
        layouts.push_back(layout);
    }
    test::PeLayout plain;
    plain.icons.push_back({test::SolidPicture(32, 32, 0xFF000000), IconFormat::kDib4});
    plain.icons.push_back({test::SolidPicture(16, 16, 0xFF00FF00), IconFormat::kDib24});
    plain.icons.push_back({test::SolidPicture(16, 16, 0xFF0000FF), IconFormat::kDib32MaskOnly});
    layouts.push_back(plain);

    test::PeLayout tables = test::ProgramLayout("9.8", false);
    tables.version->translations = {{0x0409, 0x04E4}, {0x0804, 0x03A8}};
    tables.version->tableKey = "040904E4";
    layouts.push_back(tables);
    test::PeLayout noVar = test::ProgramLayout("0.0.0.1", true);
    noVar.version->withVarFileInfo = false;
    layouts.push_back(noVar);
    return layouts;
}

}  // namespace box::fuzz
