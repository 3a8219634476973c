#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace box::fuzz {

namespace {

constexpr std::string_view kWriteSeeds = "--write-seeds=";
// libFuzzer cuts longer inputs of a corpus to its -max_len (8192 in
// tools/fuzz.sh): a longer seed would only be a damaged one.
constexpr std::size_t kMaxSeedBytes = 8192;

// Writes every seed as seed-NNN into folder; false on any failure.
bool WriteSeeds(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return false;
    const std::vector<std::string> seeds = Seeds();
    for (std::size_t i = 0; i < seeds.size(); ++i) {
        if (seeds[i].size() > kMaxSeedBytes) {
            std::fprintf(stderr, "seed %zu has %zu bytes, more than %zu\n", i, seeds[i].size(),
                         kMaxSeedBytes);
            return false;
        }
        char name[32];
        std::snprintf(name, sizeof name, "seed-%03zu", i);
        std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
        out.write(seeds[i].data(), static_cast<std::streamsize>(seeds[i].size()));
        if (!out.flush()) return false;
    }
    std::printf("%zu seeds in %s\n", seeds.size(), folder.c_str());
    return !seeds.empty();
}

}  // namespace

void Check(bool ok, const char* promise) {
    if (ok) return;
    std::fprintf(stderr, "broken promise: %s\n", promise);
    std::abort();
}

std::string ProviderInput(std::initializer_list<std::string_view> strings, std::string_view rest) {
    std::string out;
    for (std::string_view s : strings) {
        for (char c : s) {
            out += c;
            if (c == '\\') out += c;
        }
        out += "\\\n";
    }
    out += rest;
    return out;
}

}  // namespace box::fuzz

// libFuzzer calls this before it reads its own flags.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        const std::string_view arg = (*argv)[i];
        if (arg.substr(0, box::fuzz::kWriteSeeds.size()) == box::fuzz::kWriteSeeds) {
            std::exit(box::fuzz::WriteSeeds(std::string(arg.substr(box::fuzz::kWriteSeeds.size())))
                          ? 0
                          : 1);
        }
    }
    return 0;
}
