// Answer heads with Set-Cookie lines, read into cookie pairs and kept in a
// cookie store whose Cookie line then goes out with later requests.

#include <cstdint>

#include "FuzzTarget.h"
#include "net/CookieStore.h"
#include "net/HttpWire.h"

namespace box::fuzz {

std::vector<std::string> Seeds() {
    return {
        "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/; HttpOnly\r\nSet-Cookie: b=2\r\n\r\n",
        "HTTP/1.1 302 Found\r\nset-cookie: sid=x; Expires=Wed, 09 Jun 2100 10:18:14 GMT\r\n"
        "SET-COOKIE: old=; expires=Thu, 01 Jan 1970 00:00:00 GMT; Max-Age=5\r\n"
        "Set-Cookie: gone=1; max-age=0\r\nSet-Cookie: noequals\r\n\r\n",
        "X-Set-Cookie: a=b\nSet-Cookie: ==;;=\rSet-Cookie: \r\nSet-Cookie: c=d; max-age=-1\n",
        "Set-Cookie: a=1; max-age=99999999999999999999999; expires=\r\n"
        "Set-Cookie: a=2; Max-Age=+7; expires=Sun, 06 Nov 1994 08:49:37 GMT\r\n",
    };
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    const std::string_view head(reinterpret_cast<const char*>(data), size);
    CookieStore store;
    for (const SetCookieLine& cookie : ParseSetCookieLines(head)) {
        fuzz::Check(cookie.pair.find('\n') == Text::npos && cookie.pair.find(';') == Text::npos,
                    "a pair is one piece of one line");
        store.Set("host", cookie.name, cookie.data);
    }
    const Text line = store.CookieLine("host");
    fuzz::Check(!HasLineBreakOrZero(line), "the Cookie line stays one header line");
    fuzz::Check(store.CookieLine("other").empty(), "cookies stay with their host");
    return 0;
}
