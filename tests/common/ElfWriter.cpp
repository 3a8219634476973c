#include "ElfWriter.h"

#include <cstdint>

#include "PeWriter.h"

namespace box::test {

namespace {

struct Out {
    bool big = false;
    std::string bytes;
    void Put(std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) {
            const int shift = big ? 8 * (n - 1 - i) : 8 * i;
            bytes.push_back(static_cast<char>((v >> shift) & 0xFF));
        }
    }
};

}  // namespace

std::string BuildElf(const ElfLayout& layout) {
    const bool is64 = layout.is64;
    const int word = is64 ? 8 : 4;
    const std::size_t headerSize = is64 ? 64 : 52;
    const std::size_t entrySize = is64 ? 64 : 40;

    std::string names(1, '\0');
    std::vector<std::uint32_t> nameAt;
    for (const auto& [name, data] : layout.sections) {
        nameAt.push_back(static_cast<std::uint32_t>(names.size()));
        names += name;
        names.push_back('\0');
    }
    const auto namesNameAt = static_cast<std::uint32_t>(names.size());
    names += ".shstrtab";
    names.push_back('\0');

    std::vector<std::uint64_t> dataAt;
    std::string body;
    for (const auto& section : layout.sections) {
        dataAt.push_back(headerSize + body.size());
        body += section.second;
    }
    const std::uint64_t namesAt = headerSize + body.size();
    body += names;
    while (body.size() % 8 != 0) body.push_back('\0');
    const std::uint64_t tableAt = headerSize + body.size();
    const std::size_t count = layout.sections.size() + 2;

    Out out{layout.bigEndian, {}};
    out.bytes = std::string(
        "\x7F"
        "ELF",
        4);
    out.bytes.push_back(is64 ? 2 : 1);
    out.bytes.push_back(layout.bigEndian ? 2 : 1);
    out.bytes.push_back(1);
    out.bytes.resize(16, '\0');
    out.Put(2, 2);              // executable
    out.Put(is64 ? 62 : 3, 2);  // x86-64 / i386
    out.Put(1, 4);
    out.Put(0, word);  // entry
    out.Put(0, word);  // no program headers
    out.Put(tableAt, word);
    out.Put(0, 4);
    out.Put(headerSize, 2);
    out.Put(0, 2);
    out.Put(0, 2);
    out.Put(entrySize, 2);
    out.Put(count, 2);
    out.Put(count - 1, 2);  // the name table is last
    out.bytes += body;

    auto section = [&](std::uint32_t name, std::uint32_t type, std::uint64_t at,
                       std::uint64_t size) {
        out.Put(name, 4);
        out.Put(type, 4);
        out.Put(0, word);  // flags
        out.Put(0, word);  // address
        out.Put(at, word);
        out.Put(size, word);
        out.Put(0, 4);  // link
        out.Put(0, 4);  // info
        out.Put(1, word);
        out.Put(0, word);
    };
    section(0, 0, 0, 0);
    for (std::size_t i = 0; i < layout.sections.size(); ++i)
        section(nameAt[i], 1, dataAt[i], layout.sections[i].second.size());
    section(namesNameAt, 3, namesAt, names.size());
    return out.bytes;
}

std::string BoxVersionBlock(const std::string& fileVersion) {
    return BuildVersionBlock(ProgramLayout(fileVersion).version.value());
}

}  // namespace box::test
