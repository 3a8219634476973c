#pragma once
// Saving the state of a window's controls into one section of a settings
// store and putting it back, and a main window's placement.
//
// The store knows no widgets: a window hands its controls over through
// StateWindow and StateControl, and the kind of a control follows from the
// beginning of its name (the designer names of the box's forms: "按钮...",
// "编辑框...", ...). Nothing of the box calls these yet; they keep the store
// complete for windows that want their state back.

#include <optional>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace box {

class EventPump;
class SettingsStore;

// One control of a window. A control answers for every kind; what does not
// apply to it (the items of a check box) may be empty and ignore changes.
class StateControl {
public:
    virtual ~StateControl() = default;

    virtual Text name() const = 0;
    virtual Text tag() const = 0;
    virtual void setTag(const Text& tag) = 0;

    // Edit boxes, and the edit part of combo boxes.
    virtual Text text() const = 0;
    virtual void setText(const Text& text) = 0;

    // Check boxes and radio buttons.
    virtual bool checked() const = 0;
    virtual void setChecked(bool checked) = 0;

    // Combo boxes and check list boxes: the current item, -1 for none. An
    // index outside the items is ignored.
    virtual int currentIndex() const = 0;
    virtual void setCurrentIndex(int index) = 0;

    // Combo, list and check list boxes. New items drop the selection and
    // the ticks; the current index stays when it is still an item.
    virtual std::vector<Text> items() const = 0;
    virtual void setItems(const std::vector<Text>& items) = 0;

    // List boxes: the selected items, in ascending order; selectItem adds
    // one to the selection.
    virtual std::vector<int> selectedIndices() const = 0;
    virtual void selectItem(int index) = 0;

    // Check list boxes: the ticked items, in ascending order; checkItem
    // ticks one more.
    virtual std::vector<int> checkedIndices() const = 0;
    virtual void checkItem(int index) = 0;

    // Colour pickers, as 0x00BBGGRR.
    virtual unsigned colour() const = 0;
    virtual void setColour(unsigned colour) = 0;
};

// The controls of one window, in their order on the form.
class StateWindow {
public:
    virtual ~StateWindow() = default;
    virtual int controlCount() const = 0;
    // nullptr when the control is gone: an event handler that ran in the
    // meantime may have destroyed it.
    virtual StateControl* control(int index) = 0;
};

// The window's state property: 0 normal, 1 centred, 2 minimized,
// 3 maximized. Only the first two have a position and size of their own.
enum WindowShowState : int {
    kShowNormal = 0,
    kShowCentred = 1,
    kShowMinimized = 2,
    kShowMaximized = 3,
};

// Outer bounds of a window on the screen, frame included, in pixels.
struct WindowBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const WindowBounds&) const = default;
};

// A main window whose placement is kept.
class PlacedWindow {
public:
    virtual ~PlacedWindow() = default;
    virtual int showState() const = 0;
    virtual void setShowState(int state) = 0;
    virtual WindowBounds bounds() const = 0;
    // Moves and sizes the window in one step.
    virtual void setBounds(const WindowBounds& bounds) = 0;
};

// The kinds of control that are saved, found by name prefix.
enum class ControlKind {
    kNone,
    kButton,
    kEditBox,
    kCheckBox,
    kRadioButton,
    kComboBox,
    kListBox,
    kCheckListBox,
    kColourPicker,
};

ControlKind ControlKindOf(std::string_view name);

// A control with this tag is neither saved nor restored.
Text SkipSavingTag();
// Buttons and edit boxes with this tag keep their value as a byte-array
// value (a file of its own) instead of INI text.
Text ByteModeTag();

// The list items as a byte-array value: the item count, then each item's
// length and bytes (32-bit little-endian numbers). nullopt when the bytes
// are not such a value.
Bytes EncodeItems(const std::vector<Text>& items);
std::optional<std::vector<Text>> DecodeItems(const Bytes& bytes);

struct WindowStateOptions {
    bool restore = false;
    // Selected first when given; otherwise the store's current section.
    std::optional<Text> section;
    // Names of controls to leave out.
    std::vector<Text> leaveOut;
    // Combo boxes: also their list items, and their edit text.
    bool comboList = false;
    bool comboContent = false;
};

// The save and restore operations, over one store. Restoring reads every
// value with the control's current one as the default, so a missing key
// leaves the control as it is.
class WindowState {
public:
    // store and pump must outlive this object.
    WindowState(SettingsStore& store, EventPump& pump) : store_(store), pump_(pump) {}

    // Lets pending events run before each control, as a long walk over a
    // form must; window must outlive the call.
    void saveOrRestoreWindow(StateWindow& window, const WindowStateOptions& options = {});

    void saveButton(StateControl& control, bool byteMode);
    void restoreButton(StateControl& control, bool byteMode);
    void saveEditBox(StateControl& control, bool byteMode);
    void restoreEditBox(StateControl& control, bool byteMode);
    void saveCheckBox(StateControl& control);
    void restoreCheckBox(StateControl& control);
    void saveRadioButton(StateControl& control);
    void restoreRadioButton(StateControl& control);
    void saveComboBox(StateControl& control, bool withList, bool withContent);
    void restoreComboBox(StateControl& control, bool withList, bool withContent);
    void saveListBox(StateControl& control);
    void restoreListBox(StateControl& control);
    void saveCheckListBox(StateControl& control);
    void restoreCheckListBox(StateControl& control);
    void saveColourPicker(StateControl& control);
    void restoreColourPicker(StateControl& control);

    // In the section name + ".尺寸": "位置" (the show state), and for a
    // normal or centred window "左边", "顶边", "宽度" and "高度".
    void saveMainWindowPlacement(PlacedWindow& window, const Text& name = "主界面"_gbk);
    void restoreMainWindowPlacement(PlacedWindow& window, const Text& name = "主界面"_gbk);

private:
    void saveText(const Text& key, const Text& value, bool byteMode);
    Text restoreText(const Text& key, const Text& current, bool byteMode);
    void saveItems(const Text& key, const std::vector<Text>& items);
    void restoreItems(StateControl& control, const Text& key);
    // The stored number, when there is one that fits an int.
    std::optional<int> readInt(const Text& key, int current);

    SettingsStore& store_;
    EventPump& pump_;
};

}  // namespace box
