// The listing operations.

#include "SettingsTestSupport.h"

namespace box::test {
namespace {

using Names = std::vector<Text>;

class SettingsListTest : public ::testing::Test {
protected:
    StoreEnv env;
    SettingsStore store{env.pump, env.dialogs};
    Names out;

    void load(const Text& text) {
        ASSERT_TRUE(store.openPath("", true));
        store.appendText(text);
    }
};

TEST_F(SettingsListTest, Sections) {
    // LF-only lines count as lines; a header must start with "[" and end with "]".
    load(G("top=1\n[汀芷·甲]\r\na=1\n[B]\n [C]\n[汀芷·D]x\n[E]]\r\n[汀芷·乙]"));
    EXPECT_EQ(store.listSections(out), 4);
    EXPECT_EQ(out, (Names{G("汀芷·甲"), "B", "E", G("汀芷·乙")}));
    EXPECT_EQ(store.listSections(out, G("汀芷·")), 2);
    EXPECT_EQ(out, (Names{G("汀芷·甲"), G("汀芷·乙")}));
    EXPECT_EQ(store.listSections(out, G("汀芷·"), G("乙")), 1);
    EXPECT_EQ(store.listSections(out, {}, "B"), 3);
}

TEST_F(SettingsListTest, Keys) {
    load(IniLines(
        {"lead=0", "[A]", "ka=1", "kb=2", "no equals", "[B]", "kc=3", "x=4", "[C]", "kd=5"}));
    EXPECT_EQ(store.listKeys(out), 6);
    EXPECT_EQ(out, (Names{"lead", "ka", "kb", "kc", "x", "kd"}));
    EXPECT_EQ(store.listKeys(out, "k", "b"), 3);
    EXPECT_EQ(out, (Names{"ka", "kc", "kd"}));
    EXPECT_EQ(store.listKeys(out, {}, {}, "B"), 2);
    EXPECT_EQ(out, (Names{"kc", "x"}));
    EXPECT_EQ(store.listKeys(out, {}, {}, {}, {}, "B"), 3);
    EXPECT_EQ(out, (Names{"ka", "kb", "kd"}));
    EXPECT_EQ(store.listKeys(out, {}, {}, "Z"), 0);
}

TEST_F(SettingsListTest, SectionsWithKey) {
    load(IniLines({"k=0", "k=top", "[A]", "k=1", "x=2", "[B]", "xk=3", "[C]", "k=4", "[C]", "y=1",
                   "k=5", "[D]", "k=6", "k=7"}));
    EXPECT_EQ(store.listSectionsWithKey("k", out), 4);
    EXPECT_EQ(out, (Names{"A", "C", "C", "D"}));
    EXPECT_EQ(store.listSectionsWithKey("none", out), 0);
}

TEST_F(SettingsListTest, KeysWithValue) {
    load(IniLines({"[A]", "a=1", "b=10", "c=", "[B]", "d=1", "e="}));
    EXPECT_EQ(store.listKeysWithValue("1", out), 2);
    EXPECT_EQ(out, (Names{"a", "d"}));
    EXPECT_EQ(store.listKeysWithValue("1", out, "B"), 1);
    EXPECT_EQ(store.listKeysWithValue("", out), 2);
    EXPECT_EQ(out, (Names{"c", "e"}));
    EXPECT_EQ(store.listKeysWithValue("", out, "A"), 1);
    EXPECT_EQ(store.listKeysWithValue("1", out, "Z"), 0);
}

}  // namespace
}  // namespace box::test
