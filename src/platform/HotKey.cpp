#include "platform/HotKey.h"

#include <charconv>
#include <system_error>

namespace box {

namespace {

// The modifier bits of the second hot-key byte.
constexpr std::uint8_t kHotKeyShift = 0x01;
constexpr std::uint8_t kHotKeyControl = 0x02;
constexpr std::uint8_t kHotKeyAlt = 0x04;
constexpr std::uint8_t kHotKeyExt = 0x08;

struct HotKeyName {
    const char* name;
    std::uint8_t key;
};

// The keys a shortcut's hot key may use besides letters, digits and F1..F24.
constexpr HotKeyName kNamedKeys[] = {
    {"numlock", 0x90},     {"num lock", 0x90}, {"scrolllock", 0x91},
    {"scroll lock", 0x91}, {"scroll", 0x91},
};

// The blanks of the C locale's isspace.
constexpr std::string_view kSpaces = " \t\n\v\f\r";

std::optional<std::uint8_t> KeyCode(std::string_view name) {
    Text lower = AsciiLower(name);
    if (lower.size() == 1) {
        char c = lower[0];
        if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 'a' + 'A');
        if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c);
        return std::nullopt;
    }
    if (lower.size() <= 3 && lower[0] == 'f') {
        int n = 0;
        auto [end, ec] = std::from_chars(lower.data() + 1, lower.data() + lower.size(), n);
        if (ec == std::errc() && end == lower.data() + lower.size() && lower[1] != '0' && n >= 1 &&
            n <= 24)
            return static_cast<std::uint8_t>(0x70 + n - 1);
        return std::nullopt;
    }
    for (const HotKeyName& k : kNamedKeys) {
        if (lower == k.name) return k.key;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::uint16_t> ParseHotKey(std::string_view text) {
    text = TrimBlanks(text, kSpaces);
    if (text.empty()) return std::uint16_t{0};
    std::uint8_t modifiers = 0;
    std::optional<std::uint8_t> key;
    for (const Text& raw : Split(text, "+")) {
        std::string_view part = TrimBlanks(raw, kSpaces);
        if (key) return std::nullopt;  // nothing may follow the key
        Text lower = AsciiLower(part);
        if (lower == "ctrl" || lower == "control") {
            modifiers |= kHotKeyControl;
        } else if (lower == "alt") {
            modifiers |= kHotKeyAlt;
        } else if (lower == "shift") {
            modifiers |= kHotKeyShift;
        } else if (lower == "ext") {
            modifiers |= kHotKeyExt;
        } else {
            key = KeyCode(part);
            if (!key) return std::nullopt;
        }
    }
    if (!key) return std::nullopt;
    return static_cast<std::uint16_t>(*key | modifiers << 8);
}

Text FormatHotKey(std::uint16_t hotKey) {
    std::uint8_t key = hotKey & 0xFF;
    std::uint8_t modifiers = hotKey >> 8;
    Text name;
    if (key >= 'A' && key <= 'Z') {
        name = Text(1, static_cast<char>(key));
    } else if (key >= '0' && key <= '9') {
        name = Text(1, static_cast<char>(key));
    } else if (key >= 0x70 && key <= 0x87) {
        name = "F" + ToText(key - 0x70 + 1);
    } else if (key == 0x90) {
        name = "NumLock";
    } else if (key == 0x91) {
        name = "ScrollLock";
    } else {
        return {};
    }
    Text text;
    if (modifiers & kHotKeyControl) text += "Ctrl+";
    if (modifiers & kHotKeyAlt) text += "Alt+";
    if (modifiers & kHotKeyShift) text += "Shift+";
    if (modifiers & kHotKeyExt) text += "Ext+";
    return text + name;
}

}  // namespace box
