#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace sumiro {

/// Where the character data lies for a program at `executable`: "resources/" beside it, else
/// "../share/sumiro/" (an installed copy), else the build tree's resource directory; the first
/// that holds characters.json wins, and the first candidate when none does.
std::filesystem::path defaultResourceDirectory(const std::filesystem::path& executable);

/// The file `name` in the first of the same places that holds it, if any.
std::optional<std::filesystem::path> findResource(const std::filesystem::path& executable,
                                                  std::string_view name);

}  // namespace sumiro
