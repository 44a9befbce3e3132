// The recognizer on arbitrary inks: any number of strokes and points, coordinates anywhere in
// the range of doubles, not-a-number and infinities among them. Answers are characters of the
// database, at most `limit` of them.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>

#include "fuzz/FuzzDatabase.h"

namespace {

double coordinate(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 9)) {
        case 0:
            return input.ConsumeFloatingPoint<double>();
        case 1:
            return input.ConsumeBool() ? std::numeric_limits<double>::quiet_NaN()
                                       : std::numeric_limits<double>::infinity();
        case 2:
            return input.ConsumeFloatingPointInRange(-1e-6, 1e-6);
        default:
            return input.ConsumeIntegralInRange(-200, 300);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto limit = input.ConsumeIntegralInRange<std::ptrdiff_t>(0, 300);
    sumiro::Ink ink(input.ConsumeIntegralInRange<std::size_t>(0, 40));
    for (sumiro::Stroke& stroke : ink) {
        stroke.resize(input.ConsumeIntegralInRange<std::size_t>(0, 24));
        for (sumiro::InkPoint& p : stroke) {
            p = {coordinate(input), coordinate(input)};
        }
    }
    const sumiro::CharacterDatabase& db = sumiro::fuzz::database();
    static const std::set<std::string> known = [&] {
        std::set<std::string> names;
        for (const sumiro::InkTemplate& t : db.templates()) {
            names.insert(t.character);
        }
        return names;
    }();
    const std::vector<std::string> candidates = db.recognize(ink, limit);
    if (candidates.size() > static_cast<std::size_t>(limit)) {
        std::abort();
    }
    for (const std::string& c : candidates) {
        if (!known.contains(c)) {
            std::abort();
        }
    }
    return 0;
}
