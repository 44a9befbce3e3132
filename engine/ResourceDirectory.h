#pragma once

#include <filesystem>

namespace sumiro {

/// Where the character data lies for a program at `executable`: "resources/" beside it, else
/// "../share/sumiro/" (an installed copy), else the build tree's resource directory; the first
/// that holds characters.json wins, and the first candidate when none does.
std::filesystem::path defaultResourceDirectory(const std::filesystem::path& executable);

}  // namespace sumiro
