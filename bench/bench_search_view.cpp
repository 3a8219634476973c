// One keystroke of search-as-you-type in the window: 1,000 programs, a
// search that lets window events run after every row (as the box does) and
// the hit list filled and shown. Offscreen unless QT_QPA_PLATFORM says
// otherwise.

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>

#include <QApplication>

#include "app/SearchModel.h"
#include "app/view/MainWindow.h"
#include "app/view/QtDialogs.h"

namespace {

using box::operator""_gbk;
using box::Text;

void BM_WindowKeystroke(benchmark::State& state) {
    box::ProgramList list;
    list.resize(1000);
    for (int i = 1; i <= list.size(); ++i) {
        list.at(i).nameControl.caption =
            box::PadToBytes("汀芷·软件工具"_gbk + box::ToText(i), 32) + " (未下载)"_gbk;
    }
    box::QtEventPump pump;
    box::SearchModel search(list, pump, [](int) {});
    box::WindowActions actions;
    box::MainWindow window(list, actions);
    window.AttachSearch(search);
    window.show();
    QApplication::processEvents();
    // Every row, no row, and one row in ten.
    static const char* queries[] = {"rjgj", "zzq", "0"};
    const Text query = queries[state.range(0)];
    for (auto _ : state) search.TextChanged(query);
    state.counters["hits"] = double(search.hits().size());
    state.SetLabel(queries[state.range(0)]);
}
BENCHMARK(BM_WindowKeystroke)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_CTYPE, "C.UTF-8");
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
