// The template decoder on arbitrary bytes, and every decoded template normalized as the
// loader does: a template list or a DataError, and only finite normalized points.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/DataDecoding.h"
#include "engine/Normalization.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    try {
        for (const sumiro::RawTemplate& raw : sumiro::decodeTemplates(json, "templates.json")) {
            for (const sumiro::Stroke& stroke : sumiro::normalized(raw.strokes)) {
                for (const sumiro::InkPoint& p : stroke) {
                    if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
                        std::abort();
                    }
                }
            }
        }
    } catch (const sumiro::DataError&) {
    }
    return 0;
}
