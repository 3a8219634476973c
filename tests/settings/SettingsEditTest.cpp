// Layout of edits: where sections, keys and values go, and that the file on
// disk follows every edit byte for byte. Runs in file mode and memory mode.

#include "SettingsTestSupport.h"

namespace box::test {
namespace {

class SettingsEditTest : public ::testing::TestWithParam<int> {
protected:
    StoreEnv env;
    SettingsStore store{env.pump, env.dialogs};
    Text path = env.ini();

    void openWith(const Text& text) {
        ASSERT_TRUE(WriteFileBytes(path, text));
        ASSERT_TRUE(store.open(path, GetParam()));
        ASSERT_EQ(store.getText(), text);
    }
    // In file mode the disk follows memory; in memory mode it never changes.
    void expectDisk(const Text& before) {
        if (GetParam() == SettingsStore::kFileMode) {
            EXPECT_DISK_MATCHES(env, path, store);
        } else {
            EXPECT_EQ(env.disk(path), before);
        }
    }
};

TEST_P(SettingsEditTest, NewSectionsAndKeys) {
    openWith("");
    EXPECT_EQ(store.writeKey("S", "a", "1"), 0);
    EXPECT_EQ(store.writeKey("S", "b", "2"), 0);
    EXPECT_EQ(store.getText(), IniLines({"[S]", "b=2", "a=1"}));
    EXPECT_EQ(store.writeKey("T", "k", "v"), 0);
    EXPECT_EQ(store.getText(), IniLines({"[S]", "b=2", "a=1", "[T]", "k=v"}));
    expectDisk("");
}

TEST_P(SettingsEditTest, ReplacingValuesKeepsEverythingElse) {
    const Text start = IniLines({"[S]", "b=22", "a=1", "[T]", "a=9"});
    openWith(start);
    EXPECT_EQ(store.writeKey("S", "b", "longer value"), 0);
    EXPECT_EQ(store.writeKey("S", "a", "x"), 0);  // equal length
    EXPECT_EQ(store.writeKey("T", "a", ""), 0);   // shorter, at the very end
    EXPECT_EQ(store.getText(), IniLines({"[S]", "b=longer value", "a=x", "[T]", "a="}));
    EXPECT_EQ(store.writeKey("S", "b", "s"), 0);
    EXPECT_EQ(store.getText(), IniLines({"[S]", "b=s", "a=x", "[T]", "a="}));
    expectDisk(start);
}

TEST_P(SettingsEditTest, HeadersAndKeysAreFoundOnlyAtLineStarts) {
    // "x=[T]" is a value, "[U]junk" a header; k of T is not k of S; the
    // first line holds no key; the first of two equal headers wins.
    const Text start =
        IniLines({"k=top", "[S]", "x=[T]", "[T]", "k=t", "[U]junk", "u=1", "[S]", "k=second"});
    openWith(start);
    EXPECT_EQ(store.readKey("T", "k"), "t");
    EXPECT_EQ(store.readKey("U", "u"), "1");
    EXPECT_EQ(store.readKey("S", "x"), "[T]");
    EXPECT_EQ(store.readKey("S", "k", "def"), "def");
    EXPECT_EQ(store.readKey("", "k", "def"), "def");
    EXPECT_EQ(store.writeKey("S", "k", "s"), 0);
    EXPECT_EQ(store.getText(), IniLines({"k=top", "[S]", "k=s", "x=[T]", "[T]", "k=t", "[U]junk",
                                         "u=1", "[S]", "k=second"}));
    EXPECT_EQ(store.readKey("S", "k"), "s");
    expectDisk(start);
}

TEST_P(SettingsEditTest, EmptyValuesAndDefaults) {
    openWith(IniLines({"[S]", "e=", "n=5"}));
    EXPECT_EQ(store.readKey("S", "e", "d"), "");
    EXPECT_EQ(store.readKey("S", "e", "d", true), "d");
    EXPECT_EQ(store.readKey("S", "n", "d", true), "5");
    EXPECT_EQ(store.readKey("S", "missing", "d"), "d");
    EXPECT_EQ(store.readKey("X", "n", "d"), "d");
}

TEST_P(SettingsEditTest, DeletingSectionsAndKeys) {
    const Text start = IniLines({"[A]", "a=1", "b=2", "[B]", "a=3", "[C]"});
    openWith(start);
    EXPECT_EQ(store.deleteEntry("A", "b"), 0);
    EXPECT_EQ(store.deleteEntry("A", "b"), 2);
    EXPECT_EQ(store.deleteEntry("Z"), 1);
    EXPECT_EQ(store.getText(), IniLines({"[A]", "a=1", "[B]", "a=3", "[C]"}));
    EXPECT_EQ(store.deleteEntry("A"), 0);
    EXPECT_EQ(store.getText(), IniLines({"[B]", "a=3", "[C]"}));
    // The last key line of the text; then the section before an empty last
    // header, which must survive.
    EXPECT_EQ(store.deleteEntry("B", "a"), 0);
    EXPECT_EQ(store.getText(), IniLines({"[B]", "[C]"}));
    EXPECT_EQ(store.deleteEntry("B"), 0);
    EXPECT_EQ(store.getText(), "[C]");
    EXPECT_EQ(store.deleteEntry("C"), 0);
    EXPECT_EQ(store.getText(), "");
    expectDisk(start);
}

TEST_P(SettingsEditTest, DeletingAKeyOfALaterSectionIsRefused) {
    openWith(IniLines({"[A]", "x=1", "[B]", "k=2"}));
    EXPECT_EQ(store.deleteEntry("A", "k"), 2);
    EXPECT_EQ(store.renameKey("A", "k", "z"), 2);
    EXPECT_EQ(store.getText(), IniLines({"[A]", "x=1", "[B]", "k=2"}));
}

TEST_P(SettingsEditTest, Renaming) {
    const Text start = IniLines({"[Old]", "key=v", "[B]"});
    openWith(start);
    EXPECT_EQ(store.renameSection("Old", G("新名字")), 0);
    EXPECT_EQ(store.renameSection("Old", "x"), 1);
    EXPECT_EQ(store.renameKey(G("新名字"), "key", "k"), 0);
    EXPECT_EQ(store.renameKey("B", "key", "k"), 2);
    EXPECT_EQ(store.renameKey("Q", "key", "k"), 1);
    EXPECT_EQ(store.getText(), IniLines({"[新名字]", "k=v", "[B]"}));
    expectDisk(start);
}

TEST_P(SettingsEditTest, AppendText) {
    const Text start = IniLines({"[S]", "a=1"});
    openWith(start);
    store.appendText("\r\n[T]\r\nb=2", true);
    EXPECT_EQ(store.getText(), IniLines({"[S]", "a=1", "[T]", "b=2"}));
    expectDisk(start);
    store.appendText("[N]");
    EXPECT_EQ(store.getText(), "[N]");
    expectDisk(start);
}

TEST_P(SettingsEditTest, FindHeaderWantsWholeLines) {
    // 1-based: "[B]" at 11, "[C" + CR LF + "]" is no header line, "[D]" at 23.
    openWith(IniLines({"[A]", "a=1", "[B]", "[C", "]", "[D]", "x"}));
    EXPECT_EQ(store.findHeader(1, 100), 11);
    EXPECT_EQ(store.findHeader(11, 100), 23);
    EXPECT_EQ(store.findHeader(1, 9), -1);   // its CR LF starts at 9
    EXPECT_EQ(store.findHeader(1, 12), -1);  // its "]" lies beyond 12
    EXPECT_EQ(store.findHeader(1, 13), 11);
}

INSTANTIATE_TEST_SUITE_P(Modes, SettingsEditTest, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param == 0 ? "File" : "Memory"; });

}  // namespace
}  // namespace box::test
