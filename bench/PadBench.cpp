// Google Benchmark of the pad on the offscreen platform with the built data: the start until the
// panel is on screen, the start until the data are ready, and the way from the end of a stroke to
// the candidates painted (the 0.18 s pause included). Run build/bench/sumiro_pad_bench.

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QWindow>
#include <chrono>
#include <fstream>
#include <string>

#include "bench/QuietDesktop.h"
#include "controller/AppDelegate.h"
#include "views/CharacterGrid.h"
#include "views/InkView.h"
#include "views/PadPanel.h"

namespace sumiro {
namespace {

using Clock = std::chrono::steady_clock;

std::unique_ptr<AppDelegate> makePad() {
    AppDelegate::Environment environment = AppDelegate::systemEnvironment(SUMIRO_RESOURCE_DIR);
    environment.platform = std::make_shared<QuietDesktop>();
    environment.trayIcon = false;
    return std::make_unique<AppDelegate>(std::move(environment));
}

QString statusOf(const AppDelegate& pad) {
    return pad.panel()->findChild<QLabel*>(u"statusLabel"_qs)->text();
}

template <typename Pred>
void spinUntil(Pred pred) {
    const QDeadlineTimer deadline(std::chrono::seconds(30));
    while (!pred() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}

double residentMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

void BM_StartUntilPanelOnScreen(benchmark::State& state) {
    bool first = true;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto pad = makePad();
        pad->applicationDidFinishLaunching();
        spinUntil([&] {
            return pad->panel()->windowHandle() && pad->panel()->windowHandle()->isExposed();
        });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        spinUntil([&] {
            return pad->database() || statusOf(*pad).startsWith(u"辞書を読み込めません"_qs);
        });
        // The first pad of the process, its data loaded: later ones would add what the
        // allocator kept of their predecessors.
        if (first) {
            state.counters["resident_MB"] = residentMegabytes();
            first = false;
        }
    }
}
BENCHMARK(BM_StartUntilPanelOnScreen)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_StartUntilDataReady(benchmark::State& state) {
    for (auto _ : state) {
        const auto start = Clock::now();
        auto pad = makePad();
        pad->applicationDidFinishLaunching();
        spinUntil([&] { return pad->database() != nullptr; });
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}
BENCHMARK(BM_StartUntilDataReady)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// Strokes as the canvas records them (0 to 1, y downward).
Ink ten() {
    return {{{0.15, 0.48}, {0.5, 0.48}, {0.85, 0.48}}, {{0.5, 0.12}, {0.5, 0.5}, {0.5, 0.9}}};
}
Ink tree() {
    return {{{0.12, 0.35}, {0.5, 0.35}, {0.88, 0.35}},
            {{0.5, 0.1}, {0.5, 0.5}, {0.5, 0.92}},
            {{0.48, 0.38}, {0.3, 0.6}, {0.12, 0.78}},
            {{0.52, 0.38}, {0.7, 0.6}, {0.88, 0.78}}};
}

void BM_ReleaseToCandidatesPainted(benchmark::State& state) {
    auto pad = makePad();
    pad->applicationDidFinishLaunching();
    spinUntil([&] { return pad->database() != nullptr; });
    const Ink ink = state.range(0) == 2 ? ten() : tree();
    auto* candidates = pad->panel()->findChild<CharacterGrid*>(u"candidates"_qs);
    auto* canvas = pad->panel()->findChild<InkView*>(u"ink"_qs);
    auto* recognize = pad->panel()->findChild<QAbstractButton*>(u"recognize"_qs);
    double recognitionMs = 0;
    for (auto _ : state) {
        candidates->setCharacters({});
        canvas->setStrokes(ink);
        const auto start = Clock::now();
        recognize->click();  // "認識": what the canvas's release runs too
        spinUntil([&] { return !candidates->characters().isEmpty(); });
        candidates->repaint();  // the frame that shows them
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        // "N候補・Mms…": the recognition's own share.
        const QString status = statusOf(*pad);
        recognitionMs += status.section(u"・"_qs, 1).section(u"ms"_qs, 0, 0).toDouble();
    }
    state.counters["recognition_ms"] = recognitionMs / static_cast<double>(state.iterations());
    state.SetLabel(candidates->characters().front().toStdString() + " first");
}
BENCHMARK(BM_ReleaseToCandidatesPainted)
    ->Arg(2)
    ->Arg(4)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

}  // namespace
}  // namespace sumiro

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
