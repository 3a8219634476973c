#pragma once
// Cookies that web answers set, kept per host for the life of the process.
// WebAccess hands every cookie of an answer to a store and sends the host's
// cookies with its later requests that bring none of their own.
//
// Hosts are compared as given (WebAccess passes them lower-cased, without a
// port); paths and domains of the cookies play no part. A cookie whose
// attributes say it has expired removes the one of that name instead.

#include <ctime>
#include <map>
#include <mutex>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace box {

// One "Set-Cookie: " line of an answer's head, split the way WebAccess reads
// it: the line without its first 12 bytes is name "=" data, and the pair is
// that text up to its first ";".
struct SetCookieLine {
    Text pair;  // "name=value"
    Text name;  // up to the first "=" (the whole text when it has none)
    Text data;  // after the first "=": the value and any attributes
};

// Every line of the head (lines end in "\r\n" or "\n") that holds
// "Set-Cookie: " in any case, in order.
std::vector<SetCookieLine> ParseSetCookieLines(std::string_view head);

class CookieStore {
public:
    // Per host, at most this many cookies; the oldest go first.
    static constexpr std::size_t kMaxPerHost = 50;

    // The store every WebAccess uses unless it is given another one.
    static CookieStore& Process();

    // Keeps (or replaces) the cookie name of host. data is the value, then
    // optionally "; " and attributes; "Max-Age" of 0 or less and an "Expires"
    // date in the past remove the cookie. Names and values holding line breaks
    // or zero bytes, and empty names, are refused.
    bool Set(std::string_view host, std::string_view name, std::string_view data);
    // The cookies of host as the Cookie header's value ("a=1; b=2"), "" when none.
    Text CookieLine(std::string_view host) const;
    void Clear();

private:
    struct Cookie {
        Text name;
        Text value;
        std::time_t expires = 0;  // 0: ends with the process
    };

    mutable std::mutex mutex_;
    std::map<Text, std::vector<Cookie>> hosts_;
};

}  // namespace box
