#include "settings/SettingsCodec.h"

#include <charconv>
#include <string_view>

namespace box {

namespace {

const Text& LineBreakMark() {
    static const Text mark = "┊*┊"_gbk;
    return mark;
}

struct DateUnits {
    Text year = "年"_gbk, month = "月"_gbk, day = "日"_gbk;
    Text hour = "时"_gbk, minute = "分"_gbk, second = "秒"_gbk;
};

const DateUnits& Units() {
    static const DateUnits units;
    return units;
}

// Reads an optionally signed decimal integer at pos; false when there is none
// or it does not fit an int.
bool ReadInt(std::string_view text, std::size_t& pos, int& value) {
    std::size_t start = pos;
    std::size_t i = pos;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i == digits) return false;
    if (text[start] == '+') ++start;
    auto [end, ec] = std::from_chars(text.data() + start, text.data() + i, value);
    if (ec != std::errc() || end != text.data() + i) return false;
    pos = i;
    return true;
}

bool ReadUnit(std::string_view text, std::size_t& pos, const Text& unit) {
    if (text.substr(pos, unit.size()) != unit) return false;
    pos += unit.size();
    return true;
}

}  // namespace

Text EncodeTextValue(const Text& text) {
    return ReplaceAll(text, "\r\n", LineBreakMark());
}

Text DecodeTextValue(const Text& stored) {
    return ReplaceAll(stored, LineBreakMark(), "\r\n");
}

Text FormatNumberValue(double value) {
    char buffer[64];
    auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
    if (ec != std::errc()) return "0";
    return Text(buffer, end);
}

double ParseNumberValue(const Text& stored) {
    return LeadingNumber(stored);
}

Text FormatBoolValue(bool value) {
    static const Text yes = "真"_gbk, no = "假"_gbk;
    return value ? yes : no;
}

bool IsTrueValue(const Text& stored) {
    return stored == FormatBoolValue(true);
}

bool IsFalseValue(const Text& stored) {
    return stored == FormatBoolValue(false);
}

Text FormatDateTimeValue(const DateTime& v) {
    const DateUnits& u = Units();
    Text out = ToText(v.year) + u.year + ToText(v.month) + u.month + ToText(v.day) + u.day;
    if (v.second != 0) {
        out += ToText(v.hour) + u.hour + ToText(v.minute) + u.minute + ToText(v.second) + u.second;
    } else if (v.minute != 0) {
        out += ToText(v.hour) + u.hour + ToText(v.minute) + u.minute;
    } else if (v.hour != 0) {
        out += ToText(v.hour) + u.hour;
    }
    return out;
}

DateTime ParseDateTimeValue(const Text& stored) {
    const DateUnits& u = Units();
    std::string_view text = stored;
    std::size_t pos = 0;
    DateTime v;
    if (!ReadInt(text, pos, v.year) || !ReadUnit(text, pos, u.year) ||
        !ReadInt(text, pos, v.month) || !ReadUnit(text, pos, u.month) ||
        !ReadInt(text, pos, v.day) || !ReadUnit(text, pos, u.day)) {
        return {};
    }
    // The time part is written only as far as it is not zero, each field
    // with its unit, so the fields that follow are optional in this order.
    int* fields[] = {&v.hour, &v.minute, &v.second};
    const Text* units[] = {&u.hour, &u.minute, &u.second};
    for (int i = 0; i < 3 && pos < text.size(); ++i) {
        int value = 0;
        std::size_t at = pos;
        if (!ReadInt(text, at, value) || !ReadUnit(text, at, *units[i])) return {};
        *fields[i] = value;
        pos = at;
    }
    if (pos != text.size()) return {};
    return v;
}

}  // namespace box
