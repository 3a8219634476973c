#include "settings/WindowState.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "settings/SettingsStore.h"
#include "support/ByteOrder.h"
#include "support/EventPump.h"

namespace box {

namespace {

Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Text FromBytes(const Bytes& bytes) {
    return Text(bytes.begin(), bytes.end());
}

Text JoinIndices(const std::vector<int>& indices) {
    Text out;
    for (int index : indices) {
        if (!out.empty()) out += ',';
        out += ToText(index);
    }
    return out;
}

// The indices of a stored list; parts that are not plain numbers are
// dropped, so a damaged value selects what it still names.
std::vector<int> ParseIndices(std::string_view text) {
    std::vector<int> indices;
    for (const Text& part : Split(text, ",")) {
        const std::string_view digits = TrimBlanks(part);
        int value = 0;
        const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (ec == std::errc() && end == digits.data() + digits.size() && value >= 0)
            indices.push_back(value);
    }
    return indices;
}

}  // namespace

ControlKind ControlKindOf(std::string_view name) {
    // Tested in this order; the first prefix that matches decides.
    static const std::pair<Text, ControlKind> kPrefixes[] = {
        {"按钮"_gbk, ControlKind::kButton},
        {"编辑框"_gbk, ControlKind::kEditBox},
        {"选择框"_gbk, ControlKind::kCheckBox},
        {"单选框"_gbk, ControlKind::kRadioButton},
        {"组合框"_gbk, ControlKind::kComboBox},
        {"列表框"_gbk, ControlKind::kListBox},
        {"选择列表框"_gbk, ControlKind::kCheckListBox},
        {"颜色选择器"_gbk, ControlKind::kColourPicker},
    };
    for (const auto& [prefix, kind] : kPrefixes)
        if (name.substr(0, prefix.size()) == prefix) return kind;
    return ControlKind::kNone;
}

Text SkipSavingTag() {
    return "禁止保存"_gbk;
}

Text ByteModeTag() {
    return "字节集方式"_gbk;
}

Bytes EncodeItems(const std::vector<Text>& items) {
    std::string out;
    AppendLe32(out, static_cast<std::uint32_t>(items.size()));
    for (const Text& item : items) {
        AppendLe32(out, static_cast<std::uint32_t>(item.size()));
        out += item;
    }
    return ToBytes(out);
}

std::optional<std::vector<Text>> DecodeItems(const Bytes& bytes) {
    const std::string_view data(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::uint32_t count = 0;
    if (!ReadLe32(data, 0, count)) return std::nullopt;
    std::vector<Text> items;
    std::size_t at = 4;
    for (std::uint32_t i = 0; i < count; ++i) {
        // Every item takes at least its length field: a count that the
        // bytes cannot hold is refused before anything is reserved for it.
        std::uint32_t length = 0;
        if (!ReadLe32(data, at, length)) return std::nullopt;
        at += 4;
        if (data.size() - at < length) return std::nullopt;
        items.emplace_back(data.substr(at, length));
        at += length;
    }
    if (at != data.size()) return std::nullopt;
    return items;
}

void WindowState::saveOrRestoreWindow(StateWindow& window, const WindowStateOptions& options) {
    if (options.section) store_.selectSection(*options.section);
    const bool restore = options.restore;
    for (int i = 0; i < window.controlCount(); ++i) {
        pump_.ProcessPendingEvents();
        StateControl* control = window.control(i);
        if (!control) continue;
        const Text name = control->name();
        if (name.empty()) continue;
        if (std::find(options.leaveOut.begin(), options.leaveOut.end(), name) !=
            options.leaveOut.end())
            continue;
        const ControlKind kind = ControlKindOf(name);
        if (kind == ControlKind::kNone) continue;
        const Text tag = control->tag();
        if (tag == SkipSavingTag()) continue;
        const bool byteMode = tag == ByteModeTag();
        switch (kind) {
            case ControlKind::kButton:
                restore ? restoreButton(*control, byteMode) : saveButton(*control, byteMode);
                break;
            case ControlKind::kEditBox:
                restore ? restoreEditBox(*control, byteMode) : saveEditBox(*control, byteMode);
                break;
            case ControlKind::kCheckBox:
                restore ? restoreCheckBox(*control) : saveCheckBox(*control);
                break;
            case ControlKind::kRadioButton:
                restore ? restoreRadioButton(*control) : saveRadioButton(*control);
                break;
            case ControlKind::kComboBox:
                restore ? restoreComboBox(*control, options.comboList, options.comboContent)
                        : saveComboBox(*control, options.comboList, options.comboContent);
                break;
            case ControlKind::kListBox:
                restore ? restoreListBox(*control) : saveListBox(*control);
                break;
            case ControlKind::kCheckListBox:
                restore ? restoreCheckListBox(*control) : saveCheckListBox(*control);
                break;
            case ControlKind::kColourPicker:
                restore ? restoreColourPicker(*control) : saveColourPicker(*control);
                break;
            case ControlKind::kNone:
                break;
        }
    }
}

void WindowState::saveText(const Text& key, const Text& value, bool byteMode) {
    if (byteMode)
        store_.writeBinary(key, ToBytes(value));
    else
        store_.writeText(key, value);
}

Text WindowState::restoreText(const Text& key, const Text& current, bool byteMode) {
    if (byteMode) return FromBytes(store_.readBinary(key, ToBytes(current)));
    return store_.readText(key, current);
}

void WindowState::saveItems(const Text& key, const std::vector<Text>& items) {
    store_.writeBinary(key, EncodeItems(items));
}

void WindowState::restoreItems(StateControl& control, const Text& key) {
    const Bytes stored = store_.readBinary(key);
    if (stored.empty()) return;
    const std::optional<std::vector<Text>> items = DecodeItems(stored);
    // Setting the same items again would drop the selection the control has.
    if (items && *items != control.items()) control.setItems(*items);
}

std::optional<int> WindowState::readInt(const Text& key, int current) {
    const double value = store_.readNumber(key, current);
    // A hand-edited file may hold anything; only what an int can take is used.
    if (!std::isfinite(value) || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

void WindowState::saveButton(StateControl& control, bool byteMode) {
    saveText(control.name() + ".标记"_gbk, control.tag(), byteMode);
}

void WindowState::restoreButton(StateControl& control, bool byteMode) {
    control.setTag(restoreText(control.name() + ".标记"_gbk, control.tag(), byteMode));
}

void WindowState::saveEditBox(StateControl& control, bool byteMode) {
    saveText(control.name(), control.text(), byteMode);
}

void WindowState::restoreEditBox(StateControl& control, bool byteMode) {
    control.setText(restoreText(control.name(), control.text(), byteMode));
}

void WindowState::saveCheckBox(StateControl& control) {
    store_.writeBool(control.name(), control.checked());
}

void WindowState::restoreCheckBox(StateControl& control) {
    control.setChecked(store_.readBool(control.name(), control.checked()));
}

void WindowState::saveRadioButton(StateControl& control) {
    store_.writeBool(control.name(), control.checked());
}

void WindowState::restoreRadioButton(StateControl& control) {
    control.setChecked(store_.readBool(control.name(), control.checked()));
}

void WindowState::saveComboBox(StateControl& control, bool withList, bool withContent) {
    const Text name = control.name();
    store_.writeNumber(name, control.currentIndex());
    if (withList) saveItems(name + ".列表"_gbk, control.items());
    if (withContent) store_.writeText(name + ".内容"_gbk, control.text());
}

void WindowState::restoreComboBox(StateControl& control, bool withList, bool withContent) {
    const Text name = control.name();
    if (const auto index = readInt(name, control.currentIndex())) control.setCurrentIndex(*index);
    if (withList) restoreItems(control, name + ".列表"_gbk);
    if (withContent) control.setText(store_.readText(name + ".内容"_gbk, control.text()));
}

void WindowState::saveListBox(StateControl& control) {
    const Text name = control.name();
    saveItems(name, control.items());
    store_.writeText(name + ".选中"_gbk, JoinIndices(control.selectedIndices()));
}

void WindowState::restoreListBox(StateControl& control) {
    const Text name = control.name();
    restoreItems(control, name);
    const Text stored = store_.readText(name + ".选中"_gbk, JoinIndices(control.selectedIndices()));
    for (int index : ParseIndices(stored)) control.selectItem(index);
}

void WindowState::saveCheckListBox(StateControl& control) {
    const Text name = control.name();
    saveItems(name, control.items());
    store_.writeNumber(name + ".选中"_gbk, control.currentIndex());
    store_.writeText(name + ".打勾"_gbk, JoinIndices(control.checkedIndices()));
}

void WindowState::restoreCheckListBox(StateControl& control) {
    const Text name = control.name();
    restoreItems(control, name);
    if (const auto index = readInt(name + ".选中"_gbk, control.currentIndex()))
        control.setCurrentIndex(*index);
    const Text stored = store_.readText(name + ".打勾"_gbk, JoinIndices(control.checkedIndices()));
    for (int index : ParseIndices(stored)) control.checkItem(index);
}

void WindowState::saveColourPicker(StateControl& control) {
    store_.writeNumber(control.name(), control.colour());
}

void WindowState::restoreColourPicker(StateControl& control) {
    const double value = store_.readNumber(control.name(), control.colour());
    if (std::isfinite(value) && value >= 0 && value <= std::numeric_limits<unsigned>::max())
        control.setColour(static_cast<unsigned>(value));
}

void WindowState::saveMainWindowPlacement(PlacedWindow& window, const Text& name) {
    store_.selectSection(name + ".尺寸"_gbk);
    const int state = window.showState();
    store_.writeNumber("位置"_gbk, state);
    if (state > kShowCentred) return;
    const WindowBounds b = window.bounds();
    store_.writeNumber("左边"_gbk, b.left);
    store_.writeNumber("顶边"_gbk, b.top);
    store_.writeNumber("宽度"_gbk, b.width);
    store_.writeNumber("高度"_gbk, b.height);
}

void WindowState::restoreMainWindowPlacement(PlacedWindow& window, const Text& name) {
    store_.selectSection(name + ".尺寸"_gbk);
    int state = readInt("位置"_gbk, window.showState()).value_or(window.showState());
    if (state < kShowNormal || state > kShowMaximized) state = window.showState();
    window.setShowState(state);
    if (state > kShowCentred) return;
    const WindowBounds current = window.bounds();
    WindowBounds b;
    b.left = readInt("左边"_gbk, current.left).value_or(current.left);
    b.top = readInt("顶边"_gbk, current.top).value_or(current.top);
    b.width = readInt("宽度"_gbk, current.width).value_or(current.width);
    b.height = readInt("高度"_gbk, current.height).value_or(current.height);
    // A window without area could not be found again to be moved back.
    if (b.width <= 0 || b.height <= 0) {
        b.width = current.width;
        b.height = current.height;
    }
    window.setBounds(b);
}

}  // namespace box
