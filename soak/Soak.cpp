// Soak run: recognitions of seeded random inks, and every tenth recognition's best candidate
// typed into the recording target through DirectInput over the X11 platform, in a private
// Xvfb with openbox. Prints resident memory as it goes; at the end, what arrived is compared
// with what was sent, character by character.
//
// Usage: sumiro_soak [RECOGNITIONS [DELIVERIES]]   (default 10000 and 1000)
// Exit status 0 when nothing was lost or garbled, 1 otherwise, 2 when the session failed.

#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "engine/CharacterDatabase.h"
#include "input/DirectInput.h"
#include "input/x11/X11Platform.h"
#include "testsupport/RecordingTarget.h"
#include "testsupport/XSession.h"

namespace {

using sumiro::Ink;
using sumiro::Stroke;

constexpr int kTimeoutMs = 20000;

long residentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

Ink randomInk(std::mt19937& random) {
    std::uniform_int_distribution<int> strokes(1, 20);
    std::uniform_int_distribution<int> points(1, 30);
    std::uniform_real_distribution<double> coordinate(0, 400);
    Ink ink(static_cast<std::size_t>(strokes(random)));
    for (Stroke& stroke : ink) {
        stroke.resize(static_cast<std::size_t>(points(random)));
        for (auto& p : stroke) p = {coordinate(random), coordinate(random)};
    }
    return ink;
}

// The record the target writes for a text: "text <hex scalars> mods 0".
std::string recordOf(const QString& text) {
    std::string record = "text";
    for (const char32_t c : text.toUcs4())
        record += ' ' + QString::number(c, 16).toUpper().toStdString();
    return record + " mods 0";
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int recognitions = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int deliveries = argc > 2 ? std::atoi(argv[2]) : 1000;
    const int every = deliveries > 0 ? std::max(1, recognitions / deliveries) : recognitions + 1;

    const sumiro::CharacterDatabase database{std::filesystem::path(SUMIRO_RESOURCE_DIR)};
    std::string error;
    auto session = sumiro::testing::XSession::start(error);
    if (!session) {
        std::fprintf(stderr, "sumiro_soak: no X session: %s\n", error.c_str());
        return 2;
    }
    const auto target = sumiro::testing::RecordingTarget::start(*session, error);
    if (!target) {
        std::fprintf(stderr, "sumiro_soak: %s\n", error.c_str());
        return 2;
    }
    sumiro::DirectInput input(std::make_shared<sumiro::X11Platform>(session->display()));
    std::vector<QString> messages;
    QObject::connect(&input, &sumiro::DirectInput::status,
                     [&](const QString& message) { messages.push_back(message); });
    if (!QTest::qWaitFor([&] { return input.target().has_value(); }, kTimeoutMs)) {
        std::fprintf(stderr, "sumiro_soak: the recording target never became the target\n");
        return 2;
    }

    std::mt19937 random(2024);
    std::vector<std::string> sent;
    const auto started = std::chrono::steady_clock::now();
    const long startKb = residentKb();
    std::printf("%8s %8s %10s %8s\n", "recog", "sent", "rss_kb", "seconds");
    const auto sample = [&](int done) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        std::printf("%8d %8zu %10ld %8.1f\n", done, sent.size(), residentKb(), elapsed.count());
        std::fflush(stdout);
    };
    sample(0);
    std::vector<long> samples;
    for (int r = 1; r <= recognitions; ++r) {
        const std::vector<std::string> candidates = database.recognize(randomInk(random));
        if (r % every == 0 && static_cast<int>(sent.size()) < deliveries && !candidates.empty()) {
            const QString text = QString::fromStdString(candidates.front());
            input.send(text);
            sent.push_back(recordOf(text));
            // One at a time, so that a lost character shows at once and where.
            if (!QTest::qWaitFor([&] { return target->received().size() >= sent.size(); },
                                 kTimeoutMs)) {
                std::fprintf(stderr, "sumiro_soak: delivery %zu never arrived\n", sent.size());
                break;
            }
        }
        if (r % (recognitions / 10 > 0 ? recognitions / 10 : 1) == 0) {
            sample(r);
            samples.push_back(residentKb());
        }
    }
    QTest::qWait(300);  // anything late still arrives in this time
    const std::vector<std::string> got = target->received();
    std::size_t garbled = 0;
    for (std::size_t i = 0; i < std::min(got.size(), sent.size()); ++i) {
        if (got[i] != sent[i]) {
            if (garbled++ < 5)
                std::fprintf(stderr, "delivery %zu: sent \"%s\", arrived \"%s\"\n", i,
                             sent[i].c_str(), got[i].c_str());
        }
    }
    const std::size_t lost = sent.size() > got.size() ? sent.size() - got.size() : 0;
    const std::size_t extra = got.size() > sent.size() ? got.size() - sent.size() : 0;
    const long after = samples.size() > 2 ? samples[1] : startKb;
    std::printf("recognitions %d, deliveries %zu, arrived %zu, lost %zu, garbled %zu, extra %zu\n",
                recognitions, sent.size(), got.size(), lost, garbled, extra);
    std::printf(
        "resident: start %ld kB, after warm-up %ld kB, end %ld kB (growth since warm-up %ld kB)\n",
        startKb, after, residentKb(), residentKb() - after);
    return lost == 0 && garbled == 0 && extra == 0 && static_cast<int>(sent.size()) == deliveries
               ? 0
               : 1;
}
