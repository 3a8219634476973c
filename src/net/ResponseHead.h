#pragma once
// The head of an HTTP answer (status line and header lines) as it arrives
// line by line. A new status line starts a new head, so after redirects and
// interim answers only the last answer's head remains.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "support/Text.h"

namespace box {

class ResponseHead {
public:
    // One line as received, with or without its line break. Returns true when
    // the line began a new answer.
    bool AddLine(std::string_view line);
    void Clear();

    int status() const { return status_; }
    const Text& reason() const { return reason_; }
    // The first header of that name (case ignored), blanks trimmed; "" when none.
    Text Header(std::string_view name) const;
    // Every header line followed by "\r\n", in arrival order.
    const std::string& lines() const { return lines_; }
    // The announced body length, when the answer gave a valid one.
    std::optional<std::uint64_t> ContentLength() const { return contentLength_; }

private:
    int status_ = 0;
    Text reason_;
    std::string lines_;
    std::optional<std::uint64_t> contentLength_;
};

}  // namespace box
