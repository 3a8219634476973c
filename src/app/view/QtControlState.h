#pragma once
// Qt widgets as the controls and windows whose state the settings store
// saves and restores (settings/WindowState.h).
//
// A widget's designer name is its object name. Tags, which Qt widgets lack,
// are the dynamic property "tag" (a string); a colour picker keeps its colour
// in the dynamic property "colour" (0x00BBGGRR). Line, plain-text and rich
// text edits are edit boxes; check boxes and radio buttons are checkable
// buttons; combo boxes; list widgets are list boxes and check list boxes
// (their ticks are the items' check states).

#include <memory>
#include <vector>

#include <QPointer>
#include <QWidget>

#include "settings/WindowState.h"

namespace box {

inline constexpr char kTagProperty[] = "tag";
inline constexpr char kColourProperty[] = "colour";

class QtStateControl : public StateControl {
public:
    explicit QtStateControl(QWidget* widget) : widget_(widget) {}

    QWidget* widget() const { return widget_; }

    Text name() const override;
    Text tag() const override;
    void setTag(const Text& tag) override;
    Text text() const override;
    void setText(const Text& text) override;
    bool checked() const override;
    void setChecked(bool checked) override;
    int currentIndex() const override;
    void setCurrentIndex(int index) override;
    std::vector<Text> items() const override;
    void setItems(const std::vector<Text>& items) override;
    std::vector<int> selectedIndices() const override;
    void selectItem(int index) override;
    std::vector<int> checkedIndices() const override;
    void checkItem(int index) override;
    unsigned colour() const override;
    void setColour(unsigned colour) override;

private:
    QPointer<QWidget> widget_;
};

// Every widget under a window that has a designer name, in the order the
// window made them. The list is taken once; a widget destroyed later reads as
// gone.
class QtStateWindow : public StateWindow {
public:
    explicit QtStateWindow(QWidget& window);

    int controlCount() const override { return static_cast<int>(controls_.size()); }
    StateControl* control(int index) override;

private:
    std::vector<std::unique_ptr<QtStateControl>> controls_;
};

// A top-level window's placement. Bounds are the outer frame, as the
// window system places it.
class QtPlacedWindow : public PlacedWindow {
public:
    explicit QtPlacedWindow(QWidget& window) : window_(&window) {}

    int showState() const override;
    void setShowState(int state) override;
    WindowBounds bounds() const override;
    void setBounds(const WindowBounds& bounds) override;

private:
    QPointer<QWidget> window_;
};

}  // namespace box
