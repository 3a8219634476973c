// Saving and restoring a window's controls and a main window's placement,
// over a fake form.

#include <filesystem>
#include <memory>
#include <set>

#include "SettingsTestSupport.h"
#include "settings/WindowState.h"

namespace box::test {
namespace {

// A control that behaves like the form library's: indices outside the items
// are ignored, and new items drop the selection and the ticks.
class FakeControl : public StateControl {
public:
    FakeControl(const char* name, const char* tag = "") : name_(G(name)), tag_(G(tag)) {}

    Text name() const override { return name_; }
    Text tag() const override { return tag_; }
    void setTag(const Text& tag) override { tag_ = tag; }
    Text text() const override { return text_; }
    void setText(const Text& text) override { text_ = text; }
    bool checked() const override { return checked_; }
    void setChecked(bool checked) override { checked_ = checked; }
    int currentIndex() const override { return current_; }
    void setCurrentIndex(int index) override {
        if (index == -1 || has(index)) current_ = index;
    }
    std::vector<Text> items() const override { return items_; }
    void setItems(const std::vector<Text>& items) override {
        items_ = items;
        selected_.clear();
        ticked_.clear();
        if (!has(current_)) current_ = -1;
        ++itemSets;
    }
    std::vector<int> selectedIndices() const override {
        return {selected_.begin(), selected_.end()};
    }
    void selectItem(int index) override {
        if (has(index)) selected_.insert(index);
    }
    std::vector<int> checkedIndices() const override { return {ticked_.begin(), ticked_.end()}; }
    void checkItem(int index) override {
        if (has(index)) ticked_.insert(index);
    }
    unsigned colour() const override { return colour_; }
    void setColour(unsigned colour) override { colour_ = colour; }

    // Everything a control holds, to compare two controls at once.
    auto state() const {
        return std::tie(tag_, text_, checked_, current_, items_, selected_, ticked_, colour_);
    }

    int itemSets = 0;

private:
    bool has(int index) const { return index >= 0 && index < static_cast<int>(items_.size()); }

    Text name_;
    Text tag_;
    Text text_;
    bool checked_ = false;
    int current_ = -1;
    std::vector<Text> items_;
    std::set<int> selected_;
    std::set<int> ticked_;
    unsigned colour_ = 0;
};

class FakeWindow : public StateWindow {
public:
    FakeControl& add(const char* name, const char* tag = "") {
        controls.push_back(std::make_unique<FakeControl>(name, tag));
        return *controls.back();
    }
    FakeControl& at(std::size_t i) { return *controls[i]; }
    int controlCount() const override { return static_cast<int>(controls.size()); }
    StateControl* control(int index) override { return controls[index].get(); }

