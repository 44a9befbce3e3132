#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace sumiro {

/// The running program's own file (/proc/self/exe). When that file was replaced while the program
/// ran (a package upgrade), the path of its replacement.
std::filesystem::path runningExecutable();

/// Where the character data lies for a program at `executable`: "resources/" beside it (the build
/// tree links it there) or "../share/sumiro/" (an installed copy), whichever holds
/// characters.json first. When neither does: "resources/" if that directory exists, else
/// "../share/sumiro/", so that the load names the place the data were expected.
std::filesystem::path defaultResourceDirectory(const std::filesystem::path& executable);

/// The file `name` in the first of the same places that holds it, if any.
std::optional<std::filesystem::path> findResource(const std::filesystem::path& executable,
                                                  std::string_view name);

}  // namespace sumiro
