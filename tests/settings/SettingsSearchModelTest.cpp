// Random edits, reads and outside changes of the file, checked against a
// plain search of the text from its start for every operation: any shortcut
// the store takes in finding sections and keys shows up here as a different
// answer or different bytes.

#include <fstream>
#include <optional>
#include <random>

#include "SettingsTestSupport.h"

namespace box::test {
namespace {

constexpr std::size_t npos = Text::npos;

// The store's text rules, searched afresh every time.
struct PlainStore {
    Text t;

    struct Key {
        std::size_t keyStart, valueStart, valueEnd;
    };

    std::optional<std::size_t> section(const Text& name) const {
        const Text header = "[" + name + "]";
        for (std::size_t from = 0;;) {
            std::size_t p = t.find(header, from);
            if (p == npos) return std::nullopt;
            if (p == 0 || (p >= 2 && t[p - 2] == '\r' && t[p - 1] == '\n')) return p;
            from = p + 1;
        }
    }
    std::size_t wholeHeader(std::size_t from, std::size_t to) const {
        for (;;) {
            std::size_t lineEnd = t.find("\r\n[", from);
            if (lineEnd == npos || lineEnd >= to) return npos;
            std::size_t open = lineEnd + 2;
            std::size_t close = t.find("]\r\n", open);
            if (close == npos && t.back() == ']' && t.size() - 1 > open) close = t.size() - 1;
            if (close != npos && close > to) return npos;
            if (close != npos && t.find("\r\n", open) > close) return open;
            from = open;
        }
    }
    std::optional<Key> key(std::size_t headerEnd, const Text& key) const {
        std::size_t line = t.find("\r\n" + key + "=", headerEnd);
        if (line == npos) return std::nullopt;
        if (wholeHeader(headerEnd + 1, line + 1) != npos) return std::nullopt;
        Key k{line + 2, line + 3 + key.size(), 0};
        std::size_t end = t.find("\r\n", k.valueStart);
        k.valueEnd = end == npos ? t.size() : end;
        return k;
    }
    std::optional<Text> read(const Text& s, const Text& k) const {
        auto p = section(s);
        if (!p) return std::nullopt;
        auto f = key(*p + s.size() + 1, k);
        if (!f) return std::nullopt;
        return t.substr(f->valueStart, f->valueEnd - f->valueStart);
    }
    void write(const Text& s, const Text& k, const Text& v) {
        for (int pass = 0; pass < 30; ++pass) {
            auto p = section(s);
            if (!p) {
                t += (t.empty() ? "[" : "\r\n[") + s + "]";
                continue;
            }
            auto f = key(*p + s.size() + 1, k);
            if (!f) {
                t.insert(*p + s.size() + 2, "\r\n" + k + "=");
                continue;
            }
            t.replace(f->valueStart, f->valueEnd - f->valueStart, v);
            return;
        }
        ADD_FAILURE() << "no place for " << k << " in " << s;
    }
    int erase(const Text& s, const Text& k) {
        auto p = section(s);
        if (!p) return 1;
        std::size_t end = t.empty() ? 0 : wholeHeader(*p, t.size() - 1);
        if (end == npos) end = t.size();
        if (k.empty()) {
            t.erase(*p, end - *p);
            return 0;
        }
        std::size_t line = t.find("\r\n" + k + "=", *p);
        if (line == npos || line + 2 >= end) return 2;
        std::size_t next = t.find("\r\n", line + 2);
        t.erase(line, (next == npos ? t.size() : next) - line);
        return 0;
    }
    int renameSection(const Text& from, const Text& to) {
        auto p = section(from);
        if (!p) return 1;
        t.replace(*p + 1, from.size(), to);
        return 0;
    }
    int renameKey(const Text& s, const Text& from, const Text& to) {
        auto p = section(s);
        if (!p) return 1;
        auto f = key(*p + s.size() + 1, from);
        if (!f) return 2;
        t.replace(f->keyStart, from.size(), to);
        return 0;
    }
};

class SettingsSearchModel : public ::testing::TestWithParam<int> {};

TEST_P(SettingsSearchModel, RandomOperationsAnswerAsAPlainSearch) {
    const bool fileMode = GetParam() == SettingsStore::kFileMode;
    // Plain names, and names, keys and values that are hard
    // to find in the text: line breaks, "]" in a name, "=" in a key, a key
    // or value that looks like a header.
    const std::vector<Text> sections = {"S", "T", "U", "V", "", "S]x", "T\r\n[U"};
    const std::vector<Text> keys = {"a", "b", "c", "d", "ab", "", "[a", "a=b", "x\r\ny", "S"};
    const std::vector<Text> values = {"1",  "22",       "333", "",  "[S]",
                                      "x]", "v\r\n[T]", "\r",  "=", "y\r\nb=4"};
    const std::vector<Text> starts = {
        "",
        IniLines({"[S]", "a=1", "b=2", "[T]", "a=3", "x=[U]", "[U]junk", "c=5"}),
        IniLines({"x=[S]", "[S]", "[a=b]", "b=1", "[V]", "[T]"}),
        IniLines({"[T]", "a=1", "[S]", "[S]", "a=2", "[U", "b=3]", "d=4"}),
    };

    for (unsigned seed = 1; seed <= 12; ++seed) {
        StoreEnv env;
        const Text path = env.ini();
        std::mt19937 rng(seed);
        auto pick = [&](const auto& v) -> const auto& {
            return v[rng() % v.size()];
        };
        // Mostly plain names, so that sections and keys repeat.
        auto sectionName = [&] { return rng() % 4 ? sections[rng() % 4] : pick(sections); };
        auto keyName = [&] { return rng() % 4 ? keys[rng() % 5] : pick(keys); };

        PlainStore plain{starts[seed % starts.size()]};
        ASSERT_TRUE(WriteFileBytes(path, plain.t));
        SettingsStore store(env.pump, env.dialogs);
        ASSERT_TRUE(store.open(path, GetParam()));

        for (int step = 0; step < 600; ++step) {
            const Text s = sectionName();
            const Text k = keyName();
            const unsigned op = rng() % 20;
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step << " op " << op);
            if (op < 8) {
                const Text v = rng() % 3 ? pick(values) : ToText(static_cast<int>(rng() % 2000));
                plain.write(s, k, v);
                ASSERT_EQ(store.writeKey(s, k, v), 0);
            } else if (op < 13) {
                auto expected = plain.read(s, k);
                ASSERT_EQ(store.readKey(s, k, "<none>"), expected.value_or("<none>"));
            } else if (op == 13) {
                ASSERT_EQ(store.deleteEntry(s, k, true), plain.erase(s, k));
            } else if (op == 14) {
                ASSERT_EQ(store.deleteEntry(s, {}, true), plain.erase(s, {}));
            } else if (op == 15) {
                const Text to = sectionName();
                ASSERT_EQ(store.renameSection(s, to, true), plain.renameSection(s, to));
            } else if (op == 16) {
                const Text to = keyName();
                ASSERT_EQ(store.renameKey(s, k, to, true), plain.renameKey(s, k, to));
            } else if (op == 17 && fileMode && !plain.t.empty()) {
                // A program that ignores the lock changes one byte in place;
                // the next edit starts from the file.
                Text changed = plain.t;
                changed[rng() % changed.size()] = pick(Text("[]=\r\nSTab1"));
                {
                    std::fstream out(FsPath(path), std::ios::in | std::ios::out | std::ios::binary);
                    out.write(changed.data(), static_cast<std::streamsize>(changed.size()));
                }
                plain.t = changed;
                plain.write(s, k, "after");
                ASSERT_EQ(store.writeKey(s, k, "after"), 0);
            } else if (op == 18 && rng() % 4 == 0) {
                const Text more = "\r\n[" + s + "]\r\n" + k + "=m";
                plain.t += more;
                store.appendText(more, true);
            } else {
                // Both sort sections in turn, as the list sort reads them.
                for (const Text& name : {Text("S"), Text("T")}) {
                    auto expected = plain.read(name, k);
                    ASSERT_EQ(store.readKey(name, k, "<none>"), expected.value_or("<none>"));
                }
            }
            ASSERT_EQ(store.getText(), plain.t);
            if (fileMode) {
                ASSERT_EQ(env.disk(path), plain.t);
            }
        }
    }
}

// The catalog load: one new key per program at the first start, the same
// keys rewritten (some values one digit longer) at the next, then read back.
TEST_P(SettingsSearchModel, ManyKeysWrittenAndReadBack) {
    StoreEnv env;
    const Text path = env.ini();
    ASSERT_TRUE(WriteFileBytes(path, IniLines({"[Basic]", "first=1", "[Counts]", "p7=3"})));
    SettingsStore store(env.pump, env.dialogs);
    ASSERT_TRUE(store.open(path, GetParam()));
    PlainStore plain{store.getText()};
    constexpr int kKeys = 300;
    for (int round = 0; round < 3; ++round) {
        for (int i = 1; i <= kKeys; ++i) {
            const Text key = "p" + ToText(i);
            const Text value = ToText(round == 1 ? kKeys + 1 - i : i * (round + 1));
            store.selectSection("Order");
            ASSERT_TRUE(store.writeNumber(key, std::stod(value)));
            plain.write("Order", key, value);
        }
        ASSERT_EQ(store.getText(), plain.t);
        for (int i = 1; i <= kKeys; ++i) {
            const Text key = "p" + ToText(i);
            store.selectSection("Counts");
            EXPECT_EQ(store.readNumber(key, -1), plain.read("Counts", key) ? 3 : -1) << key;
            store.selectSection("Order");
            EXPECT_EQ(store.readText(key), plain.read("Order", key).value_or("?")) << key;
        }
    }
    if (GetParam() == SettingsStore::kFileMode) {
        EXPECT_DISK_MATCHES(env, path, store);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, SettingsSearchModel,
                         ::testing::Values(SettingsStore::kFileMode, SettingsStore::kMemoryMode));

}  // namespace
}  // namespace box::test
