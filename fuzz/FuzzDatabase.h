#pragma once

#include "engine/CharacterDatabase.h"

namespace sumiro::fuzz {

/// A seeded synthetic database, built once per process: random templates of 0 to 30 strokes
/// (enough of them that the recognizer shares its work with its helper thread), exact and
/// reversed copies for ties, and an inventory with readings, radicals, duplicates and
/// characters of several code points.
const CharacterDatabase& database();

}  // namespace sumiro::fuzz
