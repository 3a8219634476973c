// The INI file on disk: in-place edits, the write lock, hostile contents and
// failing writes.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "SettingsTestSupport.h"

namespace box::test {
namespace {

// Runs body in a forked child; true when it returned true there.
template <typename F>
bool InChild(F body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body() ? 0 : 1);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SettingsFileTest, RandomEditsOfALargeFileKeepDiskEqualToMemory) {
    StoreEnv env;
    const Text path = env.ini();
    Text start;
    for (int i = 0; i < 300; ++i)
        start += (i % 60 == 0 ? "\r\n[S" + ToText(i / 60) + "]" : "") + "\r\nkey" + ToText(i) +
                 "=" + Text(i % 7 * 10, 'v');
    start.erase(0, 2);
    ASSERT_GT(start.size(), 8192u);
    ASSERT_TRUE(WriteFileBytes(path, start));
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path));

    // Value sizes around the 4096-byte block that the file moves in.
    const std::size_t sizes[] = {0, 1, 7, 4095, 4096, 4097, 9000};
    std::mt19937 rng(20240501);
    auto pick = [&](int n) { return static_cast<int>(rng() % n); };
    for (int step = 0; step < 300; ++step) {
        Text section = "S" + ToText(pick(7));
        Text key = "key" + ToText(pick(300));
        switch (pick(10)) {
            case 0:
                store.deleteEntry(section);
                break;
            case 1:
            case 2:
                store.deleteEntry(section, key);
                break;
            case 3:
                store.renameKey(section, key, key + "r");
                break;
            case 4:
                store.renameSection(section, "S" + ToText(pick(7)) + Text(pick(3), 'x'));
                break;
            default:
                store.writeKey(section, key,
                               Text(sizes[pick(7)], static_cast<char>('a' + pick(26))));
        }
        ASSERT_EQ(env.disk(path), store.getText()) << "after step " << step;
    }
}

TEST(SettingsFileTest, OpeningCreatesAMissingFileAndLocksIt) {
    StoreEnv env;
    const Text path = env.ini();
    SettingsStore first(env.pump, env.dialogs);
    ASSERT_TRUE(first.open(path));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(env.disk(path), "");
    first.writeKey("S", "a", "1");

    // Another store of this process: reads the text, writes go to memory only.
    SettingsStore second(env.pump, env.dialogs);
    EXPECT_FALSE(second.open(path));
    EXPECT_EQ(second.readKey("S", "a"), "1");
    EXPECT_EQ(second.writeKey("S", "a", "2"), 0);
    EXPECT_EQ(second.readKey("S", "a"), "2");
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "a=1"}));
    EXPECT_FALSE(second.saveAs(path));
    EXPECT_TRUE(env.dialogs.shown.empty());

    // Another process: the same.
    EXPECT_TRUE(InChild([&] {
        NullEventPump pump;
        SettingsStore other(pump, env.dialogs);
        bool refused = !other.open(path);
        bool reads = other.readKey("S", "a") == "1";
        other.writeKey("S", "b", "child");
        return refused && reads && other.readKey("S", "b") == "child";
    }));
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "a=1"}));

    // Closing releases the lock.
    first.close();
    EXPECT_TRUE(second.open(path));
}

TEST(SettingsFileTest, ReadOnlyFileOrFolderIsReadButNotWritten) {
    StoreEnv env;
    const Text path = env.ini();
    ASSERT_TRUE(WriteFileBytes(path, IniLines({"[S]", "a=1"})));
    namespace fs = std::filesystem;
    fs::permissions(FsPath(path),
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(env.dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    // Root writes anything: the child drops to an unprivileged user first.
    EXPECT_TRUE(InChild([&] {
        if (geteuid() == 0 && setuid(65534) != 0) return false;
        NullEventPump pump;
        SettingsStore store(pump, env.dialogs);
        bool refused = !store.open(path);
        bool reads = store.readKey("S", "a") == "1";
        store.writeKey("S", "a", "2");
        bool memoryOnly = store.readKey("S", "a") == "2";
        bool folderRefused = !store.open(JoinPath(env.dir.gbk(), "new.ini"));
        return refused && reads && memoryOnly && folderRefused;
    }));
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "a=1"}));
    EXPECT_FALSE(FileExists(JoinPath(env.dir.gbk(), "new.ini")));
}

