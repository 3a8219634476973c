// Executables: headers, sections, the resource tree, the version block and the
// icon the box shows, read the way a program row reads them.

#include <cstdint>

#include "FuzzTarget.h"
#include "PeLayouts.h"
#include "catalog/VersionInfo.h"
#include "platform/PeResources.h"
#include "support/BitmapObject.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds;
    for (const test::PeLayout& layout : SeedLayouts()) seeds.push_back(test::BuildPe(layout));
    return seeds;
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    const std::optional<PeFile> file =
        PeFile::FromBytes(std::string(reinterpret_cast<const char*>(data), size));
    const VersionInfo info = ReadVersionInfo(file);
    CompareVersions(info.fileVersion, "1.2.3.4");
    if (!file) return 0;

    file->resource(kResourceVersion);
    const std::vector<IconDirEntry> images = file->iconGroup();
    fuzz::Check(images.empty() == (ChooseIconImage(images, 32, 32) < 0),
                "an icon group with images has a best one");
    for (std::size_t i = 0; i < images.size() && i < 8; ++i)
        file->resource(kResourceIcon, images[i].id);
    if (const auto image = file->iconImage(32, 32)) {
        if (const auto picture = DecodeIconImage(*image)) {
            BitmapObject bitmap;
            bitmap.fromIcon(*picture);
            bitmap.toBmpFile();
        }
    }
    return 0;
}
