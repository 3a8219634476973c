// Typed values: their stored form, defaults, the registry mode and binary
// values in files of their own.

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>
#include <utility>
#include <vector>

#include "SettingsTestSupport.h"
#include "settings/SettingsCodec.h"

namespace box::test {
namespace {

TEST(SettingsValuesTest, NumbersUsePercent13gForm) {
    const double values[] = {
        3,   0.5,          -2.5, 1.0 / 3,         123456789012345.0, 1e20, 1e-7, 0.1 + 0.2,
        100, 4294967296.0, -0.0, 9999999999999.0, 12345.678901234567};
    for (double v : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.13g", v);
        EXPECT_EQ(FormatNumberValue(v), expected) << v;
    }
    EXPECT_EQ(FormatNumberValue(3), "3");
    EXPECT_EQ(FormatNumberValue(0.5), "0.5");
    EXPECT_EQ(ParseNumberValue("12abc"), 12);
    EXPECT_EQ(ParseNumberValue("-1.5e3x"), -1500);
    EXPECT_EQ(ParseNumberValue("abc"), 0);
    EXPECT_EQ(ParseNumberValue(""), 0);
}

TEST(SettingsValuesTest, NumbersBeyondTheRangeOfADoubleReadAsTheLargestOfTheirSign) {
    StoreEnv env;
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.openPath("", true));
    const std::string wide = "wide=1" + std::string(400, '0');
    store.appendText(IniLines({"[S]", "big=1e400", "neg=-1e400x", "tiny=1e-400", wide.c_str()}));
    store.selectSection("S");
    constexpr double kMax = std::numeric_limits<double>::max();
    EXPECT_EQ(store.readNumber("big"), kMax);
    EXPECT_EQ(store.readNumber("neg"), -kMax);
    EXPECT_EQ(store.readNumber("wide"), kMax);
    EXPECT_EQ(store.readNumber("tiny", 7), 0);
}

TEST(SettingsValuesTest, TypedValuesAsStoredInTheFile) {
    StoreEnv env;
    const Text path = env.ini();
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path));
    store.selectSection(G("基本配置"));
    EXPECT_TRUE(store.writeText("t", "line1\r\nline2"));
    EXPECT_TRUE(store.writeNumber("n", 3));
    EXPECT_TRUE(store.writeNumber("h", 0.5));
    EXPECT_TRUE(store.writeBool("y", true));
    EXPECT_TRUE(store.writeBool("f", false));
    EXPECT_TRUE(store.writeDateTime("d", {2024, 5, 1, 8, 30, 0}));
    EXPECT_EQ(env.disk(path), IniLines({"[基本配置]", "d=2024年5月1日8时30分", "f=假", "y=真",
                                        "h=0.5", "n=3", "t=line1┊*┊line2"}));
    EXPECT_EQ(store.readText("t"), "line1\r\nline2");
    EXPECT_EQ(store.readNumber("h"), 0.5);
    EXPECT_TRUE(store.readBool("y"));
    EXPECT_FALSE(store.readBoolNotFalse("f", true));

    const DateTime dates[] = {{2024, 1, 2, 0, 0, 0},
                              {2024, 1, 2, 7, 0, 0},
                              {2024, 1, 2, 0, 5, 0},
                              {1999, 12, 31, 23, 59, 58}};
    for (const auto& d : dates) {
        EXPECT_TRUE(store.writeDateTime("d", d));
        EXPECT_EQ(store.readDateTime("d"), d) << store.readText("d");
    }
    EXPECT_EQ(store.readText("d"), G("1999年12月31日23时59分58秒"));
    EXPECT_EQ(ParseDateTimeValue(G("2024年5月")), DateTime{});
    EXPECT_EQ(ParseDateTimeValue(G("2024年5月1日8时30分7")), DateTime{});
}

TEST(SettingsValuesTest, EmptyValuesDecodeButMissingOnesGiveTheDefault) {
    StoreEnv env;
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.openPath("", true));
    store.appendText(IniLines({"[S]", "e=", "w=yes", "n=abc"}));
    store.selectSection("S");
    EXPECT_EQ(store.readText("e", "def"), "");
    EXPECT_EQ(store.readNumber("e", 7), 0);
    EXPECT_EQ(store.readNumber("n", 7), 0);
    EXPECT_FALSE(store.readBool("e", true));
    EXPECT_FALSE(store.readBool("w", true));
    EXPECT_TRUE(store.readBoolNotFalse("e", false));
    EXPECT_TRUE(store.readBoolNotFalse("w", false));
    EXPECT_EQ(store.readDateTime("e", {1, 2, 3, 4, 5, 6}), DateTime{});
    // Defaults come back untouched, not through the stored form.
    EXPECT_EQ(store.readNumber("missing", 0.1 + 0.2), 0.1 + 0.2);
    EXPECT_EQ(store.readText("missing", "a┊*┊b"), "a┊*┊b");
    EXPECT_TRUE(store.readBool("missing", true));
    EXPECT_FALSE(store.readBoolNotFalse("missing", false));
    store.selectSection("Nope");
    EXPECT_EQ(store.readText("e", "def"), "def");
    EXPECT_TRUE(store.readBool("e", true));
}

