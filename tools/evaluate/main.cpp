// sumiro-evaluate: measures recognition of ordinary and of connected writing under joining
// policies, on drawings it generates (see EvaluationInks.h for the two models).
//
// Usage: sumiro-evaluate [--resources DIR] [--kanjivg DIR] [--hanzi-writer DIR]
//                        [--model writer|test|tune] [--half odd|even] [--seed N] [--ordinary N]
//                        [--policy P]... [--write-inks FILE] [--show-losses] [--joins-only]
//   --model    writer (default): drawings from Make Me a Hanzi's stroke medians with the faults
//              of real writers, of the common characters whose template has as many strokes;
//              test: from KanjiVG's SVG paths, every character; tune: from templates.json.
//   --half     characters with odd (the default of writer and test) or even (tune's default)
//              code points, so that tuning and testing never share a character; tuning on the
//              writer model is --model writer --half even.
//   --ordinary ordinary drawings per character (default 4 for writer, else 2); the writer
//              model also draws each character once with a stroke left out and once with a
//              stroke split in two. Every common character with two strokes or more is also
//              drawn with 1, 2 and 3 pairs joined (as many as it has pairs).
//   --policy   "none", "shipped" or GAP,JOINS,MINSTROKES[,INTOONE,MARK] (JoinPolicy's
//              fields), optionally followed by /PERJOIN[,JOINING], the cost of a join and
//              what joining at all adds once (JoinPolicy); may be repeated;
//              default: none, then shipped.
//   --write-inks  also writes the drawings as JSON Lines for sumiro-recognize, with "id"
//              ("ordinary-N" or "joinedK-N"), "character" and "strokes".
//   --joins-only counts which joined drawings the policy allows the joins of, without
//              recognizing anything.
//   --show-losses lists the ordinary drawings that the first policy ranks first and a later
//              one does not (and whether they left the first ten).
//   --threads  recognizes on this many threads at once (default 1; times are then less clean).
// For each policy: the templates, the load time, and for each set the share of drawings whose
// character is first and among the first ten distinct characters (and, for ordinary writing,
// among the first ten listed), with the median and 95th percentile of the recognition time.
// Last, the small kana drawn small and their full-size twins drawn full size in a 300-point
// square (KanjiVG's paths, the test model's distortions, all of them whatever --half says):
// the share ranked first when the square is given, and without it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "engine/Candidates.h"
#include "engine/CharacterDatabase.h"
#include "engine/DataDecoding.h"
#include "engine/InkReading.h"
#include "engine/JoinedStrokes.h"
#include "engine/ResourceDirectory.h"
#include "engine/tests/DistortedInk.h"
#include "tools/JsonString.h"
#include "tools/databuild/DataBuilder.h"
#include "tools/databuild/InputFile.h"
#include "tools/databuild/KanjiVg.h"
#include "tools/databuild/SvgPath.h"
#include "tools/evaluate/EvaluationInks.h"

namespace fs = std::filesystem;
using namespace sumiro;
using namespace sumiro::evaluation;

