#pragma once
// What the resolver tests share: a context on a scripted pump, and the ways a
// service can answer badly.

#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "LoopbackServer.h"
#include "ServiceFakes.h"
#include "net/CookieStore.h"
#include "net/HttpRequest.h"
#include "net/WebAccess.h"
#include "resolve/ShareLink.h"
#include "TestDoubles.h"

namespace box::test {

struct Fault {
    const char* name;
    Answer answer;
};

inline std::vector<Fault> BadAnswers() {
    Answer garbage{200, std::string("\x00\xff\x81\x30{\"nid\": \"\\\n\x8f", 12), "text/html"};
    Answer empty{200, "", "text/html"};
    Answer serverError{500, "{\"nid\": \"1\", \"path\": \"/x\", \"fs_id\":5,", "text/html"};
    Answer noMarker{200, "<html><body>the share has expired</body></html>", "text/html"};
    Answer endless{200, "<p>more</p>", "text/html"};
    endless.endless = true;
    Answer stall;
    stall.hold = true;
    return {{"Garbage", garbage},   {"EmptyPage", empty}, {"ServerError", serverError},
            {"NoMarker", noMarker}, {"Endless", endless}, {"Stall", stall}};
}

inline void PrintTo(const Fault& fault, std::ostream* out) {
    *out << fault.name;
}

inline std::string FaultName(const ::testing::TestParamInfo<Fault>& info) {
    return info.param.name;
}

template <typename Predicate>
bool WaitFor(Predicate done, std::chrono::seconds bound = std::chrono::seconds(60)) {
    const auto until = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class ResolverTest : public ::testing::Test {
protected:
    // A request left running by a time-out ends before the next test.
    void TearDown() override {
        EXPECT_TRUE(WaitFor([] { return WebAccess::RunningWorkers() == 0; }));
    }

    ResolveContext Context(ServiceHosts hosts = {}, NetConfig net = {}) {
        ResolveContext context{pump, downloadRequest};
        context.net = net;
        context.hosts = std::move(hosts);
        context.webCookies = &cookies;
        return context;
    }

    ScriptedEventPump pump;
    HttpRequest downloadRequest{pump};
    CookieStore cookies;
};

}  // namespace box::test
