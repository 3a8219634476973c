// Re-entry through the event pump: queued edits, the give-up path, and reads
// and listings while handlers run.

#include <functional>
#include <stdexcept>
#include <vector>

#include "SettingsTestSupport.h"

namespace box::test {
namespace {

TEST(SettingsQueueTest, AnEditFromAHandlerRunsAfterTheRunningOne) {
    StoreEnv env;
    const Text path = env.ini();
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path));
    store.selectSection("S");
    bool fired = false, nested = true;
    int deleted = -9, readInside = -9;
    env.pump.onEveryPump = [&] {
        if (fired) return;
        fired = true;
        EXPECT_TRUE(store.busy());
        nested = store.writeNumber("b", 2);
        deleted = store.deleteEntry("S", "x");
        EXPECT_EQ(store.processQueue(), 3);
        readInside = static_cast<int>(store.readNumber("b", -1));
    };
    EXPECT_TRUE(store.writeNumber("a", 1));
    EXPECT_FALSE(nested);
    EXPECT_EQ(deleted, 3);
    EXPECT_EQ(readInside, -1);  // not yet applied while "a" is being written
    // "b" went in after "a": the newest key stands first.
    EXPECT_EQ(store.getText(), IniLines({"[S]", "b=2", "a=1"}));
    EXPECT_TRUE(store.queue().empty());
    EXPECT_FALSE(store.busy());
    EXPECT_EQ(store.processQueue(), -1);
    EXPECT_DISK_MATCHES(env, path, store);
}

TEST(SettingsQueueTest, GivesUpWhenTheSectionKeepsVanishing) {
    StoreEnv env;
    const Text path = env.ini();
    ASSERT_TRUE(WriteFileBytes(path, IniLines({"[T]", "t=1"})));
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path));
    store.selectSection("S");
    env.pump.onEveryPump = [&] { store.deleteEntry("S", "", true); };
    EXPECT_FALSE(store.writeNumber("a", 1));
    env.pump.onEveryPump = nullptr;

    ASSERT_EQ(env.dialogs.shown.size(), 2u);
    const auto& warning = env.dialogs.shown[0];
    EXPECT_EQ(warning.text, G("配置模块出现意外，可能导致无法正常保存！详情请咨询汀芷。"));
    EXPECT_EQ(warning.title, G("汀芷："));
    EXPECT_EQ(warning.flags & kMbIconMask, unsigned(kMbIconWarning));
    EXPECT_TRUE(warning.flags & kMbSystemModal);
    EXPECT_EQ(env.dialogs.shown[1].title, G("信息："));
    EXPECT_EQ(env.dialogs.shown[1].text, store.getText());
    EXPECT_EQ(env.pump.pumps, 11);  // one search pass per appended header
    EXPECT_EQ(store.writeKey("S", "a", "1", true), 0);
    EXPECT_DISK_MATCHES(env, path, store);
}

TEST(SettingsQueueTest, GivesUpWhenTheKeyKeepsVanishing) {
    StoreEnv env;
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.openPath("", true));
    store.appendText("[S]");
    env.pump.onEveryPump = [&] { store.deleteEntry("S", "a", true); };
    EXPECT_EQ(store.writeKey("S", "a", "1"), -1);
    EXPECT_EQ(env.dialogs.shown.size(), 2u);
}

TEST(SettingsQueueTest, ReadsAndListingsLetEventsRun) {
    StoreEnv env;
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.openPath("", true));
    store.appendText(IniLines({"[A]", "k=1", "[B]", "k=2", "[C]"}));
    env.pump.pumps = 0;
    EXPECT_EQ(store.readKey("B", "k"), "2");
    EXPECT_GE(env.pump.pumps, 1);

    // A handler that deletes sections mid-listing changes the store, not the
    // listing already under way.
    env.pump.pumps = 0;
    env.pump.onEveryPump = [&] { store.deleteEntry("B"); };
    std::vector<Text> names;
    EXPECT_EQ(store.listSections(names), 3);
    EXPECT_EQ(names, (std::vector<Text>{"A", "B", "C"}));
    EXPECT_EQ(env.pump.pumps, 5);  // once per line
    EXPECT_EQ(store.getText(), IniLines({"[A]", "k=1", "[C]"}));
}

