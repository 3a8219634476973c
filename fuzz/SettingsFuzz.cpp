// The settings store on an in-memory file: any text, then a script of
// operations from the rest of the input. Some operations run from an event
// handler while another one lets events run, as window handlers do.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <functional>

#include "FuzzTarget.h"
#include "TestDoubles.h"
#include "settings/SettingsStore.h"

namespace box::fuzz {

namespace {

using Operation = std::function<void(SettingsStore&)>;

constexpr std::size_t kMaxNameBytes = 48;
constexpr int kMaxOperations = 48;

// Mostly a section or key that the text already has, so edits hit something.
Text Name(FuzzedDataProvider& in, SettingsStore& store) {
    std::vector<Text> names;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
            store.listSections(names);
            break;
        case 1:
            store.listKeys(names);
            break;
        default:
            break;
    }
    if (!names.empty()) return names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
    return in.ConsumeRandomLengthString(kMaxNameBytes);
}

Operation NextOperation(FuzzedDataProvider& in, SettingsStore& store, test::ScriptedEventPump& pump,
                        int depth) {
    const int kind = in.ConsumeIntegralInRange(0, 19);
    const Text a = Name(in, store);
    const Text b = Name(in, store);
    const Text value = in.ConsumeRandomLengthString(kMaxNameBytes);
    const bool immediate = in.ConsumeBool();
    const int n = in.ConsumeIntegral<int>();
    switch (kind) {
        case 0:
            return [=](SettingsStore& s) { s.readKey(a, b, value, immediate); };
        case 1:
            return [=](SettingsStore& s) { s.writeKey(a, b, value, immediate); };
        case 2:
            return [=](SettingsStore& s) { s.deleteEntry(a, n % 2 ? b : Text(), immediate); };
        case 3:
            return [=](SettingsStore& s) { s.renameSection(a, b, immediate); };
        case 4:
            return [=](SettingsStore& s) { s.renameKey(a, b, value, immediate); };
        case 5:
            return [=](SettingsStore& s) {
                std::vector<Text> out;
                s.listSections(out, n % 3 ? Text() : b, n % 5 ? Text() : value);
                s.listKeys(out, n % 3 ? Text() : b, n % 7 ? Text() : value, n % 2 ? Text() : a);
            };
        case 6:
            return [=](SettingsStore& s) {
                std::vector<Text> out;
                s.listSectionsWithKey(b, out);
                s.listKeysWithValue(value, out, n % 2 ? a : Text());
            };
        case 7:
            return [=](SettingsStore& s) { s.findHeader(n % 64, n % 8192); };
        case 8:
            return [=](SettingsStore& s) { s.selectSection(a); };
        case 9:
            return [=, &pump](SettingsStore& s) {
                // With no event waiting, a read must answer what a fresh
                // store on the same text answers: the key index of a store
                // that has been edited must never be stale.
                const bool quiet = pump.pending.empty();
                const Text before = s.getText();
                const Text got = s.readText(b, value);
                if (!quiet || s.getText() != before) return;
                test::ScriptedEventPump freshPump;
                test::ScriptedDialogs freshDialogs;
                SettingsStore fresh(freshPump, freshDialogs);
                fresh.openPath({}, true);
                fresh.appendText(before);
                fresh.selectSection(s.section());
                if (fresh.readText(b, value) != got) __builtin_trap();
            };
        case 10:
            return [=](SettingsStore& s) { s.writeText(b, value); };
        case 11:
            return [=](SettingsStore& s) { s.readNumber(b, n); };
        case 12:
            return [=](SettingsStore& s) { s.writeNumber(b, LeadingNumber(value)); };
        case 13:
            return [=](SettingsStore& s) { s.readBool(b) || s.readBoolNotFalse(b); };
        case 14:
            return [=](SettingsStore& s) { s.writeBool(b, immediate); };
        case 15:
            return [=](SettingsStore& s) { s.readDateTime(b); };
        case 16:
            return [=](SettingsStore& s) {
                s.writeDateTime(b, {n % 3000, n % 13, n % 32, n % 24, n % 60, n % 60});
            };
        case 17:
            return [=](SettingsStore& s) { s.appendText(value, immediate); };
        case 18:
            return [](SettingsStore& s) { s.processQueue(); };
        default:
            break;
    }
    if (depth >= 3) return [](SettingsStore&) {};
    // Runs at the next pump, inside whatever operation is running then.
    Operation later = NextOperation(in, store, pump, depth + 1);
    return [later, &pump](SettingsStore& s) { pump.pending.push_back([later, &s] { later(s); }); };
}

}  // namespace

std::vector<std::string> Seeds() {
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore store(pump, dialogs);
    store.openPath({}, true);
    store.selectSection("基本配置"_gbk);
    store.writeBool("首次运行"_gbk, false);
    store.writeNumber("窗口左边"_gbk, 120);
    store.writeText("下载目录"_gbk, "D:\\软件\r\n第二行"_gbk);
    store.writeDateTime("上次更新"_gbk, {2024, 2, 29, 23, 59, 7});
    store.selectSection("软件排序_使用次数"_gbk);
    for (const char* name : {"汀芷·画图", "汀芷·截图", "Plain"})
        store.writeNumber(Utf8ToGbk(name), 3);
    const Text typed = store.getText();

    // Choices of operations and names; the provider reads them from the end.
    const std::string script("\x00\x01\x05\x00\x02\x13\x01\x00\x09\x03\x00\x01\x0a\x00\x00\x13",
                             16);
    return {
        ProviderInput({typed}, script),
        ProviderInput({typed, "[x]", "k", "v"}),
        ProviderInput({test::IniLines({"[a]", "k=1", "[]]]x", "k=2", "[b]", "k=3"}), "k"}, script),
        ProviderInput({test::IniLines({"k=before any section", "[a]", "=", "k", "[a]", "k=again"})},
                      script),
        ProviderInput({"[a]\nk=lf only\n[b]\r\nk=2\r\n"}, script),
        ProviderInput({""}, "\x01\x01\x01\x01"),
    };
}

}  // namespace box::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace box;
    FuzzedDataProvider in(data, size);
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore store(pump, dialogs);
    store.openPath({}, true);
    store.appendText(in.ConsumeRandomLengthString(size));
    for (int i = 0; i < fuzz::kMaxOperations && in.remaining_bytes() > 0; ++i) {
        fuzz::Operation op = fuzz::NextOperation(in, store, pump, 0);
        if (i % 8 == 7) {
            // The copy keeps its own memory file; it must work on its own.
            std::unique_ptr<SettingsStore> copy = store.copy();
            op(*copy);
            copy->processQueue();
            // Handlers queued for the copy must not outlive it.
            pump.ProcessPendingEvents();
        } else {
            op(store);
        }
    }
    pump.ProcessPendingEvents();
    store.processQueue();
    return 0;
}
