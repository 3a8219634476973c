#pragma once
// The resume state of a transfer task, as the engine hands it out (stop,
// snapshot) and takes it back (a start that continues a file).
//
// Layout, all numbers little-endian: "SBXR", version byte 1, total (i64),
// received (i64), segment count (u32), per segment start, end and received
// (i64 each), then the source URL and the file written, each as a u32 length
// and its bytes. The file is an exact file-system path.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace box {

struct ResumeSegment {
    std::int64_t start = 0;
    std::int64_t end = 0;  // one past the last byte; 0 while the total is unknown
    std::int64_t received = 0;
};

struct ResumeState {
    std::int64_t total = 0;  // as announced; 0 while unknown
    std::int64_t received = 0;
    std::vector<ResumeSegment> segments;
    Text url;
    std::filesystem::path file;
};

std::string SerializeResumeState(const ResumeState& state);
// nullopt for empty, truncated or inconsistent bytes.
std::optional<ResumeState> ParseResumeState(std::string_view bytes);

// What the download worker reads out of a state: 1 total size, 2 bytes
// received, 3 number of segments, and per segment (index from 1) 4 its start,
// 5 its end and 6 its bytes received. -1 for an empty or unreadable state, a
// kind outside 1..6 or a segment that does not exist.
std::int64_t QueryResumeState(std::string_view bytes, int kind, int index);

}  // namespace box
