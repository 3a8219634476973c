// Heads of HTTP answers line by line, as libcurl hands them over: interim and
// redirect answers, folded and odd lines, lengths of every form.

#include <cstdint>

#include "FuzzTarget.h"
#include "net/ResponseHead.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    return {
        "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=gbk\r\nContent-Length: 1234\r\n\r\n",
        "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.2/f.rar\r\nContent-Length: 0\r\n\r\n"
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n",
        "HTTP/1.1 100 Continue\r\n\r\nHTTP/2 206\r\ncontent-range: bytes 0-9/10\r\n"
        "content-length:\t18446744073709551615 \r\n\r\n",
        "HTTP/1.0 404\nContent-Length: -1\nContent-Length: 12x\nX-Empty:\n\n",
    };
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    ResponseHead head;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        if (head.AddLine(rest.substr(0, length))) {
            fuzz::Check(head.lines().empty() && !head.ContentLength(),
                        "a status line starts an empty head");
        }
        rest.remove_prefix(length);
    }
    fuzz::Check(head.lines().empty() || head.lines().ends_with("\r\n"),
                "every header line ends with CR LF");
    for (const char* name : {"Content-Length", "location", "Set-Cookie", "", ":"})
        head.Header(name);
    const std::string_view first = head.lines();
    head.Header(first.substr(0, first.find(':')));
    return 0;
}
