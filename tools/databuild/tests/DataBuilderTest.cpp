// How the sources merge into records, the JSON written, and the builder run end to end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/databuild/DataBuilder.h"
#include "tools/databuild/KanaTransliterator.h"
#include "tools/databuild/tests/Fixtures.h"

namespace sumiro::databuild {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::TempDir;

// 木 and 林 known to both sources, 范 (two Unihan counts, simplified-form radical) and 𠀋 known
// to Unihan alone; 乘 a Jinmeiyō variant; U+F9F4 the compatibility ideograph of 林; U+3402 with a
// reading but no stroke count.
constexpr const char* kIrgSources =
    "U+6728\tkRSUnicode\t75.0\n"
    "U+6728\tkTotalStrokes\t4\n"
    "U+6797\tkRSUnicode\t118.4 75.4\n"
    "U+6797\tkTotalStrokes\t8\n"
    "U+8303\tkRSUnicode\t140.5 120'.3\n"
    "U+8303\tkTotalStrokes\t8 9\n"
    "U+4E58\tkRSUnicode\t4.9\n"
    "U+4E58\tkTotalStrokes\t10\n"
    "U+F9F4\tkRSUnicode\t75.4\n"
    "U+F9F4\tkTotalStrokes\t8\n"
    "U+2000B\tkRSUnicode\t1.2\n"
    "U+2000B\tkTotalStrokes\t3\n";
constexpr const char* kReadings =
    "U+6728\tkJapaneseKun\tKI KO\n"
    "U+8303\tkJapaneseOn\tHAN BON\n"
    "U+8303\tkJapaneseKun\tNORI\n"
    "U+3402\tkJapaneseOn\tKYOU\n";
constexpr const char* kOtherMappings =
    "U+6728\tkJoyoKanji\t2010\n"
    "U+6728\tkJis0\t4458\n"
    "U+4E58\tkJinmeiyoKanji\t2010:U+4E57\n";
constexpr const char* kKanjidic = R"(<?xml version="1.0" encoding="UTF-8"?>
<kanjidic2>
<character><literal>木</literal>
<codepoint><cp_value cp_type="jis208">1-44-58</cp_value></codepoint>
<radical><rad_value rad_type="classical">75</rad_value></radical>
<misc><grade>1</grade><stroke_count>4</stroke_count></misc>
<reading_meaning><rmgroup><reading r_type="ja_on">ボク</reading><reading r_type="ja_on">モク</reading>
<reading r_type="ja_kun">き</reading><reading r_type="ja_kun">こ-</reading></rmgroup></reading_meaning>
</character>
<character><literal>林</literal>
<codepoint><cp_value cp_type="jis208">1-46-51</cp_value></codepoint>
<radical><rad_value rad_type="classical">75</rad_value></radical>
<misc><stroke_count>8</stroke_count></misc>
<reading_meaning><rmgroup><reading r_type="ja_on">リン</reading><reading r_type="ja_kun">はやし</reading></rmgroup></reading_meaning>
</character>
</kanjidic2>
)";

std::string svg(std::initializer_list<const char*> strokes) {
    std::string text = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 109 109\"><g>";
    for (const char* d : strokes) text += std::string("<path d=\"") + d + "\"/>";
    return text + "</g></svg>";
}

/// Writes a complete set of small sources laid out as the builder expects them.
struct Fixture {
    TempDir dir;
    Fixture() {
        dir.write("unicode/Unihan_IRGSources.txt", kIrgSources);
        dir.write("unicode/Unihan_Readings.txt", kReadings);
        dir.write("unicode/Unihan_OtherMappings.txt", kOtherMappings);
        dir.write("kanjidic2.xml", kKanjidic);
        dir.write("kanji/06728.svg",
                  svg({"M20,40 L85,40", "M53,12 L53,92", "M52,40 L13,83", "M53,40 L93,82"}));
        dir.write("kanji/06728-Kaisho.svg", svg({"M0,0 L1,1"}));
        dir.write("kanji/03042.svg",
                  svg({"M30,30 L70,30", "M50,15 L50,80", "M60,45 Q20,90 70,80"}));
        dir.write("kanji/03041.svg",
                  svg({"M30,30 L70,30", "M50,15 L50,80", "M60,45 Q20,90 70,80"}));
        dir.write("kanji/030c3.svg",
                  svg({"M30,30 L35,40", "M50,30 L55,40", "M75,30 Q70,60 40,80"}));
    }
    UnihanTable unihan() const {
        UnihanTable table;
        parseUnihan(kIrgSources, "IRGSources", table);
        parseUnihan(kReadings, "Readings", table);
        parseUnihan(kOtherMappings, "OtherMappings", table);
        return table;
    }
};

}  // namespace

