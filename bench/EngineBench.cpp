// Engine benchmarks: loading, normalization, recognition by stroke count and by stroke-count
// bucket (against the plain recognizer in the same run), lookup.
// They run on the built character data when it exists, else on a synthetic set of the same size.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

#include "engine/CharacterDatabase.h"
#include "engine/DataDecoding.h"
#include "engine/Normalization.h"
#include "engine/tests/DistortedInk.h"
#include "engine/tests/PlainRecognizer.h"

namespace sumiro {
namespace {

namespace fs = std::filesystem;

// Writes ~98,000 records and 6,700 random-walk templates of 1 to 30 strokes.
fs::path writeSyntheticData() {
    const fs::path dir = fs::temp_directory_path() / "sumiro-bench-data";
    fs::create_directories(dir);
    std::mt19937 random(7);
    {
        std::ofstream out(dir / "characters.json");
        out << '[';
        for (int i = 0; i < 98000; ++i) {
            const int cp = i < 20000 ? 0x4E00 + i : 0x20000 + i;
            std::string utf8;
            if (cp < 0x10000) {
                utf8 = {static_cast<char>(0xE0 | (cp >> 12)),
                        static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                        static_cast<char>(0x80 | (cp & 0x3F))};
            } else {
                utf8 = {static_cast<char>(0xF0 | (cp >> 18)),
                        static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
                        static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                        static_cast<char>(0x80 | (cp & 0x3F))};
            }
            out << (i ? "," : "") << R"({"character":")" << utf8 << R"(","count":)" << 1 + i % 30
                << R"(,"radicals":[)" << 1 + i % 214 << R"(],"reading":"ボク き","common":)"
                << (i % 7 == 0 ? "true" : "false") << R"(,"japanese":)"
                << (i % 3 ? "true" : "false") << '}';
        }
        out << ']';
    }
    std::ofstream out(dir / "templates.json");
    std::normal_distribution<double> strokes(11, 4);
    std::uniform_real_distribution<double> coordinate(0, 109);
    std::uniform_int_distribution<int> points(8, 30);
    out << '[';
    for (int t = 0; t < 6700; ++t) {
        const int m = std::clamp(static_cast<int>(strokes(random)), 1, 30);
        out << (t ? "," : "") << R"({"character":"x)" << t << R"(","strokes":[)";
        for (int s = 0; s < m; ++s) {
            out << (s ? "," : "") << '[';
            double x = coordinate(random);
            double y = coordinate(random);
            const int n = points(random);
            for (int p = 0; p < n; ++p) {
                x = std::clamp(x + coordinate(random) / 20 - 2.7, 0.0, 109.0);
                y = std::clamp(y + coordinate(random) / 20 - 2.7, 0.0, 109.0);
                out << (p ? "," : "") << '[' << x << ',' << y << ']';
            }
            out << ']';
        }
        out << "]}";
    }
    out << ']';
    return dir;
}

fs::path dataDirectory() {
    static const fs::path dir = [] {
        const fs::path built(SUMIRO_RESOURCE_DIR);
        if (fs::exists(built / "characters.json") && fs::exists(built / "templates.json")) {
            std::fprintf(stderr, "data: %s\n", built.c_str());
            return built;
        }
        std::fprintf(stderr, "data: synthetic (no built data in %s)\n", built.c_str());
        return writeSyntheticData();
    }();
    return dir;
}

// SUMIRO_BENCH_NO_JOINS=1 measures the templates alone, never joined.
const CharacterDatabase& database() {
    static const auto db = [] {
        if (std::getenv("SUMIRO_BENCH_NO_JOINS") == nullptr) {
            return std::make_unique<CharacterDatabase>(dataDirectory());
        }
        std::fprintf(stderr, "templates never joined\n");
        return std::make_unique<CharacterDatabase>(
            loadCharacters(dataDirectory() / "characters.json"),
            decodeTemplates(readDataFile(dataDirectory() / "templates.json"), "templates.json"),
            kNoJoins);
    }();
    return *db;
}

// A drawn-looking ink: a template of the wanted stroke count, rotated, sheared and jittered
// in a 300-point canvas, with many points per stroke as a mouse gives.
Ink drawnInk(std::size_t strokeCount, unsigned seed) {
    const auto& templates = database().templates();
    std::mt19937 random(seed);
    std::size_t start = random() % templates.size();
    for (std::size_t k = 0; k < templates.size(); ++k) {
        const InkTemplate& t = templates[(start + k) % templates.size()];
        if (t.strokes.size() != strokeCount) {
            continue;
        }
        std::normal_distribution<double> jitter(0, 0.6);
        const double angle = 0.05;
        const double shear = 0.08;
        Ink ink;
        for (const Stroke& stroke : t.strokes) {
            Stroke drawn;
            for (std::size_t i = 0; i + 1 < stroke.size(); ++i) {
                for (int sub = 0; sub < 3; ++sub) {
                    const double f = sub / 3.0;
                    const double x = stroke[i].x + (stroke[i + 1].x - stroke[i].x) * f;
                    const double y = stroke[i].y + (stroke[i + 1].y - stroke[i].y) * f;
                    const double rx = std::cos(angle) * x - std::sin(angle) * y + shear * y;
                    const double ry = std::sin(angle) * x + std::cos(angle) * y;
                    drawn.push_back(
                        {150 + 250 * rx + jitter(random), 150 + 250 * ry + jitter(random)});
                }
            }
            drawn.push_back({150 + 250 * stroke.back().x, 150 + 250 * stroke.back().y});
            ink.push_back(std::move(drawn));
        }
        return ink;
    }
    throw std::runtime_error("no template with " + std::to_string(strokeCount) + " strokes");
}

void BM_Load(benchmark::State& state) {
    const fs::path dir = dataDirectory();
    const JoinPolicy& joins = std::getenv("SUMIRO_BENCH_NO_JOINS") ? kNoJoins : kJoinPolicy;
    for (auto _ : state) {
        CharacterDatabase db(dir, joins);
        benchmark::DoNotOptimize(db.fileTemplates());
    }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The two halves of BM_Load that run side by side: the slower one bounds the load.
void BM_DecodeInventory(benchmark::State& state) {
    const fs::path file = dataDirectory() / "characters.json";
    for (auto _ : state) {
        benchmark::DoNotOptimize(loadCharacters(file).data());
    }
}
BENCHMARK(BM_DecodeInventory)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_DecodeTemplates(benchmark::State& state) {
    const fs::path file = dataDirectory() / "templates.json";
    for (auto _ : state) {
        std::vector<InkTemplate> templates;
        loadTemplates(file, [&](RawTemplate& raw) {
            templates.push_back({std::move(raw.character), normalized(raw.strokes)});
        });
        benchmark::DoNotOptimize(templates.data());
    }
}
BENCHMARK(BM_DecodeTemplates)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Normalized(benchmark::State& state) {
    const Ink ink = drawnInk(static_cast<std::size_t>(state.range(0)), 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(normalized(ink));
    }
}
BENCHMARK(BM_Normalized)->Arg(10)->Unit(benchmark::kMicrosecond);

void BM_Recognize(benchmark::State& state) {
    const auto strokes = static_cast<std::size_t>(state.range(0));
    std::vector<Ink> inks;
    for (unsigned seed = 0; seed < 8; ++seed) {
        inks.push_back(drawnInk(strokes, seed));
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(database().recognize(inks[i++ % inks.size()]));
    }
}
BENCHMARK(BM_Recognize)->Arg(1)->Arg(4)->Arg(10)->Arg(20)->Unit(benchmark::kMillisecond);

// Seeded drawings of random templates of `lowest` to `highest` strokes: rotated, sheared,
// jittered, one stroke backwards and two strokes swapped.
std::vector<Ink> bucketInks(std::size_t lowest, std::size_t highest, std::size_t count) {
    std::vector<const InkTemplate*> models;
    for (const InkTemplate& t : database().templates()) {
        if (t.strokes.size() >= lowest && t.strokes.size() <= highest) {
            models.push_back(&t);
        }
    }
    std::mt19937 random(static_cast<unsigned>(lowest * 100 + highest));
    std::vector<Ink> inks;
    for (std::size_t k = 0; k < count && !models.empty(); ++k) {
        inks.push_back(distortedInk(models[random() % models.size()]->strokes, random));
    }
    return inks;
}

// Median and 95th percentile of single recognitions over a bucket of stroke counts, for the
// optimized recognizer (arg 0) and the plain one (arg 1), reported as counters in ms.
// Another process that keeps one core busy for as long as this lives, as a compiler or a
// video would: the recognizer's helper thread then often waits for the scheduler.
class BusyCore {
public:
    BusyCore() : pid_(::fork()) {
        if (pid_ == 0) {
            volatile unsigned long spin = 0;
            for (;;) {
                spin = spin + 1;
            }
        }
    }
    ~BusyCore() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    BusyCore(const BusyCore&) = delete;
    BusyCore& operator=(const BusyCore&) = delete;

private:
    pid_t pid_;
};

void BM_RecognizeBucket(benchmark::State& state) {
    const bool plain = state.range(0) != 0;
    const auto lowest = static_cast<std::size_t>(state.range(1));
    const auto highest = static_cast<std::size_t>(state.range(2));
    const std::vector<Ink> inks = bucketInks(lowest, highest, plain ? 80 : 400);
    if (inks.empty()) {
        state.SkipWithError("no templates in this stroke-count range");
        return;
    }
    std::optional<BusyCore> busy;
    if (state.range(3) != 0) {
        busy.emplace();
    }
    std::vector<double> times;
    // Processor time of both threads together: on a busy machine the wall clock also counts
    // waiting for a core, this does not (and it bounds the wall time on an idle one).
    std::vector<double> processorTimes;
    const auto processorMs = [] {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    std::size_t k = 0;
    for (auto _ : state) {
        const Ink& ink = inks[k++ % inks.size()];
        const double processorStart = processorMs();
        const auto start = std::chrono::steady_clock::now();
        auto result = plain ? plainRecognize(database(), ink) : database().recognize(ink);
        const auto stop = std::chrono::steady_clock::now();
        processorTimes.push_back(processorMs() - processorStart);
        benchmark::DoNotOptimize(result);
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    const auto at = [](std::vector<double>& sample, double q) {
        std::sort(sample.begin(), sample.end());
        return sample[std::min(sample.size() - 1, static_cast<std::size_t>(q * sample.size()))];
    };
    state.counters["median_ms"] = at(times, 0.5);
    state.counters["p95_ms"] = at(times, 0.95);
    state.counters["cpu_median_ms"] = at(processorTimes, 0.5);
    state.counters["cpu_p95_ms"] = at(processorTimes, 0.95);
    state.SetLabel(plain ? "plain" : "fast");
}
void bucketArgs(benchmark::internal::Benchmark* b, int plain) {
    b->ArgNames({"plain", "from", "to", "busy"});
    for (const auto& [from, to] : {std::pair{1, 4}, {5, 8}, {9, 12}, {13, 20}, {1, 20}}) {
        b->Args({plain, from, to, 0});
    }
    // The same inks while another process keeps one core busy.
    if (plain == 0) {
        b->Args({plain, 1, 20, 1});
    }
    // The plain recognizer takes tens of milliseconds: fewer samples keep the run short.
    b->Iterations(plain != 0 ? 80 : 400)->Unit(benchmark::kMillisecond);
}
BENCHMARK(BM_RecognizeBucket)->Apply([](auto* b) { bucketArgs(b, 0); });
BENCHMARK(BM_RecognizeBucket)->Apply([](auto* b) { bucketArgs(b, 1); });

void BM_SearchByCount(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(database().search(4, std::nullopt));
    }
}
BENCHMARK(BM_SearchByCount)->Unit(benchmark::kMillisecond);

void BM_SearchByRadical(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(database().search(std::nullopt, 75, false));
    }
}
BENCHMARK(BM_SearchByRadical)->Unit(benchmark::kMillisecond);

void BM_Detail(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(database().detail("木"));
    }
}
BENCHMARK(BM_Detail)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace sumiro

BENCHMARK_MAIN();
