#include "tools/databuild/KanjiVg.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "tools/databuild/XmlReader.h"

namespace sumiro::databuild {

std::vector<KanjiVgFile> kanjiVgBaseFiles(const std::filesystem::path& directory) {
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error))
        throw std::runtime_error("missing input KanjiVG: " + directory.string() +
                                 " is not a directory");
    std::vector<KanjiVgFile> files;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        const std::string name = item.path().filename().string();
        if (name.size() != 9 || !name.ends_with(".svg") || !item.is_regular_file()) continue;
        unsigned long code = 0;
        const auto [ptr, ec] = std::from_chars(name.data(), name.data() + 5, code, 16);
        if (ec != std::errc() || ptr != name.data() + 5 || code > 0x10FFFF ||
            (code >= 0xD800 && code <= 0xDFFF))
            continue;
        files.push_back({static_cast<char32_t>(code), item.path()});
    }
    if (files.empty())
        throw std::runtime_error("missing input KanjiVG: no stroke files in " + directory.string());
    std::sort(files.begin(), files.end(),
              [](const KanjiVgFile& a, const KanjiVgFile& b) { return a.codePoint < b.codePoint; });
    return files;
}

std::vector<std::string> svgPathData(std::string_view svg, std::string_view source) {
    std::vector<std::string> paths;
    XmlReader reader(svg, source);
    bool sawSvg = false;
    while (reader.next()) {
        if (!reader.isElementStart()) continue;
        if (reader.name() == "svg") sawSvg = true;
        if (reader.name() != "path") continue;
        auto data = reader.attribute("d");
        if (!data) reader.fail("<path> without data");
        paths.push_back(std::move(*data));
    }
    if (!sawSvg) throw std::runtime_error(std::string(source) + ": not an SVG document");
    return paths;
}

}  // namespace sumiro::databuild