// Readable failure messages for whole records.
void PrintTo(const CharacterRecord& r, std::ostream* os) {
    *os << "{U+" << std::hex << static_cast<unsigned>(r.codePoint) << std::dec << ", " << r.count
        << ", {" << ::testing::PrintToString(r.radicals) << "}, \"" << r.reading << "\", "
        << r.common << ", " << r.japanese << "}";
}

namespace {

const CharacterRecord& recordOf(const std::vector<CharacterRecord>& records, char32_t c) {
    for (const CharacterRecord& r : records)
        if (r.codePoint == c) return r;
    throw std::out_of_range("no record");
}

class DataBuilderTest : public ::testing::Test {
protected:
    Fixture fixture;
    KanaTransliterator kana;
    std::vector<TemplateRecord> templates{
        buildTemplate(U'あ', {"M30,30 L70,30", "M50,15 L50,80", "M60,45 Q20,90 70,80"}),
        buildTemplate(U'ぁ', {"M30,30 L70,30", "M50,15 L50,80", "M60,45 Q20,90 70,80"}),
        buildTemplate(U'ッ', {"M30,30 L35,40", "M50,30 L55,40", "M75,30 Q70,60 40,80"}),
        buildTemplate(U'木', {"M20,40 L85,40"}),
    };
    std::vector<CharacterRecord> records = buildCharacters(
        fixture.unihan(), parseKanjidic(kKanjidic, "kanjidic2.xml"), templates, kana);
};

TEST_F(DataBuilderTest, OneRecordPerStrokeCountedCodePointAndKana) {
    std::vector<char32_t> order;
    for (const CharacterRecord& r : records) order.push_back(r.codePoint);
    // Ascending; U+3402 has no stroke count; 木's drawing adds nothing to its Unihan record.
    EXPECT_THAT(order,
                ElementsAre(U'ぁ', U'あ', U'ッ', U'乘', U'木', U'林', U'范', 0xF9F4u, 0x2000Bu));
}

TEST_F(DataBuilderTest, KanjiFieldsFromBothSources) {
    EXPECT_EQ(recordOf(records, U'木'),
              (CharacterRecord{U'木', 4, {75}, "ボク、モク、き、こ-", true, true}));
    // KANJIDIC2's classical radical leads; Unihan's follow without repeating it.
    EXPECT_EQ(recordOf(records, U'林'),
              (CharacterRecord{U'林', 8, {75, 118}, "リン、はやし", false, true}));
    // Unihan alone: the second (traditional) count, every radical without the apostrophe, the
    // romanized readings as katakana (on) and hiragana (kun).
    EXPECT_EQ(recordOf(records, U'范'),
              (CharacterRecord{U'范', 9, {140, 120}, "ハン、ボン、のり", false, false}));
    EXPECT_EQ(recordOf(records, U'乘'), (CharacterRecord{U'乘', 10, {4}, "", false, true}));
    // Read like the unified ideograph it stands for; its own fields stay its own.
    EXPECT_EQ(recordOf(records, 0xF9F4),
              (CharacterRecord{0xF9F4, 8, {75}, "リン、はやし", false, false}));
    EXPECT_EQ(recordOf(records, 0x2000B), (CharacterRecord{0x2000B, 3, {1}, "", false, false}));
}

TEST_F(DataBuilderTest, KanaRecords) {
    EXPECT_EQ(recordOf(records, U'あ'), (CharacterRecord{U'あ', 3, {}, "あ", true, false}));
    EXPECT_EQ(recordOf(records, U'ぁ'), (CharacterRecord{U'ぁ', 3, {}, "ぁ", false, false}));
    EXPECT_EQ(recordOf(records, U'ッ'), (CharacterRecord{U'ッ', 3, {}, "ッ", false, false}));
    EXPECT_TRUE(isSmallKana(U'ゖ') && isSmallKana(U'ヵ') && !isSmallKana(U'か'));
    EXPECT_TRUE(isKana(U'ー') && !isKana(U'・') && !isKana(U'゛') && !isKana(U'木'));
}

TEST(JsonOutputTest, CharactersExactly) {
    const std::vector<CharacterRecord> records{
        {U'木', 4, {75}, "ボク、き", true, true},
        {0x20BB7, 6, {}, "a\"b\\c\n", false, false},
    };
    EXPECT_EQ(charactersJson(records),
              "[\n"
              "{\"character\":\"木\",\"count\":4,\"radicals\":[75],\"reading\":\"ボク、き\","
              "\"common\":true,\"japanese\":true},\n"
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

/// Runs the builder executable; returns its exit status and combined output.
std::pair<int, std::string> runBuilder(const std::filesystem::path& root,
                                       const std::filesystem::path& output) {
    const std::string command =
        std::string(SUMIRO_DATABUILD_EXE) + " --unihan '" + (root / "unicode").string() +
        "' --kanjidic '" + (root / "kanjidic2.xml").string() + "' --kanjivg '" +
        (root / "kanji").string() + "' --output '" + output.string() + "' 2>&1";
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string text;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe.get()))
        text.append(buffer.data(), n);
    const int status = pclose(pipe.release());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

std::string contents(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(DataBuilderRunTest, SameInputsGiveIdenticalFiles) {
    Fixture fixture;
    const auto first = fixture.dir.path() / "out1";
    const auto second = fixture.dir.path() / "out2";
    const auto [status1, output1] = runBuilder(fixture.dir.path(), first);
    ASSERT_EQ(status1, 0) << output1;
    EXPECT_THAT(output1, HasSubstr("9 characters, 4 templates"));
    const auto [status2, output2] = runBuilder(fixture.dir.path(), second);
    ASSERT_EQ(status2, 0) << output2;
    for (const char* name : {"characters.json", "templates.json"}) {
        const std::string a = contents(first / name);
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_EQ(a, contents(second / name)) << name;
    }
    EXPECT_THAT(contents(first / "templates.json"),
                HasSubstr("{\"character\":\"木\",\"strokes\":[[[20,40],"));
    EXPECT_FALSE(std::filesystem::exists(first / "characters.json.tmp"));
}

TEST(DataBuilderRunTest, MissingSourceIsNamedAndNothingIsWritten) {
    for (const char* missing : {"unicode/Unihan_Readings.txt", "kanjidic2.xml", "kanji"}) {
        Fixture fixture;
        std::filesystem::remove_all(fixture.dir.path() / missing);
        const auto output = fixture.dir.path() / "out";
        const auto [status, text] = runBuilder(fixture.dir.path(), output);
        EXPECT_EQ(status, 1) << missing;
        EXPECT_THAT(text, HasSubstr("missing input")) << missing;
        EXPECT_FALSE(std::filesystem::exists(output / "characters.json")) << missing;
    }
}

TEST(DataBuilderRunTest, BadStrokeDataNamesTheFile) {
    Fixture fixture;
    fixture.dir.write("kanji/05341.svg", svg({"M10,50 X90,50"}));
    const auto [status, text] = runBuilder(fixture.dir.path(), fixture.dir.path() / "out");
    EXPECT_EQ(status, 1);
    EXPECT_THAT(text, HasSubstr("05341.svg: unsupported command 'X'"));
}

}  // namespace
}  // namespace sumiro::databuild
