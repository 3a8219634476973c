#pragma once
// The update program the box carries inside itself (an executable image,
// linked into the box at build time); empty in a build without it.

#include <string_view>

namespace box {

std::string_view UpdaterImage();

}  // namespace box
