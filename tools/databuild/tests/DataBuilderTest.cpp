// How the sources merge into records, the JSON written, and the builder run end to end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <tuple>

#include "testsupport/Command.h"
#include "testsupport/TempDirectory.h"
#include "tools/databuild/DataBuilder.h"

namespace sumiro::databuild {
namespace {

using ::testing::HasSubstr;
using testing::TempDirectory;

// 木, 林 and 𠮷 (counted differently here) known to both sources; 范 (two counts, simplified-form
// radicals) and 𠀋 known to Unihan alone, one marked Jōyō and one JIS X 0208 here so that each
// flag is seen on its own; 乘 a Jinmeiyō variant; U+F9F4 the compatibility ideograph of 林; U+3402
// with a reading but no stroke count. Comments, blank lines, CRLF and other fields are skipped.
const std::pair<const char*, const char*> kUnihan[] = {
    {"IRGSources",
     "# Unihan_IRGSources.txt\n"
     "U+6728\tkRSUnicode\t75.0\n"
     "U+6728\tkTotalStrokes\t4\n"
     "U+6797\tkRSUnicode\t118.4 75.4\n"
     "U+6797\tkTotalStrokes\t8\n"
     "U+8303\tkRSUnicode\t140.5 120'.3 75''.2\n"
     "U+8303\tkTotalStrokes\t8 9\n"
     "U+4E58\tkRSUnicode\t4.9\n"
     "U+4E58\tkTotalStrokes\t10\n"
     "U+F9F4\tkRSUnicode\t75.4\n"
     "U+F9F4\tkTotalStrokes\t8\n"
     "\n"
     "U+2000B\tkRSUnicode\t1.2\r\n"
     "U+2000B\tkTotalStrokes\t3\r\n"
     "U+20BB7\tkRSUnicode\t30.3\n"
     "U+20BB7\tkTotalStrokes\t7\n"},
    {"Readings",
     "U+6728\tkJapaneseKun\tKI KO\n"
     "U+8303\tkDefinition\tpattern, model\n"
     "U+8303\tkJapaneseOn\tHAN BON\r\n"
     "U+8303\tkJapaneseKun\tNORI\n"
     "U+3402\tkJapaneseOn\tKYOU\n"},
    {"OtherMappings",
     "U+8303\tkJoyoKanji\t2010\n"
     "U+2000B\tkJis0\t1234\n"
     "U+4E58\tkJinmeiyoKanji\t2010:U+4E57\n"},
};

// 木 with what the builder must skip (other radical types, a miscount after the accepted count,
// pinyin, a French meaning, nanori) and a suffix reading written like another, 林 with a JIS X
// 0208 code only and okurigana, 𠮷 outside JIS X 0208 and unread.
constexpr const char* kKanjidic = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE kanjidic2 [
<!ELEMENT kanjidic2 (header,character*)>
]>
<kanjidic2>
<header><file_version>4</file_version></header>
<character>
<literal>木</literal>
<codepoint><cp_value cp_type="ucs">6728</cp_value><cp_value cp_type="jis208">1-44-58</cp_value></codepoint>
<radical><rad_value rad_type="nelson_c">1</rad_value><rad_value rad_type="classical">75</rad_value></radical>
<misc><grade>1</grade><stroke_count>4</stroke_count><stroke_count>5</stroke_count></misc>
<reading_meaning><rmgroup>
<reading r_type="pinyin">mu4</reading>
<reading r_type="ja_on">ボク</reading><reading r_type="ja_on">モク</reading>
<reading r_type="ja_kun">き</reading><reading r_type="ja_kun">こ-</reading>
<reading r_type="ja_kun">-き</reading>
<meaning>tree</meaning><meaning m_lang="fr">arbre</meaning><meaning>wood</meaning>
</rmgroup><nanori>もと</nanori></reading_meaning>
</character>
<character><literal>林</literal>
<codepoint><cp_value cp_type="jis208">1-46-51</cp_value></codepoint>
<radical><rad_value rad_type="classical">75</rad_value></radical>
<misc><stroke_count>8</stroke_count></misc>
<reading_meaning><rmgroup><reading r_type="ja_on">リン</reading><reading r_type="ja_kun">はやし</reading>
<reading r_type="ja_kun">はや.す</reading></rmgroup></reading_meaning>
</character>
<character>
<literal>𠮷</literal>
<codepoint><cp_value cp_type="jis213">1-47-52</cp_value></codepoint>
<radical><rad_value rad_type="classical">30</rad_value></radical>
<misc><stroke_count>6</stroke_count></misc>
</character>
</kanjidic2>
)";

// The KanjiVG drawings, by character; the builder also gets a variant file it must skip.
const std::map<char32_t, std::vector<std::string>> kDrawings{
    {U'ぁ', {"M30,30 L70,30", "M50,15 L50,80", "M60,45 Q20,90 70,80"}},
    {U'あ', {"M30,30 L70,30", "M50,15 L50,80", "M60,45 Q20,90 70,80"}},
    {U'ッ', {"M30,30 L35,40", "M50,30 L55,40", "M75,30 Q70,60 40,80"}},
    {U'ヹ', {"M30,30 L70,30", "M50,15 L50,80", "M75,10 L78,15", "M82,10 L85,15"}},
    {U'A', {"M20,90 L50,10", "M50,10 L80,90", "M30,60 L70,60"}},
    {U'7', {"M20,10 L80,10 L40,90"}},
    {U'木', {"M20,40 L85,40", "M53,12 L53,92", "M52,40 L13,83", "M53,40 L93,82"}},
};

std::string svg(const std::vector<std::string>& strokes) {
    std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 109 109\"><g>";
    for (const std::string& d : strokes) text += "<path d=\"" + d + "\"/>";
    return text + "</g></svg>";
}

/// The sources above laid out as the builder expects them.
struct Sources {
    TempDirectory dir;
    Sources() {
        for (const auto& [part, text] : kUnihan)
            dir.write(std::string("unicode/Unihan_") + part + ".txt", text);
        dir.write("kanjidic2.xml", kKanjidic);
        for (const auto& [c, strokes] : kDrawings) {
            char name[16];
            std::snprintf(name, sizeof name, "kanji/%05x.svg", static_cast<unsigned>(c));
            dir.write(name, svg(strokes));
        }
        dir.write("kanji/06728-Kaisho.svg", svg({"M0,0 L1,1"}));
    }
};

TEST(DataBuilderTest, KanaRanges) {
    EXPECT_TRUE(isSmallKana(U'ゖ') && isSmallKana(U'ヵ') && !isSmallKana(U'か'));
    EXPECT_TRUE(isKana(U'ー') && !isKana(U'・') && !isKana(U'゛') && !isKana(U'木'));
}

TEST(DataBuilderTest, ReadingsAsWritten) {
    for (const auto& [marked, written] : std::initializer_list<std::pair<const char*, const char*>>{
             // clang-format off
             {"み.る", "み(る)"}, {"ひと-", "ひと"}, {"-こ", "こ"}, {"-み.る", "み(る)"},
             {"おお.きい-", "おお(きい)"}, {"-ネン", "ネン"}, {"き", "き"},
             {"み.", "み"},  // no okurigana after the mark
             {".る", "る"}, {"あ.い.う", "あ(い.う)"}})
        // clang-format on
        EXPECT_EQ(writtenReading(marked), written) << marked;
}

TEST(JsonOutputTest, CharactersExactly) {
    const std::vector<CharacterRecord> records{
        {U'木', 4, {75}, "ボク、き", true, true, {"tree", "wo\"od"}},
        {0x20BB7, 6, {}, "a\"b\\c\n", false, false, {}},
    };
    EXPECT_EQ(charactersJson(records),
              "[\n"
              "{\"character\":\"木\",\"count\":4,\"radicals\":[75],\"reading\":\"ボク、き\","
              "\"common\":true,\"japanese\":true,\"meanings\":[\"tree\",\"wo\\\"od\"]},\n"
              "{\"character\":\"𠮷\",\"count\":6,\"radicals\":[],\"reading\":\"a\\\"b\\\\c\\n\","
              "\"common\":false,\"japanese\":false}\n"
              "]\n");
    EXPECT_EQ(charactersJson({}), "[\n]\n");
}

TEST(JsonOutputTest, TemplatesRoundedToTenths) {
    TemplateRecord drawing{U'十', {{{10.04, 49.96}, {-0.04, 1e-9}, {89.95, -3.25}}, {}}};
    EXPECT_EQ(templatesJson({drawing}),
              "[\n{\"character\":\"十\",\"strokes\":[[[10,50],[0,0],[90,-3.3]],[]]}\n]\n");
}

/// Runs the builder on `dir`'s sources, writing to `output` inside it, after the shell commands
/// `first`; returns its exit status and its output.
std::pair<int, std::string> runBuilder(const TempDirectory& dir, const std::string& output,
                                       const std::string& first = "") {
    return testing::runCommand("bash -c \"cd '" + dir.path().string() + "' && " + first +
                               "exec '" SUMIRO_DATABUILD_EXE "' --unihan unicode --kanjidic" +
                               " kanjidic2.xml --kanjivg kanji --output " + output + "\"");
}

TEST(DataBuilderRunTest, MergesTheSourcesTheSameWayEveryRun) {
    const Sources sources;
    for (const char* output : {"out1", "out2"}) {
        const auto [status, log] = runBuilder(sources.dir, output);
        ASSERT_EQ(status, 0) << log;
        EXPECT_THAT(log, HasSubstr("13 characters (1 with English meanings), 7 templates"));
    }
    // In code point order. Kana count their drawing's strokes and read as themselves; only the
    // ordinary forms in use today are common. A drawing of anything else without a record gets
    // one with its strokes, common for a digit. 木's drawing adds nothing to its record.
    // KANJIDIC2's fields lead, its classical radical before Unihan's. Unihan alone gives the second
    // (traditional) count, every radical without the apostrophes, and the romanized readings as
    // katakana (on) and hiragana (kun). U+F9F4 is read like 林; its meanings are found through 林's
    // record.
    EXPECT_EQ(sources.dir.read("out1/characters.json"),
              charactersJson({{U'7', 1, {}, "", true, false, {}},
                              {U'A', 3, {}, "", false, false, {}},
                              {U'ぁ', 3, {}, "ぁ", false, false, {}},
                              {U'あ', 3, {}, "あ", true, false, {}},
                              {U'ッ', 3, {}, "ッ", false, false, {}},
                              {U'ヹ', 4, {}, "ヹ", false, false, {}},
                              {U'乘', 10, {4}, "", false, true, {}},
                              {U'木', 4, {75}, "ボク、モク、き、こ", true, true, {"tree", "wood"}},
                              {U'林', 8, {75, 118}, "リン、はやし、はや(す)", false, true, {}},
                              {U'范', 9, {140, 120, 75}, "ハン、ボン、のり", true, true, {}},
                              {0xF9F4, 8, {75}, "リン、はやし、はや(す)", false, false, {}},
                              {0x2000B, 3, {1}, "", false, true, {}},
                              {0x20BB7, 6, {30}, "", false, false, {}}}));
    EXPECT_THAT(sources.dir.read("out1/templates.json"),
                HasSubstr("{\"character\":\"木\",\"strokes\":[[[20,40],"));
    for (const std::string name : {"characters.json", "templates.json"})
        EXPECT_EQ(sources.dir.read("out1/" + name), sources.dir.read("out2/" + name)) << name;
    EXPECT_FALSE(std::filesystem::exists(sources.dir.path() / "out1/characters.json.tmp"));
}

TEST(DataBuilderRunTest, BadInputIsNamedAndNothingIsWritten) {
    // Each case removes one source, or adds a drawing with bad path data: an unknown command,
    // or coordinates no drawing has, which would not survive being written in tenths.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"unicode/Unihan_Readings.txt", nullptr, "missing input Unihan Readings: none of "},
        {"kanjidic2.xml", nullptr, "missing input KANJIDIC2"},
        {"kanji", nullptr, "missing input KanjiVG"},
        {"kanji/05341.svg", "M10,50 X90,50", "05341.svg: unsupported command 'X'"},
        {"kanji/05341.svg", "M1e18,0 L0,0", "05341.svg: coordinate out of range"},
        {"kanji/05341.svg", "M0,-1e308 L0,1e308", "05341.svg: coordinate out of range"},
        {"kanji/05341.svg", "M10,10 L20,20 m1e308,0 l1e308,0",
         "05341.svg: coordinate out of range"},
    };
    for (const auto& [file, pathData, message] : cases) {
        const Sources sources;
        if (pathData)
            sources.dir.write(file, svg({pathData}));
        else
            std::filesystem::remove_all(sources.dir.path() / file);
        const auto [status, log] = runBuilder(sources.dir, "out");
        EXPECT_EQ(status, 1) << file;
        EXPECT_THAT(log, HasSubstr(message)) << file;
        EXPECT_FALSE(std::filesystem::exists(sources.dir.path() / "out/characters.json")) << file;
        EXPECT_FALSE(std::filesystem::exists(sources.dir.path() / "out/templates.json")) << file;
    }
}

