#include "app/main/UpdaterImage.h"

#include <cstddef>

#ifdef SOFTBOX_WITH_UPDATER
// Defined by the assembled image (upbox_image.S of the build).
extern "C" const char softbox_upbox_begin[];
extern "C" const char softbox_upbox_end[];
#endif

namespace box {

std::string_view UpdaterImage() {
#ifdef SOFTBOX_WITH_UPDATER
    return {softbox_upbox_begin, static_cast<std::size_t>(softbox_upbox_end - softbox_upbox_begin)};
#else
    return {};
#endif
}

}  // namespace box
