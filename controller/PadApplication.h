#pragma once

#include <filesystem>
#include <optional>

namespace sumiro {

/// Starts the pad on the user's display and runs it until it is quit; returns the process
/// status. With another pad of this user on this display running, shows that one and returns
/// 0. Without any X display, says so in one sentence and returns 1. The character data come
/// from `resources`, else from where the installed program finds them.
int runPad(int argc, char** argv, const std::optional<std::filesystem::path>& resources);

}  // namespace sumiro
