// Browse benchmarks on the built character data: the list behind every keystroke in the
// search field (a one-kana reading or an English word over the whole inventory) and the
// largest range listing (Extension B), alone, with the grid taking the list, and as the pad's
// whole refresh of the browse mode with the visible rows painted (on the offscreen platform).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QSignalBlocker>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "controller/BrowseMode.h"
#include "controller/BrowseQuery.h"
#include "engine/CharacterDatabase.h"
#include "views/CharacterGrid.h"

namespace sumiro {
namespace {

const CharacterDatabase& database() {
    static const CharacterDatabase db{std::filesystem::path(SUMIRO_RESOURCE_DIR)};
    return db;
}

const std::vector<std::int64_t> kAllRadicals = radicalNumbersFor(0, {});
const std::vector<NamedRange> kRanges = BrowseMode::defaultRanges();

BrowseState readingSearch() {
    BrowseState state;
    state.mode = Mode::Ranges;
    state.search = u"き"_qs;
    return state;
}

BrowseState extensionB() {
    BrowseState state;
    state.mode = Mode::Ranges;
    state.rangeIndex = 7;
    return state;
}

void run(benchmark::State& state, const BrowseState& browse, bool grid) {
    CharacterGrid view;
    view.resize(350, 300);
    qsizetype listed = 0;
    for (auto _ : state) {
        QStringList list = browseList(database(), browse, kAllRadicals, kRanges);
        listed = list.size();
        if (grid) view.setCharacters(std::move(list));
        benchmark::DoNotOptimize(list);
    }
    state.counters["listed"] = static_cast<double>(listed);
}

void BM_BrowseReading(benchmark::State& state) { run(state, readingSearch(), state.range(0)); }
BENCHMARK(BM_BrowseReading)->ArgName("grid")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A character typed in: every inventory character is compared with it as well.
void BM_BrowseCharacter(benchmark::State& state) {
    BrowseState browse = readingSearch();
    browse.search = u"木"_qs;
    run(state, browse, true);
}
BENCHMARK(BM_BrowseCharacter)->Unit(benchmark::kMillisecond);

// An English word typed in: characters and readings are searched, then the meanings. "a"
// is in more meanings than any other word.
void BM_BrowseMeaning(benchmark::State& state) {
    BrowseState browse = readingSearch();
    browse.search = state.range(0) == 0 ? u"water"_qs : u"a"_qs;
    state.SetLabel(browse.search.toStdString());
    run(state, browse, true);
}
BENCHMARK(BM_BrowseMeaning)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BrowseExtensionB(benchmark::State& state) { run(state, extensionB(), state.range(0)); }
BENCHMARK(BM_BrowseExtensionB)->ArgName("grid")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BrowseStrokeCount(benchmark::State& state) {
    BrowseState browse;
    browse.mode = Mode::StrokeCounts;
    browse.japaneseOnly = false;
    browse.countIndex = 11;  // 12 strokes, the largest group
    run(state, browse, true);
}
BENCHMARK(BM_BrowseStrokeCount)->Unit(benchmark::kMillisecond);

// The pad's browse mode on screen in "文字一覧" with the data loaded.
BrowseMode& browseMode() {
    static BrowseMode* const browse = [] {
        auto* view = new BrowseMode;
        view->setDatabase(std::shared_ptr<const CharacterDatabase>(&database(), [](auto*) {}));
        view->enter(Mode::Ranges);
        view->resize(792, 330);  // its place in the panel
        view->show();
        QCoreApplication::processEvents();
        return view;
    }();
    return *browse;
}

// The mode's whole refresh, as the search field or the range pop-up runs it, and the grid's
// repaint.
void BM_RefreshBrowse(benchmark::State& state) {
    BrowseMode& browse = browseMode();
    static const struct {
        QString search;
        const char* label;
    } cases[] = {
        {u"き"_qs, "reading き"}, {QString(), "漢字 拡張B"}, {u"water"_qs, "meaning water"}};
    const auto& c = cases[state.range(0)];
    auto* search = browse.findChild<QLineEdit*>(u"searchField"_qs);
    {
        const QSignalBlocker quiet(search);
        search->setText(c.search);
    }
    browse.findChild<QComboBox*>(u"rangePopup"_qs)->setCurrentIndex(7);
    auto* grid = browse.findChild<CharacterGrid*>(u"browseGrid"_qs);
    for (auto _ : state) {
        browse.enter(Mode::Ranges);
        grid->repaint();
    }
    state.SetLabel(c.label);
    state.counters["listed"] = static_cast<double>(grid->characters().size());
}
BENCHMARK(BM_RefreshBrowse)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sumiro

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
