#pragma once
// Byte counts as the download row shows them: "512 B", "1.5 KB", "1.18 MB".

#include "support/Text.h"

namespace box {

// The count in the largest unit (B, KB, MB, GB, TB, PB; 1024 apart) that
// keeps it at 1 or more, rounded half away from zero to 2 decimals and
// written without trailing zeros.
Text FormatSize(double bytes);

}  // namespace box