TEST(SettingsValuesTest, NumbersWrittenTogetherLandAsWrittenOneByOneInOneEdit) {
    const Text before = IniLines({"[T]", "x=1", "[S]", "b=7", "c=3"});
    const std::vector<std::pair<Text, double>> values = {{"a", 1}, {"b", 2}, {"c", 3}, {"a", 4}};
    StoreEnv single;
    StoreEnv together;
    ASSERT_TRUE(WriteFileBytes(single.ini(), before));
    ASSERT_TRUE(WriteFileBytes(together.ini(), before));
    SettingsStore one(single.pump, single.dialogs);
    SettingsStore all(together.pump, together.dialogs);
    ASSERT_TRUE(one.open(single.ini()));
    ASSERT_TRUE(all.open(together.ini()));
    one.selectSection("S");
    all.selectSection("S");
    for (const auto& [key, value] : values) ASSERT_TRUE(one.writeNumber(key, value));
    ASSERT_TRUE(all.writeNumbers(values));
    EXPECT_EQ(all.getText(), one.getText());
    EXPECT_EQ(all.getText(), IniLines({"[T]", "x=1", "[S]", "a=4", "b=2", "c=3"}));
    EXPECT_DISK_MATCHES(together, together.ini(), all);
    // One pass of events for the whole edit; only an inserted key (here "a")
    // searches again, as a single write does.
    EXPECT_EQ(together.pump.pumps, 2);
    EXPECT_EQ(single.pump.pumps, 5);

    // The same values again: nothing changes, on disk either.
    ASSERT_TRUE(all.writeNumbers(values));
    EXPECT_EQ(together.pump.pumps, 3);
    EXPECT_DISK_MATCHES(together, together.ini(), all);

    // Another program rewrote the file in place meanwhile: the edit lands on
    // its text.
    {
        const Text outside = IniLines({"[S]", "c=9"});
        std::FILE* f = std::fopen(FsPath(together.ini()).c_str(), "r+b");
        ASSERT_TRUE(f);
        ASSERT_EQ(std::fwrite(outside.data(), 1, outside.size(), f), outside.size());
        std::fclose(f);
        std::filesystem::resize_file(FsPath(together.ini()), outside.size());
    }
    ASSERT_TRUE(all.writeNumbers({{"c", 3}}));
    EXPECT_EQ(all.getText(), IniLines({"[S]", "c=3"}));
    EXPECT_DISK_MATCHES(together, together.ini(), all);
}

TEST(SettingsValuesTest, NumbersWrittenTogetherFromAHandlerWaitForTheRunningEdit) {
    StoreEnv env;
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(env.ini()));
    store.selectSection("S");
    bool fired = false;
    bool nested = true;
    env.pump.onEveryPump = [&] {
        if (fired) return;
        fired = true;
        nested = store.writeNumbers({{"b", 2}, {"c", 3}});
    };
    EXPECT_TRUE(store.writeNumber("a", 1));
    EXPECT_FALSE(nested);  // queued
    EXPECT_EQ(store.getText(), IniLines({"[S]", "c=3", "b=2", "a=1"}));
    EXPECT_DISK_MATCHES(env, env.ini(), store);
}

TEST(SettingsValuesTest, NumbersReadTogetherAnswerAsReadOneByOne) {
    StoreEnv env;
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.openPath("", true));
    // A key of another section is not S's.
    store.appendText(IniLines({"[T]", "a=5", "[S]", "a=1", "b=2.5", "c=", "[U]", "d=4"}));
    const std::vector<Text> keys = {"a", "b", "c", "d", "missing", "a"};
    store.selectSection("S");
    std::vector<double> single;
    for (const Text& key : keys) single.push_back(store.readNumber(key, -1));
    EXPECT_EQ(single, (std::vector<double>{1, 2.5, 0, -1, -1, 1}));
    const int before = env.pump.pumps;
    // A handler that selects another section meanwhile does not redirect it.
    env.pump.onEveryPump = [&] { store.selectSection("T"); };
    EXPECT_EQ(store.readNumbers(keys, -1), single);
    EXPECT_EQ(env.pump.pumps - before, 1);
    store.selectSection("V");
    EXPECT_EQ(store.readNumbers({"a", "d"}, 7), (std::vector<double>{7, 7}));
}

