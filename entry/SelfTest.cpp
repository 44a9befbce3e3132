#include "entry/SelfTest.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <exception>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/CharacterDatabase.h"
#include "engine/Text.h"

namespace sumiro {

namespace {

// Hand-drawn samples in a 100 x 100 box, y downward.
const Ink kTree = {{{20, 40}, {85, 40}},
                   {{53, 12}, {53, 92}},
                   {{52, 40}, {35, 63}, {13, 83}},
                   {{53, 40}, {70, 63}, {93, 82}}};
const Ink kTen = {{{10, 50}, {90, 50}}, {{50, 10}, {50, 90}}};
const Ink kPerson = {{{55, 10}, {48, 52}, {10, 90}}, {{50, 40}, {70, 70}, {90, 90}}};
const Ink kMouth = {{{20, 20}, {20, 85}}, {{20, 20}, {80, 20}, {80, 85}}, {{20, 85}, {80, 85}}};

class Harness {
public:
    explicit Harness(std::ostream& out) : out_(out) {}

    void check(bool ok, std::string_view name) {
        out_ << (ok ? "PASS " : "FAIL ") << name << '\n';
        if (!ok) {
            failures_.emplace_back(name);
        }
    }
    std::size_t failures() const { return failures_.size(); }

private:
    std::ostream& out_;
    std::vector<std::string> failures_;
};

bool contains(const std::vector<std::string>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

std::vector<std::string> topTen(std::vector<std::string> candidates) {
    candidates.resize(std::min<std::size_t>(candidates.size(), 10));
    return candidates;
}

Ink reversedStrokesBackwards(const Ink& ink) {
    Ink out;
    for (auto stroke = ink.rbegin(); stroke != ink.rend(); ++stroke) {
        out.emplace_back(stroke->rbegin(), stroke->rend());
    }
    return out;
}

Ink movedAndScaled(Ink ink) {
    for (Stroke& stroke : ink) {
        for (InkPoint& p : stroke) {
            p = {p.x / 500 + 0.4, p.y / 500 + 0.3};
        }
    }
    return ink;
}

void runChecks(const CharacterDatabase& db, Harness& harness, const SecondsClock& clock) {
    harness.check(db.entries().size() > 90000, "Unihan character inventory");
    harness.check(db.fileTemplates() > 6000, "Offline handwriting inventory");
    harness.check(contains(db.search(4, std::nullopt), "木"), "4-stroke 木 lookup");
    harness.check(contains(db.search(std::nullopt, 75), "林"), "木 radical 林 lookup");
    const CharacterEntry* tree = db.byCharacter("木");
    harness.check(tree != nullptr && tree->reading.find("き") != std::string::npos,
                  "Japanese reading");

    const std::pair<std::string_view, const Ink*> samples[] = {
        {"木", &kTree}, {"十", &kTen}, {"人", &kPerson}, {"口", &kMouth}};
    for (const auto& [character, ink] : samples) {
        const double start = clock();
        const auto top = topTen(db.recognize(*ink));
        std::string name = "Hand-drawn ";
        name += character;
        name += " top10: ";
        for (const std::string& candidate : top) {
            name += candidate;
        }
        name += ' ';
        const auto ms = static_cast<long long>(std::trunc((clock() - start) * 1000));
        name += std::to_string(ms) + "ms";
        harness.check(contains(top, character), name);
    }

    harness.check(contains(topTen(db.recognize(reversedStrokesBackwards(kTree))), "木"),
                  "Stroke order and direction tolerance");
    harness.check(contains(topTen(db.recognize(movedAndScaled(kTree))), "木"),
                  "Translation/scale invariance");
    harness.check(db.recognize({}).empty(), "Empty canvas has no candidates");
    harness.check(utf16Length("𠮷") == 2, "Supplementary character UTF-16 transport");
    harness.check(db.detail("木").find("U+6728") != std::string::npos, "Character details");
}

}  // namespace

double wallClockSeconds() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

bool wantsSelfTest(std::span<const std::string> arguments) {
    return std::find(arguments.begin(), arguments.end(), "--self-test") != arguments.end();
}

std::string formatSeconds(double seconds) {
    char buffer[400];
    // Fixed notation keeps "0.0001" from turning into "1e-04"; still the shortest round trip.
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed);
    std::string text = error == std::errc() ? std::string(buffer, end) : std::to_string(seconds);
    if (std::isfinite(seconds) && text.find('.') == std::string::npos) {
        text += ".0";
    }
    return text;
}

int runSelfTest(std::span<const std::string> arguments, std::ostream& out,
                const SecondsClock& clock) {
    const std::filesystem::path resources = arguments.empty() ? "" : arguments.back();
    const double start = clock();
    std::optional<CharacterDatabase> db;
    try {
        db.emplace(resources);
    } catch (const std::exception& error) {
        out << error.what() << '\n';
        out.flush();
        return 1;
    }
    Harness harness(out);
    runChecks(*db, harness, clock);
    out << "Elapsed " << formatSeconds(clock() - start) << "s; " << harness.failures()
        << " failures\n";
    out.flush();
    return harness.failures() == 0 ? 0 : 1;
}

}  // namespace sumiro