    std::vector<std::unique_ptr<FakeControl>> controls;
};

// One control of every kind, plus a label that no prefix names. fill gives
// them values; otherwise they keep their defaults (the list-like controls
// still get items, so indices can land).
FakeWindow Form(bool fill) {
    FakeWindow w;
    FakeControl& button = w.add("按钮下载");
    FakeControl& byteButton = w.add("按钮字节", "字节集方式");
    FakeControl& edit = w.add("编辑框路径");
    FakeControl& byteEdit = w.add("编辑框原样", "字节集方式");
    FakeControl& check = w.add("选择框自动");
    FakeControl& radio = w.add("单选框一");
    FakeControl& combo = w.add("组合框类型");
    FakeControl& list = w.add("列表框历史");
    FakeControl& checkList = w.add("选择列表框功能");
    FakeControl& colour = w.add("颜色选择器背景");
    FakeControl& label = w.add("标签说明");
    const std::vector<Text> three = {"a", "b", "c"};
    combo.setItems(three);
    list.setItems(three);
    checkList.setItems(three);
    if (!fill) return w;
    button.setTag(G("已下载"));
    edit.setText(G("D:\\软件\r\n第二行"));
    // The tag of a button in byte mode is its value, so it keeps the tag.
    byteEdit.setText(std::string("x\0y\r\n\xFF", 6));
    check.setChecked(true);
    radio.setChecked(true);
    combo.setItems({G("全部"), G("收费"), G("免费")});
    combo.setCurrentIndex(2);
    combo.setText(G("免费"));
    list.setItems({G("一"), "", G("三"), "four"});
    list.selectItem(0);
    list.selectItem(3);
    checkList.setItems({"x", "y", "z"});
    checkList.setCurrentIndex(1);
    checkList.checkItem(0);
    checkList.checkItem(2);
    colour.setColour(0x00FF8040);
    label.setText("label");
    (void)byteButton;
    return w;
}

struct WindowStateEnv : StoreEnv {
    WindowStateEnv() { EXPECT_TRUE(store.open(ini())); }
    WindowStateOptions options(bool restore) const {
        WindowStateOptions o;
        o.restore = restore;
        o.section = G("设置窗口");
        o.comboList = true;
        o.comboContent = true;
        return o;
    }
    std::filesystem::path binaryFile(const char* key) const {
        return dir.path() / "inibin" / (std::string("设置窗口-") + key + ".ibn");
    }
    SettingsStore store{pump, dialogs};
    WindowState state{store, pump};
};

TEST(WindowStateTest, KindFollowsTheFirstMatchingNamePrefix) {
    const std::pair<const char*, ControlKind> cases[] = {
        {"按钮", ControlKind::kButton},
        {"按钮确定", ControlKind::kButton},
        {"编辑框1", ControlKind::kEditBox},
        {"选择框1", ControlKind::kCheckBox},
        {"单选框1", ControlKind::kRadioButton},
        {"组合框1", ControlKind::kComboBox},
        {"列表框1", ControlKind::kListBox},
        {"选择列表框1", ControlKind::kCheckListBox},
        {"颜色选择器1", ControlKind::kColourPicker},
        {"标签1", ControlKind::kNone},
        {"图片框按钮", ControlKind::kNone},
        {"按", ControlKind::kNone},
        {"", ControlKind::kNone},
    };
    for (const auto& [name, kind] : cases) EXPECT_EQ(ControlKindOf(G(name)), kind) << name;
}

TEST(WindowStateTest, EveryKindComesBackFromASave) {
    WindowStateEnv env;
    FakeWindow saved = Form(true);
    env.state.saveOrRestoreWindow(saved, env.options(false));

    FakeWindow restored = Form(false);
    env.state.saveOrRestoreWindow(restored, env.options(true));
    for (std::size_t i = 0; i + 1 < saved.controls.size(); ++i)
        EXPECT_EQ(restored.at(i).state(), saved.at(i).state()) << GbkToUtf8(saved.at(i).name());
    // A control that no prefix names keeps what it had.
    EXPECT_EQ(restored.controls.back()->text(), "");

    // The stored forms, as another reader of the file would find them.
    env.store.selectSection(G("设置窗口"));
    EXPECT_EQ(env.store.readText(G("按钮下载.标记")), G("已下载"));
    EXPECT_EQ(env.store.readText(G("编辑框路径")), G("D:\\软件\r\n第二行"));
    EXPECT_EQ(env.store.readText(G("选择框自动")), G("真"));
    EXPECT_EQ(env.store.readText(G("组合框类型")), "2");
    EXPECT_EQ(env.store.readText(G("组合框类型.内容")), G("免费"));
    EXPECT_EQ(env.store.readText(G("列表框历史.选中")), "0,3");
    EXPECT_EQ(env.store.readText(G("选择列表框功能.选中")), "1");
    EXPECT_EQ(env.store.readText(G("选择列表框功能.打勾")), "0,2");
    EXPECT_EQ(env.store.readText(G("颜色选择器背景")), ToText(0x00FF8040));
    EXPECT_TRUE(std::filesystem::is_regular_file(env.binaryFile("列表框历史")));
    EXPECT_TRUE(std::filesystem::is_regular_file(env.binaryFile("组合框类型.列表")));
    EXPECT_EQ(env.store.readText(G("标签说明"), "none"), "none");
}

TEST(WindowStateTest, ByteModeKeepsEveryByteInAFileOfItsOwn) {
    WindowStateEnv env;
    FakeWindow saved = Form(true);
    env.state.saveOrRestoreWindow(saved, env.options(false));

    const std::string raw("x\0y\r\n\xFF", 6);
    EXPECT_EQ(
        env.disk(JoinPath(JoinPath(env.dir.gbk(), Text("inibin")), G("设置窗口-编辑框原样.ibn"))),
        raw);
    EXPECT_EQ(env.disk(JoinPath(JoinPath(env.dir.gbk(), Text("inibin")),
                                G("设置窗口-按钮字节.标记.ibn"))),
              G("字节集方式"));
    const Text ini = env.store.getText();
    EXPECT_EQ(ini.find(G("编辑框原样")), Text::npos);
    EXPECT_EQ(ini.find(G("按钮字节")), Text::npos);
    EXPECT_NE(ini.find(G("编辑框路径=")), Text::npos);
}

TEST(WindowStateTest, SkippedControlsAndLeftOutNamesAreNeitherSavedNorRestored) {
    WindowStateEnv env;
    FakeWindow w;
    w.add("按钮确定", "禁止保存");
    w.add("编辑框密码").setText("secret");
    w.add("编辑框名称").setText("name");
    WindowStateOptions save = env.options(false);
    save.leaveOut = {G("编辑框密码")};
    env.state.saveOrRestoreWindow(w, save);
    const Text ini = env.store.getText();
    EXPECT_EQ(ini.find(G("按钮确定")), Text::npos);
    EXPECT_EQ(ini.find(G("编辑框密码")), Text::npos);
    EXPECT_NE(ini.find(G("编辑框名称=name")), Text::npos);

    // Values that are in the file all the same stay where they are.
    env.store.writeText(G("按钮确定.标记"), "stored");
    env.store.writeText(G("编辑框密码"), "stored");
    WindowStateOptions restore = env.options(true);
    restore.leaveOut = {G("编辑框密码")};
    env.state.saveOrRestoreWindow(w, restore);
    EXPECT_EQ(w.at(0).tag(), G("禁止保存"));
    EXPECT_EQ(w.at(1).text(), "secret");
}

TEST(WindowStateTest, MissingKeysLeaveEveryControlUnchanged) {
    WindowStateEnv env;
    FakeWindow w = Form(true);
    const FakeWindow before = Form(true);
    const int itemSets = w.at(7).itemSets;
    env.state.saveOrRestoreWindow(w, env.options(true));
    for (std::size_t i = 0; i < w.controls.size(); ++i)
        EXPECT_EQ(w.at(i).state(), before.controls[i]->state()) << GbkToUtf8(w.at(i).name());
    EXPECT_EQ(w.at(7).itemSets, itemSets);
}

TEST(WindowStateTest, SavedIndicesAreAddedToTheSelectionThatIsThere) {
    WindowStateEnv env;
    FakeWindow saved;
    FakeControl& list = saved.add("列表框历史");
    FakeControl& checks = saved.add("选择列表框功能");
    for (FakeControl* c : {&list, &checks}) c->setItems({"a", "b", "c", "d"});
    list.selectItem(2);
    checks.checkItem(3);
    env.state.saveOrRestoreWindow(saved, env.options(false));

    FakeWindow restored;
    FakeControl& list2 = restored.add("列表框历史");
    FakeControl& checks2 = restored.add("选择列表框功能");
    for (FakeControl* c : {&list2, &checks2}) c->setItems({"a", "b", "c", "d"});
    list2.selectItem(0);
    checks2.checkItem(1);
    env.state.saveOrRestoreWindow(restored, env.options(true));
    EXPECT_EQ(list2.selectedIndices(), (std::vector<int>{0, 2}));
    EXPECT_EQ(checks2.checkedIndices(), (std::vector<int>{1, 3}));
}

TEST(WindowStateTest, DamagedValuesRestoreWhatTheyStillName) {
    WindowStateEnv env;
    env.store.selectSection(G("设置窗口"));
    env.store.writeText(G("列表框历史.选中"), " 1,x,-3,99999999999,,2 ");
    env.store.writeText(G("选择列表框功能.打勾"), "0,1e3,2");
    env.store.writeText(G("组合框类型"), "1e300");
    env.store.writeText(G("选择列表框功能.选中"), "-1e300");
    env.store.writeText(G("颜色选择器背景"), "-5");
    // A list value whose count promises more items than its bytes hold.
    ASSERT_TRUE(env.store.writeBinary(G("列表框历史"), {0xFF, 0xFF, 0xFF, 0x7F, 1, 0, 0, 0}));
    ASSERT_TRUE(env.store.writeBinary(G("选择列表框功能"), {1, 0, 0, 0, 9, 0, 0, 0, 'a'}));

    FakeWindow w = Form(false);
    w.at(6).setCurrentIndex(1);
    w.at(8).setCurrentIndex(2);
    w.at(9).setColour(7);
    env.state.saveOrRestoreWindow(w, env.options(true));
    EXPECT_EQ(w.at(7).items(), (std::vector<Text>{"a", "b", "c"}));
    EXPECT_EQ(w.at(7).selectedIndices(), (std::vector<int>{1, 2}));
    EXPECT_EQ(w.at(8).items(), (std::vector<Text>{"a", "b", "c"}));
    EXPECT_EQ(w.at(8).checkedIndices(), (std::vector<int>{0, 2}));
    EXPECT_EQ(w.at(6).currentIndex(), 1);
    EXPECT_EQ(w.at(8).currentIndex(), 2);
    EXPECT_EQ(w.at(9).colour(), 7u);
}

TEST(WindowStateTest, ItemValuesRoundTripAndRefuseTruncatedBytes) {
    const std::vector<Text> items = {"", G("汀芷"), std::string("a\0b", 3), "\r\n"};
    const Bytes bytes = EncodeItems(items);
    EXPECT_EQ(DecodeItems(bytes), items);
    EXPECT_EQ(DecodeItems(EncodeItems({})), std::vector<Text>{});
    for (std::size_t cut = 0; cut < bytes.size(); ++cut)
        EXPECT_FALSE(DecodeItems(Bytes(bytes.begin(), bytes.begin() + cut))) << cut;
    Bytes longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(DecodeItems(longer));
}

TEST(WindowStateTest, EventsRunBeforeEachControlAndAGoneControlIsSkipped) {
    WindowStateEnv env;
    FakeWindow w;
    w.add("编辑框一").setText("1");
    w.add("编辑框二").setText("2");
    w.add("编辑框三").setText("3");
    // The walk's own pump, apart from the one the store lets run on writes.
    ScriptedEventPump walkPump;
    WindowState state(env.store, walkPump);
    // A handler that runs while the walk is under way closes the second control.
    walkPump.pending.push_back([&w] { w.controls[1].reset(); });
    WindowStateOptions save;  // no section: the current one is used
    env.store.selectSection("current");
    state.saveOrRestoreWindow(w, save);
    EXPECT_EQ(walkPump.pumps, 3);
    EXPECT_EQ(env.store.readText(G("编辑框一")), "1");
    EXPECT_EQ(env.store.readText(G("编辑框二"), "none"), "none");
    EXPECT_EQ(env.store.readText(G("编辑框三")), "3");
    EXPECT_EQ(env.store.section(), "current");
}

class FakePlacedWindow : public PlacedWindow {
public:
    int state = kShowNormal;
    WindowBounds box{10, 20, 300, 200};
    int boundsSets = 0;

