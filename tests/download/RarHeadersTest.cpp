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

    const RarFacts all = RarFactsOf(bytes);
    EXPECT_TRUE(all.complete);
    const std::vector<RarEntryFacts>& facts = all.entries;

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
    const RarFacts inData = RarFactsOf(bytes.substr(0, bytes.size() - 60));
    EXPECT_EQ(inData.entries.size(), 2u);
    EXPECT_FALSE(inData.complete);
    // Cut inside the second header, and right before it.
    const std::size_t endOfFirst = first.size() - (GetParam() == RarFormat::kRar4 ? 7 : 8);
    const RarFacts inHeader = RarFactsOf(bytes.substr(0, endOfFirst + 5));
    EXPECT_EQ(inHeader.entries.size(), 1u);
    EXPECT_FALSE(inHeader.complete);
    // A cut right before a header looks like an archive with fewer entries.
    EXPECT_FALSE(RarFactsOf(bytes.substr(0, endOfFirst)).complete);
    EXPECT_TRUE(RarFactsOf(std::string_view("Rar!\x1A\x07", 6)).entries.empty());
    EXPECT_TRUE(RarFactsOf(std::string_view("PK\x03\x04")).entries.empty());
}

}  // namespace
}  // namespace box
