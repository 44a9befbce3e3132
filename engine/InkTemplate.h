#pragma once

#include <string>

#include "engine/Ink.h"

namespace sumiro {

/// One record of templates.json as decoded: points hold the first two numbers of each JSON
/// point, in the file's own coordinates, not yet normalized.
struct RawTemplate {
    std::string character;
    Ink strokes;
};

/// A handwriting template ready for matching: its strokes are a normalized ink.
struct InkTemplate {
    std::string character;
    Ink strokes;
};

}  // namespace sumiro