    int showState() const override { return state; }
    void setShowState(int s) override { state = s; }
    WindowBounds bounds() const override { return box; }
    void setBounds(const WindowBounds& b) override {
        box = b;
        ++boundsSets;
    }
};

TEST(WindowStateTest, PlacementOfANormalWindowComesBack) {
    WindowStateEnv env;
    FakePlacedWindow window;
    window.box = {-40, 30, 640, 480};
    env.state.saveMainWindowPlacement(window);
    EXPECT_EQ(env.store.section(), G("主界面.尺寸"));
    EXPECT_EQ(env.disk(env.ini()),
              IniLines({"[主界面.尺寸]", "高度=480", "宽度=640", "顶边=30", "左边=-40", "位置=0"}));

    FakePlacedWindow other;
    other.state = kShowMaximized;
    env.state.restoreMainWindowPlacement(other);
    EXPECT_EQ(other.state, kShowNormal);
    EXPECT_EQ(other.box, (WindowBounds{-40, 30, 640, 480}));
    EXPECT_EQ(other.boundsSets, 1);

    // Another name keeps its own section.
    env.state.restoreMainWindowPlacement(other, G("下载窗口"));
    EXPECT_EQ(env.store.section(), G("下载窗口.尺寸"));
    EXPECT_EQ(other.box, (WindowBounds{-40, 30, 640, 480}));
}

TEST(WindowStateTest, AMaximizedWindowKeepsOnlyItsState) {
    WindowStateEnv env;
    FakePlacedWindow window;
    window.state = kShowMaximized;
    env.state.saveMainWindowPlacement(window, G("下载窗口"));
    EXPECT_EQ(env.disk(env.ini()), IniLines({"[下载窗口.尺寸]", "位置=3"}));

    FakePlacedWindow other;
    env.state.restoreMainWindowPlacement(other, G("下载窗口"));
    EXPECT_EQ(other.state, kShowMaximized);
    EXPECT_EQ(other.box, (WindowBounds{10, 20, 300, 200}));
    EXPECT_EQ(other.boundsSets, 0);
}

TEST(WindowStateTest, DamagedPlacementKeepsWhatTheWindowHas) {
    WindowStateEnv env;
    env.store.selectSection(G("主界面.尺寸"));
    env.store.writeText(G("位置"), "9");
    env.store.writeText(G("左边"), "1e300");
    env.store.writeText(G("顶边"), "5");
    env.store.writeText(G("宽度"), "0");
    env.store.writeText(G("高度"), "-7");
    FakePlacedWindow window;
    window.state = kShowCentred;
    env.state.restoreMainWindowPlacement(window);
    EXPECT_EQ(window.state, kShowCentred);
    EXPECT_EQ(window.box, (WindowBounds{10, 5, 300, 200}));

    // Nothing stored at all: the window stays as it is.
    FakePlacedWindow fresh;
    env.state.restoreMainWindowPlacement(fresh, G("没有"));
    EXPECT_EQ(fresh.state, kShowNormal);
    EXPECT_EQ(fresh.box, (WindowBounds{10, 20, 300, 200}));
}

}  // namespace
}  // namespace box::test
