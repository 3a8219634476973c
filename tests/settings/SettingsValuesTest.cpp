// Typed values: their stored form, defaults, the registry mode and binary
// values in files of their own.

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <limits>

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