TEST(SettingsValuesTest, RegistryModeKeepsValuesInAPerUserFile) {
    StoreEnv env;
    const std::filesystem::path registry = env.dir.path() / "cfg" / "softbox" / "registry.ini";
    SettingsStore store(env.pump, env.dialogs);
    store.setRegistryFile(registry);
    ASSERT_TRUE(store.open(G("D:\\盒子\\汀芷·软件盒子.ini"), SettingsStore::kRegistryMode));
    store.selectSection(G("基本配置"));
    EXPECT_EQ(store.registryPrefix(), G("汀芷软件\\汀芷·软件盒子\\基本配置\\"));
    EXPECT_TRUE(store.writeBool(G("非首次使用"), true));
    EXPECT_TRUE(store.writeNumber("n", 3));
    EXPECT_EQ(store.getText(), "");
    EXPECT_EQ(ReadFileBytes(FromFsPath(registry)),
              IniLines({"[汀芷软件\\汀芷·软件盒子\\基本配置]", "n=3", "非首次使用=真"}));

    SettingsStore other(env.pump, env.dialogs);
    other.setRegistryFile(registry);
    other.open(G("汀芷·软件盒子.ini"), SettingsStore::kRegistryMode);
    other.selectSection(G("基本配置"));
    EXPECT_TRUE(other.readBool(G("非首次使用")));
    EXPECT_EQ(other.readNumber("missing", 4), 4);

    // Without a registry file, registry writes fail and reads find nothing.
    SettingsStore homeless(env.pump, env.dialogs);
    homeless.open(G("汀芷·软件盒子.ini"), SettingsStore::kRegistryMode);
    homeless.selectSection(G("基本配置"));
    EXPECT_FALSE(homeless.writeNumber("n", 5));
    EXPECT_EQ(homeless.readNumber("n", 7), 7);
    EXPECT_EQ(ReadFileBytes(FromFsPath(registry)),
              IniLines({"[汀芷软件\\汀芷·软件盒子\\基本配置]", "n=3", "非首次使用=真"}));
}

// A folder named with characters that GBK lacks: the store works on the
// exact path, never on its GBK text.
TEST(SettingsValuesTest, AnExactPathReachesAFolderThatGbkCannotName) {
    StoreEnv env;
    const std::filesystem::path folder = env.dir.path() / "🎮 한";
    std::filesystem::create_directory(folder);
    const std::filesystem::path file = folder / "汀芷·软件盒子.ini";
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.openFile(file));
    EXPECT_EQ(store.writeKey("S", "a", "1"), SettingsStore::kEditDone);
    EXPECT_EQ(ReadFileBytes(file), IniLines({"[S]", "a=1"}));
    ASSERT_TRUE(WriteFileBytes(file, IniLines({"[S]", "a=2"})));
    store.reload();
    EXPECT_EQ(store.readKey("S", "a"), "2");
    store.selectSection("S");
    EXPECT_TRUE(store.writeBinary("b", {1, 2}));
    EXPECT_EQ(ReadFileBytes(folder / "inibin" / "S-b.ibn"), "\x01\x02");
    EXPECT_EQ(store.readBinary("b"), (Bytes{1, 2}));

    SettingsStore memory(env.pump, env.dialogs);
    ASSERT_TRUE(memory.openFile(file, SettingsStore::kMemoryMode));
    EXPECT_EQ(memory.readKey("S", "a"), "2");
    memory.writeKey("S", "a", "3");
    EXPECT_TRUE(store.saveAs()) << "the open file, rewritten in place";
    store.close();
    EXPECT_TRUE(memory.saveAs());
    EXPECT_EQ(ReadFileBytes(file), IniLines({"[S]", "a=3"}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(env.dir.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(SettingsValuesTest, BinaryValuesLiveInTheInibinFolder) {
    StoreEnv env;
    SettingsStore store(env.pump, env.dialogs);
    store.open(env.ini(), SettingsStore::kMemoryMode);
    store.selectSection(G("列表"));
    const Bytes bytes = {1, 0, 0xFF, '\r', '\n'};
    EXPECT_TRUE(store.writeBinary("k", bytes));
    const auto file = env.dir.path() / "inibin" / GbkToUtf8(G("列表-k.ibn"));
    EXPECT_EQ(ReadFileBytes(FromFsPath(file)), std::string("\x01\x00\xFF\r\n", 5));
    EXPECT_EQ(store.readBinary("k"), bytes);
    EXPECT_TRUE(store.writeBinary("k", {}));
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(store.readBinary("k", {7}), Bytes{7});
    EXPECT_EQ(store.readBinary("missing", {8}), Bytes{8});

    // Names that would reach outside "inibin" are refused.
    EXPECT_FALSE(store.writeBinary("..\\..\\evil", bytes));
    EXPECT_FALSE(store.writeBinary("a/b", bytes));
    store.selectSection("..\\..");
    EXPECT_FALSE(store.writeBinary("x", bytes));
    EXPECT_EQ(store.readBinary("x", {9}), Bytes{9});

    // A missing folder above "inibin" is not created.
    store.open(JoinPath(env.dir.gbk(), "missing\\a.ini"), SettingsStore::kMemoryMode);
    EXPECT_FALSE(store.writeBinary("k", bytes));
    EXPECT_FALSE(std::filesystem::exists(env.dir.path() / "missing"));

    // A path without a folder: "inibin" of the current folder.
    auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(env.dir.path());
    store.open("plain.ini", SettingsStore::kMemoryMode);
    store.selectSection("S");
    bool written = store.writeBinary("k", bytes);
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(written);
    EXPECT_TRUE(std::filesystem::exists(env.dir.path() / "inibin" / "S-k.ibn"));
}

}  // namespace
}  // namespace box::test