TEST(SettingsFileTest, HostileContentsStayByteExact) {
    StoreEnv env;
    std::string big(10 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < big.size(); i += 100) big[i] = '\n';
    const std::string contents[] = {
        "[S]\na=1\nb=2",                               // LF only
        "\xEF\xBB\xBF[S]\r\na=1\r\n",                  // BOM, final line end
        std::string("[S]\r\na=\0\x01\xFF\r\n[T", 14),  // NUL and binary bytes, cut header
        "[S]\r\na=1\r",                                // lone CR at the end
        "[S]\r\n" + big,
    };
    for (const auto& content : contents) {
        const Text path = env.ini();
        ASSERT_TRUE(WriteFileBytes(path, content));
        SettingsStore store(env.pump, env.dialogs);
        ASSERT_TRUE(store.open(path));
        EXPECT_EQ(store.getText(), content);
        store.writeKey("S", "a", "new");
        store.writeKey("S", "c", "3");
        store.writeKey("U", "u", "4");
        store.deleteEntry("S", "c");
        std::vector<Text> names;
        store.listSections(names);
        EXPECT_EQ(env.disk(path), store.getText());
    }
}

TEST(SettingsFileTest, AFailingWriteNeverLeavesAHalfMovedFile) {
    StoreEnv env;
    const Text path = env.ini();
    const Text start = "[S]\r\na=1\r\n[T]\r\nb=" + Text(9000, 'v');
    ASSERT_TRUE(WriteFileBytes(path, start));
    // The child may not grow files beyond 10000 bytes: the edit fails on
    // disk, then succeeds once the limit is lifted.
    EXPECT_TRUE(InChild([&] {
        NullEventPump pump;
        SettingsStore store(pump, env.dialogs);
        if (!store.open(path)) return false;
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        rlimit tight = limit;
        tight.rlim_cur = 10000;
        setrlimit(RLIMIT_FSIZE, &tight);
        store.writeKey("S", "a", Text(2000, 'w'));
        bool untouched = ReadFileBytes(path) == start;
        setrlimit(RLIMIT_FSIZE, &limit);
        store.writeKey("T", "b", "2");
        store.writeKey("T", "c", "3");
        return untouched && ReadFileBytes(path) == store.getText() &&
               store.readKey("S", "a") == Text(2000, 'w');
    }));
}

TEST(SettingsFileTest, SaveAsReloadAndCopy) {
    StoreEnv env;
    const Text path = env.ini();
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path));
    store.writeKey("S", "a", "1");

    const Text other = env.ini("other.ini");
    EXPECT_TRUE(store.saveAs(other));
    EXPECT_EQ(env.disk(other), store.getText());
    // Saving onto its own open file keeps the lock and the in-place edits.
    EXPECT_TRUE(store.saveAs());
    store.writeKey("S", "b", "2");
    EXPECT_DISK_MATCHES(env, path, store);
    SettingsStore intruder(env.pump, env.dialogs);
    EXPECT_FALSE(intruder.open(path));

    // A copy keeps its own changes in memory.
    store.selectSection("S");
    auto twin = store.copy();
    EXPECT_EQ(twin->getText(), store.getText());
    EXPECT_EQ(twin->section(), "S");
    EXPECT_TRUE(twin->writeNumber("c", 3));
    EXPECT_EQ(twin->readNumber("c"), 3);
    EXPECT_EQ(store.readNumber("c", -1), -1);
    EXPECT_DISK_MATCHES(env, path, store);

    // Memory mode: reload picks up what reached the disk meanwhile.
    SettingsStore reader(env.pump, env.dialogs);
    ASSERT_TRUE(reader.open(other, SettingsStore::kMemoryMode));
    reader.writeKey("S", "a", "memory only");
    EXPECT_EQ(env.disk(other), IniLines({"[S]", "a=1"}));
    ASSERT_TRUE(WriteFileBytes(other, "[S]\r\na=disk"));
    reader.reload();
    EXPECT_EQ(reader.readKey("S", "a"), "disk");
}

