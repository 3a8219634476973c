// One keystroke of search-as-you-type over a list of 1,000 programs: a
// substring, a wildcard and a pinyin-initials query. "Match" times only the
// test of the 1,000 captions; "Keystroke" a whole search as the box runs it
// (captions read from the rows, blanks removed, hits listed), with a pump
// that has no window events to run.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/SearchModel.h"
#include "support/Text.h"

namespace {

using box::operator""_gbk;
using box::Text;

constexpr int kRows = 1000;

// Captions as the list shows them: a free tag on some, the box's prefix, a
// title of two to four words, a number, the blank fill and the version.
std::vector<Text> Captions() {
    const std::vector<Text> words = {
        "图片"_gbk, "压缩"_gbk, "文本"_gbk, "批量"_gbk, "替换"_gbk,   "屏幕"_gbk,   "录像"_gbk,
        "专家"_gbk, "定时"_gbk, "关机"_gbk, "助手"_gbk, "音频"_gbk,   "格式"_gbk,   "转换"_gbk,
        "截图"_gbk, "标注"_gbk, "工具"_gbk, "桌面"_gbk, "便签"_gbk,   "文件"_gbk,   "改名"_gbk,
        "精灵"_gbk, "快捷"_gbk, "启动"_gbk, "面板"_gbk, "剪贴板"_gbk, "记录器"_gbk, "网络"_gbk,
        "测速"_gbk, "系统"_gbk, "清理"_gbk, "Pro"_gbk,
    };
    std::vector<Text> captions;
    unsigned seed = 7;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int i = 1; i <= kRows; ++i) {
        Text name = (i % 4 == 0 ? "[免]"_gbk : Text()) + "汀芷·"_gbk;
        const unsigned count = 2 + next() % 3;
        for (unsigned w = 0; w < count; ++w) name += words[next() % words.size()];
        name += box::ToText(i);
        name = box::PadToBytes(name, 32);
        name += i % 3 == 0 ? " (未下载)"_gbk : " v1." + box::ToText(i % 10) + ".0.0";
        captions.push_back(name);
    }
    return captions;
}

struct SearchList {
    SearchList() : search(list, pump, [](int) {}) {
        const std::vector<Text> captions = Captions();
        list.resize(kRows);
        for (int i = 1; i <= kRows; ++i) list.at(i).nameControl.caption = captions[i - 1];
        for (const Text& caption : captions) stripped.push_back(box::WithoutBlanks(caption));
    }
    box::ProgramList list;
    box::NullEventPump pump;
    box::SearchModel search;
    std::vector<Text> stripped;
};

const Text& Query(int kind) {
    static const Text queries[] = {"压缩"_gbk, "*图片*工具"_gbk, "tpys"_gbk, "zzq"_gbk};
    return queries[kind];
}

void Label(benchmark::State& state) {
    static const char* names[] = {"substring", "wildcard", "initials", "initials, no hit"};
    state.SetLabel(names[state.range(0)]);
}

void BM_Match(benchmark::State& state) {
    SearchList s;
    s.search.SetQuery(Query(int(state.range(0))));
    int hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (const Text& caption : s.stripped) hits += s.search.MatchCaption(caption) ? 1 : 0;
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = hits;
    Label(state);
}
BENCHMARK(BM_Match)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_Keystroke(benchmark::State& state) {
    SearchList s;
    const Text query = Query(int(state.range(0)));
    for (auto _ : state) {
        s.search.TextChanged(query);
        benchmark::DoNotOptimize(s.search.hits().data());
    }
    state.counters["hits"] = double(s.search.hits().size());
    Label(state);
}
BENCHMARK(BM_Keystroke)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
