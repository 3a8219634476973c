#pragma once
// Test doubles for the injected user-interface services.

#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/Dialogs.h"
#include "support/EventPump.h"

namespace box::test {

// A UTF-8 source literal as GBK text.
inline Text G(const char* utf8) {
    return Utf8ToGbk(utf8);
}

// UTF-8 source lines -> GBK text joined with CR LF, no line end after the last.
inline Text IniLines(std::initializer_list<const char*> lines) {
    Text out;
    bool first = true;
    for (const char* line : lines) {
        if (!first) out += "\r\n";
        out += Utf8ToGbk(line);
        first = false;
    }
    return out;
}

// Answers message boxes from a script and records every box shown.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        Text text;
        unsigned flags;
        Text title;
    };
    std::deque<int> answers;  // taken in order; kButtonOk when empty
    std::vector<Shown> shown;

    int ShowMessage(const Text& text, unsigned flags, const Text& title) override {
        shown.push_back({text, flags, title});
        if (answers.empty()) return kButtonOk;
        int a = answers.front();
        answers.pop_front();
        return a;
    }
};

// An event pump that runs queued handlers on the next ProcessPendingEvents
// (as a window would run events that arrived meanwhile) and keeps a fake clock
// instead of sleeping.
class ScriptedEventPump : public EventPump {
public:
    std::deque<std::function<void()>> pending;
    std::function<void()> onEveryPump;  // runs at every pump, when set
    int pumps = 0;
    long long sleptMs = 0;

    void ProcessPendingEvents() override {
        ++pumps;
        if (onEveryPump) onEveryPump();
        while (!pending.empty()) {
            auto handler = std::move(pending.front());
            pending.pop_front();
            handler();
        }
    }
    void Sleep(int milliseconds) override { sleptMs += milliseconds; }
};

// A fresh folder under the system temp folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as GBK text, the way the box names its folder.
    Text gbk() const;

private:
    std::filesystem::path path_;
};

}  // namespace box::test
