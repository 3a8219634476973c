#pragma once
// Little-endian numbers in byte buffers, the way Windows file formats (icons,
// bitmaps, executables, shell links) store them. Every access checks its
// range: a read past the end fails (or gives 0), a write past the end grows
// the buffer instead of touching memory that is not its own.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace box {

namespace byte_order_detail {

inline bool Fits(std::string_view d, std::size_t at, std::size_t n) {
    return at <= d.size() && d.size() - at >= n;
}

inline std::uint64_t Load(std::string_view d, std::size_t at, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = n; i-- > 0;) v = v << 8 | static_cast<unsigned char>(d[at + i]);
    return v;
}

inline void Store(std::string& out, std::size_t at, std::uint64_t v, std::size_t n) {
    if (out.size() < at + n) out.resize(at + n, '\0');
    for (std::size_t i = 0; i < n; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace byte_order_detail

// The value at `at`; false (out untouched) when the bytes run past the end.
inline bool ReadLe8(std::string_view d, std::size_t at, std::uint32_t& out) {
    if (!byte_order_detail::Fits(d, at, 1)) return false;
    out = static_cast<std::uint32_t>(byte_order_detail::Load(d, at, 1));
    return true;
}
inline bool ReadLe16(std::string_view d, std::size_t at, std::uint32_t& out) {
    if (!byte_order_detail::Fits(d, at, 2)) return false;
    out = static_cast<std::uint32_t>(byte_order_detail::Load(d, at, 2));
    return true;
}
inline bool ReadLe32(std::string_view d, std::size_t at, std::uint32_t& out) {
    if (!byte_order_detail::Fits(d, at, 4)) return false;
    out = static_cast<std::uint32_t>(byte_order_detail::Load(d, at, 4));
    return true;
}

// The value at `at`, or 0 when the bytes run past the end: for parsers that
// have checked the size of the whole structure beforehand.
inline std::uint16_t Le16At(std::string_view d, std::size_t at) {
    return byte_order_detail::Fits(d, at, 2)
               ? static_cast<std::uint16_t>(byte_order_detail::Load(d, at, 2))
               : 0;
}
inline std::uint32_t Le32At(std::string_view d, std::size_t at) {
    return byte_order_detail::Fits(d, at, 4)
               ? static_cast<std::uint32_t>(byte_order_detail::Load(d, at, 4))
               : 0;
}

// Appends the value at the end of out.
inline void AppendLe16(std::string& out, std::uint32_t v) {
    byte_order_detail::Store(out, out.size(), v, 2);
}
inline void AppendLe32(std::string& out, std::uint32_t v) {
    byte_order_detail::Store(out, out.size(), v, 4);
}
inline void AppendLe64(std::string& out, std::uint64_t v) {
    byte_order_detail::Store(out, out.size(), v, 8);
}

// Writes the value at `at`, growing out with zero bytes when it is shorter.
inline void StoreLe16(std::string& out, std::size_t at, std::uint32_t v) {
    byte_order_detail::Store(out, at, v, 2);
}
inline void StoreLe32(std::string& out, std::size_t at, std::uint32_t v) {
    byte_order_detail::Store(out, at, v, 4);
}
inline void StoreLe64(std::string& out, std::size_t at, std::uint64_t v) {
    byte_order_detail::Store(out, at, v, 8);
}

}  // namespace box
