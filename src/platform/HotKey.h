#pragma once
// The hot key of a shortcut as a text and as the two bytes a shortcut file
// stores (virtual key, modifiers).

#include <cstdint>
#include <optional>
#include <string_view>

#include "support/Text.h"

namespace box {

// "Ctrl+Alt+F" <-> the two hot-key bytes; the modifiers are Ctrl, Alt, Shift
// and Ext. ParseHotKey gives nullopt for a text it does not understand; ""
// means no hot key (0).
std::optional<std::uint16_t> ParseHotKey(std::string_view text);
Text FormatHotKey(std::uint16_t hotKey);

}  // namespace box
