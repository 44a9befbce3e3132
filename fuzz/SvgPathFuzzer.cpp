// The SVG path reader on arbitrary path data, as the data builder uses it: a template whose
// points are all finite and within range, written out, or std::invalid_argument.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tools/databuild/DataBuilder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string pathData(reinterpret_cast<const char*>(data), size);
    try {
        const sumiro::databuild::TemplateRecord drawing =
            sumiro::databuild::buildTemplate(U'木', {pathData});
        for (const auto& stroke : drawing.strokes) {
            for (const auto& p : stroke) {
                // Points of a curve lie within its control points, give or take rounding.
                constexpr double kLimit = sumiro::databuild::kMaxCoordinate * 1.001;
                if (!(std::abs(p.x) <= kLimit) || !(std::abs(p.y) <= kLimit)) {
                    std::abort();
                }
            }
        }
        sumiro::databuild::templatesJson({drawing});
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
