#include <gtest/gtest.h>

#include <random>

#include "TestDoubles.h"
#include "catalog/CatalogIndex.h"
#include "settings/SettingsStore.h"

namespace box {
namespace {

using test::IniLines;

// What the settings store answers for every section and key asked here, and
// what the index answers; "-" stands for a missing key.
class Answers {
public:
    explicit Answers(const Text& text) : index_(text) {
        store_.openPath({}, true);
        store_.appendText(text);
    }
    std::string store(const Text& section, const Text& key) {
        static const Text kMissing = "\x01missing";
        const Text value = store_.readKey(section, key, kMissing);
        return value == kMissing ? "-" : value;
    }
    std::string index(const Text& section, const Text& key) {
        const auto value = index_.find(section, key);
        return value ? std::string(*value) : "-";
    }

private:
    NullEventPump pump_;
    test::ScriptedDialogs dialogs_;
    SettingsStore store_{pump_, dialogs_};
    CatalogIndex index_;
};

TEST(CatalogIndex, FollowsTheStoresRulesForHeadersAndKeys) {
    Answers a(IniLines({
        "k=on the first line, never found",
        "[S]",
        "k=1",
        "v=[T]",  // a header inside a value is none
        "[T]tail",
        "k=2",
        "[U]",
        "[",
        "k=3",
        "[V]",
        "[W]x",  // opens like a header but does not end like one
        "k=4",
        "[X]",
        "[Y]",
        "k=5",
        "[Z]",
    }));
    const std::vector<std::tuple<const char*, const char*, const char*>> cases = {
        {"S", "k", "1"}, {"S", "v", "[T]"}, {"T", "k", "2"},    {"U", "k", "3"},
        {"V", "k", "4"}, {"W", "k", "4"},   {"X", "k", "-"},    {"Y", "k", "5"},
        {"Z", "k", "-"}, {"S", "x", "-"},   {"none", "k", "-"}, {"", "k", "-"},
    };
    for (const auto& [section, key, expected] : cases) {
        EXPECT_EQ(a.store(section, key), expected) << section << " " << key;
        EXPECT_EQ(a.index(section, key), expected) << section << " " << key;
    }
}

// Random texts from the pieces that the store's searches look at: both give
// the same answer for every section and key, odd names included.
TEST(CatalogIndex, AnswersAsTheStoreOnRandomTexts) {
    const std::vector<std::string> pieces = {
        "[",  "]",  "\r\n",        "\n",     "\r",    "a",     "b",  "=",     "[a]", "[b]",
        "a=", "b=", "\r\n[a]\r\n", "\r\na=", "]\r\n", "[a]b]", "[]", "\r\n=", "x",
    };
    const std::vector<std::string> sections = {"a", "b", "", "a]b", "a\nb", "a\r\nb", "]"};
    const std::vector<std::string> keys = {"a", "b", "", "]", "[a]", "a\r\nb"};
    std::mt19937 random(8);
    for (int round = 0; round < 3000; ++round) {
        Text text;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i) text += pieces[random() % pieces.size()];
        Answers a(text);
        for (const auto& section : sections) {
            for (const auto& key : keys) {
                ASSERT_EQ(a.index(section, key), a.store(section, key))
                    << "text \"" << text << "\" section \"" << section << "\" key \"" << key
                    << "\"";
            }
        }
    }
}

}  // namespace
}  // namespace box