// Another program changes the settings file while the store holds it: an
// editor that saves by renaming a new file over it, one that deletes it, one
// that ignores the lock and rewrites it in place. The next edit starts from
// what is on disk, and no write goes to a deleted file.
TEST(SettingsFileTest, EditsFollowAFileChangedByAnotherProgram) {
    StoreEnv env;
    const Text path = env.ini();
    const Text saved = env.ini("saved.tmp");
    ASSERT_TRUE(WriteFileBytes(path, IniLines({"[S]", "a=1"})));
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path));
    store.selectSection("S");

    // Saved by rename.
    ASSERT_TRUE(WriteFileBytes(saved, IniLines({"[S]", "a=edited", "[N]", "n=5"})));
    std::filesystem::rename(FsPath(saved), FsPath(path));
    EXPECT_TRUE(store.writeNumber("b", 2));
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "b=2", "a=edited", "[N]", "n=5"}));
    EXPECT_DISK_MATCHES(env, path, store);
    // The new file carries the lock.
    SettingsStore intruder(env.pump, env.dialogs);
    EXPECT_FALSE(intruder.open(path));
    intruder.close();

    // Replaced while an edit waits for events.
    env.pump.pending.push_back([&] {
        ASSERT_TRUE(WriteFileBytes(saved, IniLines({"[S]", "a=again"})));
        std::filesystem::rename(FsPath(saved), FsPath(path));
    });
    EXPECT_TRUE(store.writeNumber("c", 3));
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "c=3", "a=again"}));
    EXPECT_DISK_MATCHES(env, path, store);

    // Deleted: created again, starting empty like a missing file at start-up.
    ASSERT_TRUE(DeleteFile(path));
    EXPECT_TRUE(store.writeNumber("d", 4));
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "d=4"}));
    EXPECT_DISK_MATCHES(env, path, store);

    // Rewritten in place, same file, by a program that ignores the lock.
    {
        std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
        out << IniLines({"[S]", "d=in place", "[M]", "m=1"});
    }
    EXPECT_EQ(store.deleteEntry("M", "m"), 0);
    EXPECT_EQ(store.renameKey("S", "d", "e"), 0);
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "e=in place", "[M]"}));
    EXPECT_DISK_MATCHES(env, path, store);

    // A replacement that another store holds is read, not written.
    ASSERT_TRUE(WriteFileBytes(saved, IniLines({"[S]", "a=theirs"})));
    std::filesystem::rename(FsPath(saved), FsPath(path));
    ASSERT_TRUE(intruder.open(path));
    EXPECT_TRUE(store.writeNumber("f", 6));
    EXPECT_FALSE(store.hasFile());
    EXPECT_EQ(store.getText(), IniLines({"[S]", "f=6", "a=theirs"}));
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "a=theirs"}));
}

// Memory mode never writes the disk, so a change there is none of its
// business until reload.
TEST(SettingsFileTest, MemoryModeIgnoresAFileChangedOnDisk) {
    StoreEnv env;
    const Text path = env.ini();
    ASSERT_TRUE(WriteFileBytes(path, IniLines({"[S]", "a=1"})));
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path, SettingsStore::kMemoryMode));
    ASSERT_TRUE(WriteFileBytes(path, IniLines({"[S]", "a=disk"})));
    EXPECT_EQ(store.writeKey("S", "b", "2"), 0);
    EXPECT_EQ(store.getText(), IniLines({"[S]", "b=2", "a=1"}));
    EXPECT_EQ(env.disk(path), IniLines({"[S]", "a=disk"}));
}

}  // namespace
}  // namespace box::test