// A store on the text below, whose handlers run once, at the next pump.
struct ReentryEnv {
    StoreEnv env;
    SettingsStore store{env.pump, env.dialogs};

    ReentryEnv() {
        EXPECT_TRUE(store.openPath("", true));
        store.appendText(IniLines({"[A]", "k=1", "k=2", "[B]", "k=3", "[ABCDE]", "k=4"}));
    }
    void onNextPump(std::function<void()> change) { env.pump.pending.push_back(std::move(change)); }
};

// Handlers that change the current section, or the caller's own texts,
// while a read or write lets events run: it keeps to what it was given.
TEST(SettingsQueueTest, AHandlerCannotRedirectAReadOrWriteUnderWay) {
    ReentryEnv r;
    SettingsStore& store = r.store;
    store.selectSection("A");
    r.onNextPump([&] { store.selectSection("ABCDE"); });
    EXPECT_EQ(store.readText("k"), "1");
    EXPECT_EQ(store.section(), "ABCDE");
    store.selectSection("A");
    r.onNextPump([&] { store.selectSection("ABCDE"); });
    EXPECT_TRUE(store.writeText("k", "typed"));
    EXPECT_EQ(store.getText(), IniLines({"[A]", "k=typed", "k=2", "[B]", "k=3", "[ABCDE]", "k=4"}));

    Text section, key;
    auto retarget = [&] {
        section = "A";
        key = "k";
        r.onNextPump([&] {
            section = "ABCDE";
            key = "other";
        });
    };
    retarget();
    EXPECT_EQ(store.readKey(section, key), "typed");
    retarget();
    EXPECT_EQ(store.writeKey(section, key, "now", true), 0);
    EXPECT_EQ(store.readKey("A", "k"), "now");
    retarget();
    EXPECT_EQ(store.writeKey(section, key, "queued"), 0);
    EXPECT_EQ(store.getText(),
              IniLines({"[A]", "k=queued", "k=2", "[B]", "k=3", "[ABCDE]", "k=4"}));
}

TEST(SettingsQueueTest, AHandlerCannotChangeAListingUnderWay) {
    ReentryEnv r;
    SettingsStore& store = r.store;
    std::vector<Text> names;
    Text filter = "A";
    r.onNextPump([&] { filter = "B"; });
    EXPECT_EQ(store.listSections(names, filter), 2);
    EXPECT_EQ(names, (std::vector<Text>{"A", "ABCDE"}));
    filter = "k";
    r.onNextPump([&] { filter = "x"; });
    EXPECT_EQ(store.listKeys(names, filter), 4);
    Text value = "3";
    r.onNextPump([&] { value = "4"; });
    EXPECT_EQ(store.listKeysWithValue(value, names), 1);
    EXPECT_EQ(names, std::vector<Text>{"k"});

    // A handler that lists into the same vector meanwhile.
    r.onNextPump([&] { store.listSections(names); });
    EXPECT_EQ(store.listSections(names, "ABC"), 1);
    EXPECT_EQ(names, std::vector<Text>{"ABCDE"});
}

// A handler that throws out of the pump must not leave the store busy, or
// every later edit would wait in the queue for ever.
TEST(SettingsQueueTest, AnEditLeftByAnExceptionLeavesTheStoreUsable) {
    StoreEnv env;
    const Text path = env.ini();
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path));
    store.selectSection("S");
    env.pump.pending.push_back([] { throw std::runtime_error("handler failed"); });
    EXPECT_THROW(store.writeNumber("a", 1), std::runtime_error);
    EXPECT_FALSE(store.busy());
    EXPECT_TRUE(store.queue().empty());
    EXPECT_TRUE(store.writeNumber("b", 2));
    EXPECT_EQ(store.getText(), IniLines({"[S]", "b=2"}));
    EXPECT_DISK_MATCHES(env, path, store);
}

}  // namespace
}  // namespace box::test
