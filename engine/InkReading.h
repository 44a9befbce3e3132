#pragma once

// The one reader of an ink written as JSON, [[[x, y], …], …]: the template file's strokes and a
// recognition request's strokes are read, and their faults described, the same way.

#include <simdjson.h>

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "engine/Ink.h"

namespace sumiro {

/// Reads `strokes` into `ink`, keeping each point's first two numbers and reusing the capacity
/// of the strokes `ink` already holds. At most `maxStrokes` strokes.
/// On a fault calls `fail(error, message)`, which must not return: `error` is the parser's
/// error (INCORRECT_TYPE when a value has the wrong type), or SUCCESS when the JSON is sound
/// but its shape is not; `message` says what was expected there.
template <typename Fail>
void readInkJson(simdjson::ondemand::value strokes, Ink& ink, Fail fail,
                 std::size_t maxStrokes = std::numeric_limits<std::size_t>::max()) {
    using simdjson::ondemand::array;
    array strokeList;
    if (auto error = strokes.get_array().get(strokeList)) {
        fail(error, "expected an array of strokes");
    }
    std::size_t used = 0;
    for (auto strokeElement : strokeList) {
        array stroke;
        if (auto error = strokeElement.get_array().get(stroke)) {
            fail(error, "expected a stroke as an array of points");
        }
        if (used == maxStrokes) {
            fail(simdjson::SUCCESS, "more than " + std::to_string(maxStrokes) + " strokes");
        }
        if (used == ink.size()) {
            ink.emplace_back();
        }
        Stroke& points = ink[used++];
        points.clear();
        for (auto pointElement : stroke) {
            array point;
            if (auto error = pointElement.get_array().get(point)) {
                fail(error, "expected a point as an array of numbers");
            }
            double xy[2] = {0.0, 0.0};
            std::size_t count = 0;
            for (auto numberElement : point) {
                double number = 0.0;
                if (auto error = numberElement.get_double().get(number)) {
                    fail(error, "expected a number in a point");
                }
                if (count < 2) {
                    xy[count] = number;
                }
                ++count;
            }
            if (count < 2) {
                fail(simdjson::SUCCESS, "a point needs at least two numbers");
            }
            points.push_back({xy[0], xy[1]});
        }
    }
    ink.resize(used);
}

}  // namespace sumiro
