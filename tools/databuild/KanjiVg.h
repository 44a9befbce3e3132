#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sumiro::databuild {

/// One KanjiVG base file: a character and the path data of its strokes in stroke order.
struct KanjiVgFile {
    char32_t codePoint = 0;
    std::filesystem::path path;
};

/// The base files of a KanjiVG `kanji/` directory (named by five hex digits, e.g. "06728.svg"),
/// in ascending code point order. Variant forms ("06728-Kaisho.svg") are left out. Throws
/// std::runtime_error when the directory is missing or holds no base file.
std::vector<KanjiVgFile> kanjiVgBaseFiles(const std::filesystem::path& directory);

/// The `d` attribute of every `<path>` of an SVG document, in document order (for KanjiVG: one
/// per stroke, in stroke order). Throws std::runtime_error naming `source` on malformed XML or a
/// path without data.
std::vector<std::string> svgPathData(std::string_view svg, std::string_view source);

}  // namespace sumiro::databuild