namespace {

enum class Model { writer, test, tune };

struct Options {
    fs::path resources;
    fs::path kanjivg = SUMIRO_KANJIVG_DIR;
    fs::path hanziWriter = SUMIRO_HANZI_WRITER_DIR;
    Model model = Model::writer;
    std::optional<bool> odd;
    unsigned seed = 1;
    std::optional<int> ordinary;
    std::vector<std::pair<std::string, JoinPolicy>> policies;
    fs::path inksFile;
    bool showLosses = false;
    bool joinsOnly = false;
    std::size_t threads = 1;
};

struct Drawing {
    std::string id;
    std::string character;
    std::size_t joins = 0;
    std::vector<std::size_t> pairs;  // the joined pairs
    WriterFault fault = WriterFault::none;
    Ink ink;
};

[[noreturn]] void usage(const std::string& problem) {
    throw std::invalid_argument(problem +
                                " (see the comment at the top of tools/evaluate/main.cpp)");
}

std::pair<std::string, JoinPolicy> parsePolicy(const std::string& text) {
    // The costs, after a slash, replace those of the policy before it (those left out: none).
    const std::size_t slash = text.find('/');
    const std::string base = text.substr(0, slash);
    JoinPolicy policy;
    if (base == "none") {
        policy = kNoJoins;
    } else if (base == "shipped") {
        policy = kJoinPolicy;
    } else {
        unsigned long joins = 0;
        unsigned long minStrokes = 0;
        unsigned long intoOne = 0;
        const int fields = std::sscanf(base.c_str(), "%lf,%lu,%lu,%lu,%lf", &policy.maxGap, &joins,
                                       &minStrokes, &intoOne, &policy.maxMarkLength);
        if (fields != 3 && fields != 5) {
            usage("bad policy \"" + text + "\"");
        }
        policy.maxJoins = joins;
        policy.minStrokes = minStrokes;
        if (fields == 5) {
            policy.maxStrokesIntoOne = intoOne;
        }
    }
    if (slash != std::string::npos) {
        policy.costOfJoining = 0.0;
        const char* costs = text.c_str() + slash + 1;
        if (std::sscanf(costs, "%lf,%lf", &policy.costPerJoin, &policy.costOfJoining) < 1) {
            usage("bad cost in policy \"" + text + "\"");
        }
    }
    return {text, policy};
}

Options parseArguments(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--show-losses") {
            options.showLosses = true;
            continue;
        }
        if (arg == "--joins-only") {
            options.joinsOnly = true;
            continue;
        }
        if (i + 1 >= argc) {
            usage(arg + " needs a value");
        }
        const std::string value = argv[++i];
        if (arg == "--resources") {
            options.resources = value;
        } else if (arg == "--kanjivg") {
            options.kanjivg = value;
        } else if (arg == "--hanzi-writer") {
            options.hanziWriter = value;
        } else if (arg == "--model" && (value == "writer" || value == "test" || value == "tune")) {
            options.model = value == "writer" ? Model::writer
                            : value == "test" ? Model::test
                                              : Model::tune;
        } else if (arg == "--half" && (value == "odd" || value == "even")) {
            options.odd = value == "odd";
        } else if (arg == "--seed") {
            options.seed = static_cast<unsigned>(std::stoul(value));
        } else if (arg == "--ordinary") {
            options.ordinary = std::stoi(value);
        } else if (arg == "--policy") {
            options.policies.push_back(parsePolicy(value));
        } else if (arg == "--threads") {
            options.threads = std::max(1ul, std::stoul(value));
        } else if (arg == "--write-inks") {
            options.inksFile = value;
        } else {
            usage("unknown argument " + arg + " " + value);
        }
    }
    if (options.resources.empty()) {
        options.resources = defaultResourceDirectory(runningExecutable());
    }
    if (!options.odd) {
        options.odd = options.model != Model::tune;
    }
    if (!options.ordinary) {
        options.ordinary = options.model == Model::writer ? 4 : 2;
    }
    if (options.policies.empty()) {
        options.policies = {parsePolicy("none"), parsePolicy("shipped")};
    }
    return options;
}

