#pragma once

#include <filesystem>
#include <optional>

#include "controller/Language.h"

namespace sumiro {

/// Starts the pad on the user's display and runs it until it is quit; returns the process
/// status. With another pad of this user on this display running, shows that one and returns
/// 0. Without any X display, says so in one sentence and returns 1. The character data come
/// from `resources`, else from where the installed program finds them. The pad speaks
/// `language`, else the user's (preferredLanguage); Japanese when the English catalogue is
/// missing, which it then says on standard error.
int runPad(int argc, char** argv, const std::optional<std::filesystem::path>& resources,
           std::optional<Language> language = std::nullopt);

}  // namespace sumiro
