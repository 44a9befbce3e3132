// sumiro-databuild: generates Sumiro's character data from Unihan, KANJIDIC2 and KanjiVG.
//
// Usage: sumiro-databuild --unihan DIR --kanjidic FILE --kanjivg DIR --output DIR
//
// Inputs
//   --unihan DIR     Unihan_IRGSources, Unihan_Readings and Unihan_OtherMappings, each as
//                    .txt.bz2 (Debian unicode-data) or .txt. Fields used: kTotalStrokes,
//                    kRSUnicode, kJapaneseOn, kJapaneseKun, kJoyoKanji, kJinmeiyoKanji, kJis0.
//   --kanjidic FILE  KANJIDIC2 XML, gzip-compressed or plain (Debian kanjidic-xml): first
//                    stroke count, classical radical, grade, JIS X 0208 code, on/kun readings,
//                    English meanings.
//   --kanjivg DIR    KanjiVG's kanji/ directory: NNNNN.svg, one <path> per stroke in stroke
//                    order, 109x109 box, y downward. Variant files (with "-") are not used.
//
// Outputs (in --output DIR; both written in full to temporary files before either is renamed
// into place, so a failed run leaves the previous pair and no partial file behind)
//   characters.json  [{"character": str, "count": int, "radicals": [int], "reading": str,
//                      "common": bool, "japanese": bool, "meanings": [str]}, ...]
//     One record per code point with a Unihan kTotalStrokes, plus hiragana and katakana with a
//     KanjiVG drawing, in ascending code point order.
//     count     KANJIDIC2's first stroke count, else kTotalStrokes (the second of two values);
//               for kana, the strokes of its drawing.
//     radicals  KANJIDIC2's classical radical, then each kRSUnicode radical, without repeats.
//     reading   KANJIDIC2 on (katakana) then kun (hiragana) readings joined by "、", written
//               as people write them: okurigana in parentheses, no prefix or suffix marks
//               (み.る is written み(る), ひと- and -ひと both ひと, each reading once); else
//               kJapaneseOn / kJapaneseKun turned into katakana / hiragana; else, for a
//               compatibility ideograph, that of its unified ideograph; for kana, itself.
//     common    Jōyō kanji (kJoyoKanji or KANJIDIC2 grade 1-8); ordinary, not small, kana.
//     japanese  JIS X 0208, Jōyō or Jinmeiyō kanji; false for kana.
//     meanings  Optional, left out when empty: KANJIDIC2's English meanings (its <meaning>
//               elements without m_lang), in its order, the most important first.
//   templates.json   [{"character": str, "strokes": [[[x, y], ...], ...]}, ...]
//     One per KanjiVG base file, in ascending code point order. Each stroke is its path sampled
//     at evenly spaced points along its length (about one per 4 units, 12 to 24 points, first
//     and last exact), coordinates in KanjiVG units rounded to 0.1.
//
// The output depends on the inputs alone: same inputs, byte-identical files.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/databuild/DataBuilder.h"
#include "tools/databuild/InputFile.h"
#include "tools/databuild/KanaTransliterator.h"
#include "tools/databuild/KanjiVg.h"
#include "tools/databuild/OutputFiles.h"

namespace fs = std::filesystem;
using namespace sumiro::databuild;

namespace {

struct Options {
    fs::path unihan, kanjidic, kanjivg, output;
};

[[noreturn]] void usage(const std::string& problem) {
    throw std::invalid_argument(
        problem +
        "\nusage: sumiro-databuild --unihan DIR --kanjidic FILE --kanjivg DIR --output DIR");
}

Options parseArguments(int argc, char** argv) {
    std::map<std::string, fs::path*> names;
    Options options;
    names["--unihan"] = &options.unihan;
    names["--kanjidic"] = &options.kanjidic;
    names["--kanjivg"] = &options.kanjivg;
    names["--output"] = &options.output;
    for (int i = 1; i < argc; i += 2) {
        const auto found = names.find(argv[i]);
        if (found == names.end()) usage(std::string("unknown argument ") + argv[i]);
        if (i + 1 >= argc) usage(std::string("missing value after ") + argv[i]);
        *found->second = argv[i + 1];
    }
    for (const auto& [name, value] : names)
        if (value->empty()) usage("missing " + name);
    return options;
}

UnihanTable readUnihan(const fs::path& directory) {
    UnihanTable table;
    for (const char* part : {"IRGSources", "Readings", "OtherMappings"}) {
        const std::string name = std::string("Unihan_") + part + ".txt";
        const fs::path file = findInput("Unihan " + std::string(part),
                                        {directory / (name + ".bz2"), directory / name});
        parseUnihan(readInputFile(file), file.string(), table);
    }
    return table;
}

std::vector<TemplateRecord> readTemplates(const fs::path& directory) {
    std::vector<TemplateRecord> templates;
    for (const KanjiVgFile& file : kanjiVgBaseFiles(directory)) {
        const std::string source = file.path.string();
        try {
            templates.push_back(
                buildTemplate(file.codePoint, svgPathData(readInputFile(file.path), source)));
        } catch (const std::invalid_argument& error) {
            throw std::runtime_error(source + ": " + error.what());
        }
    }
    return templates;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const auto started = std::chrono::steady_clock::now();
        const Options options = parseArguments(argc, argv);

        const UnihanTable unihan = readUnihan(options.unihan);
        const fs::path kanjidicFile = findInput("KANJIDIC2", {options.kanjidic});
        const KanjidicTable kanjidic =
            parseKanjidic(readInputFile(kanjidicFile), kanjidicFile.string());
        const std::vector<TemplateRecord> templates = readTemplates(options.kanjivg);
        const KanaTransliterator kana;
        const std::vector<CharacterRecord> characters =
            buildCharacters(unihan, kanjidic, templates, kana);

        fs::create_directories(options.output);
        replaceTogether({{options.output / "characters.json", charactersJson(characters)},
                         {options.output / "templates.json", templatesJson(templates)}});

        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - started;
        const auto withMeanings =
            std::count_if(characters.begin(), characters.end(),
                          [](const CharacterRecord& record) { return !record.meanings.empty(); });
        std::printf(
            "sumiro-databuild: %zu characters (%td with English meanings), %zu "
            "templates in %.1f s\n",
            characters.size(), withMeanings, templates.size(), elapsed.count());
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "sumiro-databuild: error: " << error.what() << '\n';
        return 1;
    }
}
