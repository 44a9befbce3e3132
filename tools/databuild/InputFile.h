#pragma once

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

namespace sumiro::databuild {

/// Reads a whole file into memory, decompressing it when its name ends in ".bz2" or ".gz".
/// Throws std::runtime_error naming the file when it is missing, unreadable or corrupt.
std::string readInputFile(const std::filesystem::path& path);

/// The first of `candidates` that exists as a regular file; throws std::runtime_error listing
/// all of them (with `what`, the name of the input) when none does.
std::filesystem::path findInput(std::string_view what,
                                std::initializer_list<std::filesystem::path> candidates);

}  // namespace sumiro::databuild
