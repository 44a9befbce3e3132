// From the call to the target's text: DirectInput::send of one character until a Qt 6 field has
// received it, through the fcitx5 addon, through IBus and through X11 (XTest after the 0.1 s
// wait for the target to come to the front). Each route runs in its own private Xvfb with
// openbox and a private session bus; the median and 95th percentile come as counters in ms.
//   build/bench/sumiro_delivery_bench

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <thread>

#include "input/DirectInput.h"
#include "input/inputmethod/InputMethodPlatform.h"
#include "testsupport/InputMethodSession.h"
#include "testsupport/RecordingTarget.h"
#include "testsupport/XSession.h"

namespace sumiro {
namespace {

using testing::InputMethodSession;
using testing::RecordingTarget;
using testing::XSession;
using Clock = std::chrono::steady_clock;

enum Route { Fcitx5 = 0, IBus = 1, X11 = 2 };

void ensureApplication() {
    static int argc = 1;
    static char name[] = "sumiro_delivery_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

// Runs the event loop until the target has received more than `before` lines, or a second
// passes.
bool arrived(const RecordingTarget& target, std::size_t before) {
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    while (target.received().size() <= before) {
        if (Clock::now() > deadline) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return true;
}

void BM_DeliverOneCharacter(benchmark::State& state) {
    ensureApplication();
    const auto route = static_cast<Route>(state.range(0));
    const auto kind =
        route == IBus ? InputMethodSession::Kind::IBus : InputMethodSession::Kind::Fcitx5;
    if (const std::string why = InputMethodSession::missing(kind); !why.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    std::string error;
    auto x = XSession::start(error);
    if (!x) return state.SkipWithError(error.c_str());
    auto im = InputMethodSession::start(*x, kind, error);
    if (!im) return state.SkipWithError(error.c_str());
    if (route == X11) im->stopInputMethod();

    const auto platform = inputMethodPlatform(
        x->display(), im->bus(),
        route == IBus ? im->ibusAddress() : std::string("unix:path=/nonexistent/ibus"));
    RecordingTarget::Options options;
    options.env = im->clientEnvironment();
    if (route != X11) {
        options.inputMethodSees = [&] {
            return platform->route() && platform->route()->focusedProgram();
        };
    }
    const auto target = RecordingTarget::start(*x, error, options);
    if (!target) return state.SkipWithError(error.c_str());
    DirectInput input(platform);
    QString said;
    QObject::connect(&input, &DirectInput::status,
                     [&said](const QString& message) { said = message; });
    if (!QTest::qWaitFor([&] { return input.target().has_value(); }, 10000)) {
        return state.SkipWithError("the field never became the target");
    }

    std::vector<double> ms;
    for (auto _ : state) {
        const std::size_t before = target->received().size();
        const auto start = Clock::now();
        input.send(QStringLiteral("木"));
        if (!arrived(*target, before)) return state.SkipWithError("the character never arrived");
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        ms.push_back(took.count());
        state.SetIterationTime(took.count() / 1000);
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    state.counters["median_ms"] = at(0.5);
    state.counters["p95_ms"] = at(0.95);
    // The status line names the way in that typed the last one.
    const qsizetype open = said.lastIndexOf(QStringLiteral("（"));
    state.SetLabel(open < 0 ? said.toStdString() : said.mid(open + 1).chopped(1).toStdString());
}
BENCHMARK(BM_DeliverOneCharacter)
    ->ArgName("route")  // 0 fcitx5, 1 IBus, 2 X11
    ->Arg(Fcitx5)
    ->Arg(IBus)
    ->Arg(X11)
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace sumiro

BENCHMARK_MAIN();
