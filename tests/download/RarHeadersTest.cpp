#include "download/RarHeaders.h"

#include <gtest/gtest.h>

#include "RarWriter.h"

namespace box {
namespace {

using test::RarEntry;
using test::RarFormat;

class RarHeadersTest : public ::testing::TestWithParam<RarFormat> {};

INSTANTIATE_TEST_SUITE_P(Rar, RarHeadersTest, ::testing::Values(RarFormat::kRar4, RarFormat::kRar5),
                         [](const auto& info) {
                             return info.param == RarFormat::kRar4 ? "Rar4" : "Rar5";
                         });

TEST_P(RarHeadersTest, FactsOfEveryEntryInOrder) {
    RarEntry secret = test::RarFile("secret", "ciphertext");
    secret.encrypted = true;
    RarEntry damaged = test::RarFile("damaged", "data");
    damaged.wrongCrc = true;
    const std::string bytes =
        test::BuildRar(GetParam(), {test::RarDirectory("软件"), test::RarFile("软件\\a.exe", "MZ!"),
                                    secret, damaged, test::RarFile("empty", "")});

    const std::vector<RarEntryFacts> facts = RarEntryFactsOf(bytes);

    ASSERT_EQ(facts.size(), 5u);
    EXPECT_TRUE(facts[0].directory);
    EXPECT_FALSE(facts[1].directory);
    EXPECT_EQ(facts[1].unpackedSize, 3u);
    EXPECT_TRUE(facts[1].hasCrc);
    EXPECT_EQ(facts[1].crc, test::Crc32("MZ!"));
    EXPECT_FALSE(facts[1].encrypted);
    EXPECT_TRUE(facts[2].encrypted);
    EXPECT_NE(facts[3].crc, test::Crc32("data"));
    EXPECT_EQ(facts[4].unpackedSize, 0u);
}

TEST_P(RarHeadersTest, CutArchiveGivesTheEntriesBeforeTheCut) {
    const std::string first = test::BuildRar(GetParam(), {test::RarFile("a", "aaaa")});
    const std::string bytes = test::BuildRar(
        GetParam(), {test::RarFile("a", "aaaa"), test::RarFile("b", std::string(100, 'b'))});
    // Cut in the middle of the second entry's data: its header is whole.
    EXPECT_EQ(RarEntryFactsOf(bytes.substr(0, bytes.size() - 60)).size(), 2u);
    // Cut inside the second header.
    const std::size_t endOfFirst = first.size() - (GetParam() == RarFormat::kRar4 ? 7 : 8);
    EXPECT_EQ(RarEntryFactsOf(bytes.substr(0, endOfFirst + 5)).size(), 1u);
    EXPECT_TRUE(RarEntryFactsOf(std::string_view("Rar!\x1A\x07", 6)).empty());
    EXPECT_TRUE(RarEntryFactsOf(std::string_view("PK\x03\x04")).empty());
}

}  // namespace
}  // namespace box
