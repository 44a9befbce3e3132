#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace sumiro::databuild {

/// Replaces every file of `files` (path, new content) with its new content, all of them or
/// none: each is written in full to a temporary file beside it and flushed to disk before any
/// is renamed into place, and a rename that fails puts the earlier ones back. Throws
/// std::runtime_error naming the file and giving the system's reason; no temporary file is
/// left behind either way.
void replaceTogether(const std::vector<std::pair<std::filesystem::path, std::string>>& files);

}  // namespace sumiro::databuild