// A disk that fills up while the new files are written (here a file-size limit that the new
// inventory fits but the new templates do not) leaves the previous pair in place, no
// temporary file behind, and says why.
TEST(DataBuilderRunTest, FullDiskKeepsTheOldPairAndGivesTheReason) {
    const Sources sources;
    ASSERT_EQ(runBuilder(sources.dir, "out").first, 0);
    const std::string oldCharacters = sources.dir.read("out/characters.json");
    const std::string oldTemplates = sources.dir.read("out/templates.json");
    ASSERT_LT(oldCharacters.size(), 2048u);

    // A new kana (a record of its own) with a long drawing.
    std::vector<std::string> strokes;
    for (int i = 0; i < 40; ++i)
        strokes.push_back("M0," + std::to_string(i) + " L100," + std::to_string(i));
    sources.dir.write("kanji/03044.svg", svg(strokes));
    const auto [status, log] = runBuilder(sources.dir, "out", "trap '' XFSZ && ulimit -f 4 && ");
    EXPECT_EQ(status, 1) << log;
    EXPECT_THAT(log, HasSubstr("templates.json"));
    EXPECT_THAT(log, HasSubstr("File too large"));
    EXPECT_EQ(sources.dir.read("out/characters.json"), oldCharacters);
    EXPECT_EQ(sources.dir.read("out/templates.json"), oldTemplates);
    for (const auto& file : std::filesystem::directory_iterator(sources.dir.path() / "out"))
        EXPECT_THAT(file.path().filename().string(), ::testing::EndsWith(".json"));
}

}  // namespace
}  // namespace sumiro::databuild
