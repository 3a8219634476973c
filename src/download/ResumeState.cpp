#include "download/ResumeState.h"

namespace box {

namespace {

constexpr std::string_view kMagic = "SBXR";
constexpr std::uint8_t kVersion = 1;
// A state names one file and one source; anything longer is damage.
constexpr std::uint32_t kMaxText = 64 * 1024;
constexpr std::uint32_t kMaxSegments = 64;

void PutNumber(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutText(std::string& out, std::string_view text) {
    PutNumber(out, text.size(), 4);
    out.append(text);
}

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool Number(int bytes, std::uint64_t& value) {
        if (bytes_.size() - pos_ < static_cast<std::size_t>(bytes)) return false;
        value = 0;
        for (int i = 0; i < bytes; ++i) {
            value |= std::uint64_t{static_cast<unsigned char>(bytes_[pos_ + i])} << (8 * i);
        }
        pos_ += bytes;
        return true;
    }
    bool Signed(std::int64_t& value) {
        std::uint64_t raw = 0;
        if (!Number(8, raw)) return false;
        value = static_cast<std::int64_t>(raw);
        return true;
    }
    bool Bytes(std::string& out) {
        std::uint64_t length = 0;
        if (!Number(4, length) || length > kMaxText || bytes_.size() - pos_ < length) return false;
        out.assign(bytes_.substr(pos_, length));
        pos_ += length;
        return true;
    }
    bool Skip(std::string_view expected) {
        if (bytes_.substr(pos_, expected.size()) != expected) return false;
        pos_ += expected.size();
        return true;
    }
    bool AtEnd() const { return pos_ == bytes_.size(); }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

}  // namespace

std::string SerializeResumeState(const ResumeState& state) {
    std::string out(kMagic);
    out.push_back(static_cast<char>(kVersion));
    PutNumber(out, static_cast<std::uint64_t>(state.total), 8);
    PutNumber(out, static_cast<std::uint64_t>(state.received), 8);
    PutNumber(out, state.segments.size(), 4);
    for (const ResumeSegment& s : state.segments) {
        PutNumber(out, static_cast<std::uint64_t>(s.start), 8);
        PutNumber(out, static_cast<std::uint64_t>(s.end), 8);
        PutNumber(out, static_cast<std::uint64_t>(s.received), 8);
    }
    PutText(out, state.url);
    PutText(out, state.file.string());
    return out;
}

std::optional<ResumeState> ParseResumeState(std::string_view bytes) {
    Reader in(bytes);
    ResumeState state;
    std::uint64_t version = 0;
    std::uint64_t count = 0;
    if (!in.Skip(kMagic) || !in.Number(1, version) || version != kVersion ||
        !in.Signed(state.total) || !in.Signed(state.received) || !in.Number(4, count) ||
        count > kMaxSegments) {
        return std::nullopt;
    }
    if (state.total < 0 || state.received < 0 || (state.total > 0 && state.received > state.total))
        return std::nullopt;
    for (std::uint64_t i = 0; i < count; ++i) {
        ResumeSegment s;
        if (!in.Signed(s.start) || !in.Signed(s.end) || !in.Signed(s.received)) return std::nullopt;
        if (s.start < 0 || s.received < 0 || s.end < 0) return std::nullopt;
        state.segments.push_back(s);
    }
    std::string file;
    if (!in.Bytes(state.url) || !in.Bytes(file) || !in.AtEnd()) return std::nullopt;
    state.file = file;
    return state;
}

std::int64_t QueryResumeState(std::string_view bytes, int kind, int index) {
    if (kind < 1 || kind > 6) return -1;
    auto state = ParseResumeState(bytes);
    if (!state) return -1;
    switch (kind) {
        case 1:
            return state->total;
        case 2:
            return state->received;
        case 3:
            return static_cast<std::int64_t>(state->segments.size());
        default:
            break;
    }
    if (index < 1 || static_cast<std::size_t>(index) > state->segments.size()) return -1;
    const ResumeSegment& s = state->segments[static_cast<std::size_t>(index) - 1];
    return kind == 4 ? s.start : kind == 5 ? s.end : s.received;
}

}  // namespace box