char32_t firstCodePoint(const std::string& utf8) {
    const auto byte = [&](std::size_t i) {
        return i < utf8.size() ? static_cast<char32_t>(static_cast<unsigned char>(utf8[i])) : 0;
    };
    const char32_t lead = byte(0);
    if (lead < 0x80) return lead;
    if (lead < 0xE0) return ((lead & 0x1F) << 6) | (byte(1) & 0x3F);
    if (lead < 0xF0) return ((lead & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    return ((lead & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
           (byte(3) & 0x3F);
}

// Make Me a Hanzi's stroke medians of `character` (its 1024-unit box, y upward, baseline at
// 900) in KanjiVG's 109-unit box with y downward; empty when the data has no such character.
Ink medians(const fs::path& directory, const std::string& character) {
    const fs::path file = directory / (character + ".json");
    if (!fs::exists(file)) {
        return {};
    }
    simdjson::padded_string json;
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document;
    simdjson::ondemand::value strokes;
    if (simdjson::padded_string::load(file.string()).get(json) ||
        parser.iterate(json).get(document) || document["medians"].get(strokes)) {
        throw std::runtime_error(file.string() + ": cannot read its \"medians\"");
    }
    Ink ink;
    readInkJson(strokes, ink, [&](simdjson::error_code, std::string_view message) {
        throw std::runtime_error(file.string() + ": \"medians\": " + std::string(message));
    });
    for (Stroke& stroke : ink) {
        for (InkPoint& p : stroke) {
            p = {p.x * 109.0 / 1024.0, (900.0 - p.y) * 109.0 / 1024.0};
        }
    }
    return ink;
}

// The model of each character of the chosen half: the template's points, KanjiVG's paths
// sampled densely, or Make Me a Hanzi's stroke medians.
std::map<std::string, Ink> models(const Options& options, const CharacterDatabase& plain) {
    std::map<std::string, Ink> out;
    const auto inHalf = [&](char32_t c) { return (c % 2 == 1) == *options.odd; };
    if (options.model != Model::test) {
        const std::string json = readDataFile(options.resources / "templates.json");
        std::size_t differing = 0;
        for (RawTemplate& t : decodeTemplates(json, "templates.json")) {
            if (!inHalf(firstCodePoint(t.character)) || out.contains(t.character)) {
                continue;
            }
            if (options.model == Model::tune) {
                out.emplace(t.character, std::move(t.strokes));
                continue;
            }
            // Only the characters people write fast, in the same form: a stroke count of its
            // own marks a form other than the Japanese one (Chinese forms differ in places).
            const CharacterEntry* entry = plain.byCharacter(t.character);
            if (entry == nullptr || !entry->common) {
                continue;
            }
            Ink ink = medians(options.hanziWriter, t.character);
            if (ink.empty()) {
                continue;
            }
            if (ink.size() != t.strokes.size()) {
                ++differing;
                continue;
            }
            out.emplace(t.character, std::move(ink));
        }
        if (options.model == Model::writer) {
            std::printf(
                "writer model: %zu characters; %zu left out for a stroke count of their "
                "own\n",
                out.size(), differing);
        }
        return out;
    }
    for (const databuild::KanjiVgFile& file : databuild::kanjiVgBaseFiles(options.kanjivg)) {
        if (!inHalf(file.codePoint)) {
            continue;
        }
        Ink paths;
        for (const std::string& data :
             databuild::svgPathData(databuild::readInputFile(file.path), file.path.string())) {
            const databuild::SvgPath path = databuild::SvgPath::parse(data);
            const int count = std::clamp(static_cast<int>(path.length() / 0.5), 8, 400);
            Stroke stroke;
            for (const databuild::PathPoint& p : path.sampleEvenly(count)) {
                stroke.push_back({p.x, p.y});
            }
            paths.push_back(std::move(stroke));
        }
        out.emplace(databuild::toUtf8(file.codePoint), std::move(paths));
    }
    return out;
}

// A model in KanjiVG's 109-unit box moved to normalized coordinates, about one unit across.
Ink inUnitBox(Ink model) {
    for (Stroke& stroke : model) {
        for (InkPoint& p : stroke) {
            p = {p.x / 109 - 0.5, p.y / 109 - 0.5};
        }
    }
    return model;
}

std::vector<Drawing> drawings(const Options& options, const std::map<std::string, Ink>& models,
                              const CharacterDatabase& plain) {
    std::vector<Drawing> out;
    unsigned index = 0;
    const auto draw = [&](const std::string& character, const Ink& model, std::size_t joins,
                          WriterFault fault = WriterFault::none) {
        std::mt19937 random(options.seed * 1000003u + index++);
        const std::vector<std::size_t> pairs = pickJoins(model, joins, random);
        Drawing d;
        d.id = (fault == WriterFault::strokeFewer  ? std::string("fewer")
                : fault == WriterFault::strokeMore ? std::string("more")
                : joins == 0                       ? std::string("ordinary")
                                                   : "joined" + std::to_string(joins)) +
               "-" + std::to_string(out.size());
        d.character = character;
        d.joins = pairs.size();
        d.pairs = pairs;
        d.fault = fault;
        switch (options.model) {
            case Model::writer:
                d.ink = writerDrawing(model, pairs, fault, random);
                break;
            case Model::test:
                d.ink = testDrawing(model, pairs, random);
                break;
            case Model::tune:
                // Straight pen paths: the joined points simply follow each other.
                d.ink = distortedInk(inUnitBox(joinStrokes(model, pairs)), random, pairs.empty());
                break;
        }
        out.push_back(std::move(d));
    };
    for (const auto& [character, model] : models) {
        for (int k = 0; k < *options.ordinary; ++k) {
            draw(character, model, 0);
        }
        if (options.model == Model::writer && model.size() > 1) {
            draw(character, model, 0, WriterFault::strokeFewer);
            draw(character, model, 0, WriterFault::strokeMore);
        }
        const CharacterEntry* entry = plain.byCharacter(character);
        if (entry == nullptr || !entry->common) {
            continue;
        }
        for (std::size_t joins = 1; joins <= 3 && joins < model.size(); ++joins) {
            draw(character, model, joins);
        }
    }
    return out;
}

void writeInks(const fs::path& file, const std::vector<Drawing>& all) {
    std::ofstream out(file);
    for (const Drawing& d : all) {
        std::string line = "{\"id\": " + jsonString(d.id) +
                           ", \"character\": " + jsonString(d.character) + ", \"strokes\": [";
        for (std::size_t s = 0; s < d.ink.size(); ++s) {
            line += s ? ", [" : "[";
            for (std::size_t p = 0; p < d.ink[s].size(); ++p) {
                char point[64];
                std::snprintf(point, sizeof point, "%s[%.1f, %.1f]", p ? ", " : "", d.ink[s][p].x,
                              d.ink[s][p].y);
                line += point;
            }
            line += "]";
        }
        out << line << "]}\n";
    }
    if (!out) {
        throw std::runtime_error(file.string() + ": cannot write");
    }
}

struct Tally {
    std::size_t count = 0, first = 0, tenDistinct = 0, tenListed = 0, covered = 0;
    std::vector<double> ms;

    void add(bool isFirst, bool inTen, bool listed, double time, bool allowed = false) {
        ++count;
        first += isFirst;
        tenDistinct += inTen;
        tenListed += listed;
        covered += allowed;
        ms.push_back(time);
    }
    void print(const std::string& name, bool listed) {
        if (count == 0) {
            return;
        }
        std::sort(ms.begin(), ms.end());
        const auto share = [&](std::size_t n) { return 100.0 * n / count; };
        std::printf("  %-10s %5zu drawings  first %6.2f%%  first ten distinct %6.2f%%",
                    name.c_str(), count, share(first), share(tenDistinct));
        if (listed) {
            std::printf("  first ten listed %6.2f%%", share(tenListed));
        } else {
            std::printf("  its joins allowed %6.2f%%", share(covered));
        }
        std::printf("  median %.2f ms  p95 %.2f ms\n", ms[ms.size() / 2],
                    ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]);
    }
};

// Connected writing mostly joins one pair, less often two or three: the joined drawings are
// drawn in equal numbers for each count and weighted by the shares of the engine's model.

void printMix(const Tally (&byJoins)[4]) {
    double first = 0;
    double ten = 0;
    std::size_t count = 0;
    for (int j = 1; j <= 3; ++j) {
        if (byJoins[j].count == 0) {
            return;
        }
        first += kJoinShares[j - 1] * 100.0 * byJoins[j].first / byJoins[j].count;
        ten += kJoinShares[j - 1] * 100.0 * byJoins[j].tenDistinct / byJoins[j].count;
        count += byJoins[j].count;
    }
    std::printf(
        "  %-10s %5zu drawings  first %6.2f%%  first ten distinct %6.2f%%  (60/25/15 mix)\n",
        "joined", count, first, ten);
}

// Kana drawn at a hand's sizes in a 300-point square: the small kana (ぁ, ッ, …) small, at 30%
// to 50% of its side, and their full-size twins full size, at 60% to 90%, anywhere in it.
struct SizedKana {
    std::string character;
    bool small = false;
    Ink ink;
};

std::vector<SizedKana> sizedKana(const Options& options) {
    static constexpr std::pair<char32_t, char32_t> kTwins[] = {
        {U'ぁ', U'あ'}, {U'ぃ', U'い'}, {U'ぅ', U'う'}, {U'ぇ', U'え'}, {U'ぉ', U'お'},
        {U'っ', U'つ'}, {U'ゃ', U'や'}, {U'ゅ', U'ゆ'}, {U'ょ', U'よ'}, {U'ゎ', U'わ'},
        {U'ゕ', U'か'}, {U'ゖ', U'け'}, {U'ァ', U'ア'}, {U'ィ', U'イ'}, {U'ゥ', U'ウ'},
        {U'ェ', U'エ'}, {U'ォ', U'オ'}, {U'ッ', U'ツ'}, {U'ャ', U'ヤ'}, {U'ュ', U'ユ'},
        {U'ョ', U'ヨ'}, {U'ヮ', U'ワ'}, {U'ヵ', U'カ'}, {U'ヶ', U'ケ'}};
    std::map<char32_t, bool> wanted;
    for (const auto& [small, full] : kTwins) {
        wanted[small] = true;
        wanted[full] = false;
    }
    std::vector<SizedKana> out;
    unsigned index = 0;
    for (const databuild::KanjiVgFile& file : databuild::kanjiVgBaseFiles(options.kanjivg)) {
        const auto found = wanted.find(file.codePoint);
        if (found == wanted.end()) {
            continue;
        }
        Ink paths;
        for (const std::string& data :
             databuild::svgPathData(databuild::readInputFile(file.path), file.path.string())) {
            const databuild::SvgPath path = databuild::SvgPath::parse(data);
            Stroke stroke;
            for (const databuild::PathPoint& p :
                 path.sampleEvenly(std::clamp(static_cast<int>(path.length() / 0.5), 8, 400))) {
                stroke.push_back({p.x, p.y});
            }
            paths.push_back(std::move(stroke));
        }
        for (int k = 0; k < 10; ++k) {
            std::mt19937 random(options.seed * 7919u + index++);
            std::uniform_real_distribution<double> unit(0.0, 1.0);
            SizedKana drawn{databuild::toUtf8(file.codePoint), found->second,
                            testDrawing(paths, {}, random)};
            double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
            for (const Stroke& stroke : drawn.ink) {
                for (const InkPoint& p : stroke) {
                    minX = std::min(minX, p.x);
                    maxX = std::max(maxX, p.x);
                    minY = std::min(minY, p.y);
                    maxY = std::max(maxY, p.y);
                }
            }
            const double size =
                300 * (drawn.small ? 0.3 + 0.2 * unit(random) : 0.6 + 0.3 * unit(random));
            const double scale = size / std::max(maxX - minX, maxY - minY);
            const double left = (300 - (maxX - minX) * scale) * unit(random);
            const double top = (300 - (maxY - minY) * scale) * unit(random);
            for (Stroke& stroke : drawn.ink) {
                for (InkPoint& p : stroke) {
                    p = {left + (p.x - minX) * scale, top + (p.y - minY) * scale};
                }
            }
            out.push_back(std::move(drawn));
        }
    }
    return out;
}

// The share of the sized kana ranked first, with the square given and without it.
void printSizedKana(const CharacterDatabase& db, const std::vector<SizedKana>& kana,
                    bool showLosses) {
    for (const bool small : {true, false}) {
        std::size_t count = 0, withBox = 0, without = 0;
        for (const SizedKana& k : kana) {
            if (k.small != small) {
                continue;
            }
            ++count;
            const auto first = [&](const std::vector<std::string>& listed) {
                return !listed.empty() && distinctCandidates(listed).front() == k.character;
            };
            const std::vector<std::string> listed =
                db.recognize(k.ink, CharacterDatabase::kDefaultLimit, WritingArea{300, 300});
            withBox += first(listed);
            without += first(db.recognize(k.ink));
            if (showLosses && !first(listed)) {
                const std::vector<std::string> distinct = distinctCandidates(listed);
                std::string shown;
                for (std::size_t r = 0; r < std::min<std::size_t>(3, distinct.size()); ++r) {
                    shown += distinct[r];
                }
                std::printf("    lost %s drawn %s to %s\n", k.character.c_str(),
                            small ? "small" : "full size", shown.c_str());
            }
        }
        if (count != 0) {
            std::printf(
                "  %-10s %5zu drawings  first %6.2f%% in their square, %6.2f%% without it\n",
                small ? "small kana" : "full kana", count, 100.0 * withBox / count,
                100.0 * without / count);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parseArguments(argc, argv);
        const std::vector<CharacterEntry> entries =
            loadCharacters(options.resources / "characters.json");
        const std::vector<RawTemplate> raw =
            decodeTemplates(readDataFile(options.resources / "templates.json"), "templates.json");
        const CharacterDatabase plain(entries, raw, kNoJoins);
        const std::vector<Drawing> all = drawings(options, models(options, plain), plain);
        std::printf("%s model, %s code points, seed %u: %zu drawings\n",
                    options.model == Model::writer ? "writer"
                    : options.model == Model::test ? "test"
                                                   : "tuning",
                    *options.odd ? "odd" : "even", options.seed, all.size());
        if (!options.inksFile.empty()) {
            writeInks(options.inksFile, all);
        }
        const std::vector<SizedKana> kana = sizedKana(options);
        std::vector<char> firstWasRight(all.size(), 0);
        for (std::size_t p = 0; p < options.policies.size(); ++p) {
            const auto& [name, policy] = options.policies[p];
            using Clock = std::chrono::steady_clock;
            const auto loadStart = Clock::now();
            const CharacterDatabase db(entries, raw, policy);
            const double loadMs =
                std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
            std::printf("policy %s: %zu templates, built in %.0f ms\n", name.c_str(),
                        db.fileTemplates(), loadMs);
            struct Outcome {
                bool right = false, inTen = false, listed = false;
                double ms = 0;
                std::string shown;  // the first three distinct candidates
            };
            std::vector<Outcome> outcomes(all.size());
            const auto recognizeShare = [&](std::size_t share) {
                for (std::size_t k = share; k < all.size(); k += options.threads) {
                    const Drawing& d = all[k];
                    const auto start = Clock::now();
                    const std::vector<std::string> listed = db.recognize(d.ink);
                    Outcome& o = outcomes[k];
                    o.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                    const std::vector<std::string> distinct = distinctCandidates(listed);
                    const auto within = [&](const std::vector<std::string>& list, std::size_t n) {
                        const auto end =
                            list.begin() + static_cast<std::ptrdiff_t>(std::min(n, list.size()));
                        return std::find(list.begin(), end, d.character) != end;
                    };
                    o.right = within(distinct, 1);
                    o.inTen = within(distinct, 10);
                    o.listed = within(listed, 10);
                    for (std::size_t r = 0; r < std::min<std::size_t>(3, distinct.size()); ++r) {
                        o.shown += distinct[r];
                    }
                }
            };
            {
                std::vector<std::jthread> workers;
                for (std::size_t share = 1; share < options.threads && !options.joinsOnly;
                     ++share) {
                    workers.emplace_back(recognizeShare, share);
                }
                if (!options.joinsOnly) {
                    recognizeShare(0);
                }
            }
            // Whether the policy allows the drawing's joins in the character's template (when
            // the drawing's source has the template's stroke order).
            std::map<std::string, Joinability> joinable;
            for (const RawTemplate& t : raw) {
                if (!joinable.contains(t.character)) {
                    joinable.emplace(t.character, joinability(t.strokes, policy));
                }
            }
            const auto allowed = [&](const Drawing& d) {
                const Joinability& j = joinable[d.character];
                return d.pairs.size() <= j.maxJoins &&
                       std::ranges::all_of(d.pairs,
                                           [&](std::size_t p) { return (j.pairs >> p & 1) != 0; });
            };
            Tally ordinary;
            Tally fewer;
            Tally more;
            Tally byJoins[4];
            for (std::size_t k = 0; k < all.size(); ++k) {
                const Drawing& d = all[k];
                const Outcome& o = outcomes[k];
                (d.fault == WriterFault::strokeFewer  ? fewer
                 : d.fault == WriterFault::strokeMore ? more
                 : d.joins == 0                       ? ordinary
                                                      : byJoins[d.joins])
                    .add(o.right, o.inTen, o.listed, o.ms, d.joins != 0 && allowed(d));
                if (d.joins != 0 || d.fault != WriterFault::none) {
                    continue;
                }
                if (p == 0) {
                    firstWasRight[k] = static_cast<char>(o.right + 2 * o.inTen);
                } else if (options.showLosses && (((firstWasRight[k] & 1) != 0 && !o.right) ||
                                                  ((firstWasRight[k] & 2) != 0 && !o.inTen))) {
                    std::printf("    lost %s (%zu strokes) to %s%s\n", d.character.c_str(),
                                d.ink.size(), o.shown.c_str(),
                                (firstWasRight[k] & 2) != 0 && !o.inTen ? ", out of the ten" : "");
                }
            }
            ordinary.print("ordinary", true);
            fewer.print("1 fewer", true);
            more.print("1 more", true);
            printMix(byJoins);
            for (int j = 1; j <= 3; ++j) {
                byJoins[j].print(std::to_string(j) + (j == 1 ? " join" : " joins"), false);
            }
            if (!options.joinsOnly) {
                printSizedKana(db, kana, options.showLosses);
            }
            std::fflush(stdout);
        }
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "sumiro-evaluate: error: " << error.what() << '\n';
        return 1;
    }
}
