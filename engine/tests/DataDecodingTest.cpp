#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/CharacterDatabase.h"
#include "engine/DataDecoding.h"
#include "engine/tests/TempDirectory.h"

namespace sumiro {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr std::string_view kTree =
    R"({"character":"木","count":4,"radicals":[75],"reading":"ボク き","common":true,"japanese":true})";

std::string decodeCharactersError(std::string_view json) {
    try {
        decodeCharacters(json, "characters.json");
    } catch (const DataError& error) {
        return error.what();
    }
    return "no error";
}

std::string decodeTemplatesError(std::string_view json) {
    try {
        decodeTemplates(json, "templates.json");
    } catch (const DataError& error) {
        return error.what();
    }
    return "no error";
}

TEST(DecodeCharacters, ReadsEveryFieldAndIgnoresUnknownKeys) {
    const auto entries = decodeCharacters(
        std::string("[") + std::string(kTree) +
            R"(, {"japanese":false,"extra":{"x":[1,2]},"reading":"","common":false,)"
            R"("radicals":[],"count":-3,"character":"\ud842\udfb7"}])",
        "characters.json");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (CharacterEntry{"木", 4, {75}, "ボク き", true, true}));
    EXPECT_EQ(entries[1], (CharacterEntry{"𠮷", -3, {}, "", false, false}));
    EXPECT_TRUE(decodeCharacters("[]", "characters.json").empty());
}

TEST(DecodeCharacters, BadRecordsNameTheFileRecordAndKey) {
    const std::string second = std::string("[") + std::string(kTree) + ",";
    const auto record1 = [&](std::string_view body) { return second + std::string(body) + "]"; };
    EXPECT_EQ(decodeCharactersError(record1(
                  R"({"character":"a","count":1,"radicals":[],"common":true,"japanese":true})")),
              "characters.json: record 1: \"reading\": missing");
    EXPECT_EQ(
        decodeCharactersError(record1(
            R"({"character":"a","count":1,"radicals":[],"reading":null,"common":true,"japanese":true})")),
        "characters.json: record 1: \"reading\": must not be null");
    EXPECT_THAT(
        decodeCharactersError(record1(
            R"({"character":"a","count":"1","radicals":[],"reading":"","common":true,"japanese":true})")),
        StartsWith("characters.json: record 1: \"count\": "));
    EXPECT_THAT(
        decodeCharactersError(record1(
            R"({"character":"a","count":1.5,"radicals":[],"reading":"","common":true,"japanese":true})")),
        StartsWith("characters.json: record 1: \"count\": "));
    EXPECT_THAT(
        decodeCharactersError(record1(
            R"({"character":"a","count":99999999999999999999,"radicals":[],"reading":"","common":true,"japanese":true})")),
        StartsWith("characters.json: record 1: \"count\": "));
    EXPECT_THAT(
        decodeCharactersError(record1(
            R"({"character":"a","count":1,"radicals":[1,"2"],"reading":"","common":true,"japanese":true})")),
        StartsWith("characters.json: record 1: \"radicals\": "));
    EXPECT_THAT(
        decodeCharactersError(record1(
            R"({"character":"a","count":1,"radicals":[],"reading":"","common":1,"japanese":true})")),
        StartsWith("characters.json: record 1: \"common\": "));
    // Ignored keys are not decoded but must still be valid JSON.
    EXPECT_THAT(
        decodeCharactersError(record1(
            R"({"character":"a","count":1,"radicals":[],"reading":"","common":true,"japanese":true,"x":[tru]})")),
        StartsWith("characters.json: record 1: \"x\": "));
    EXPECT_THAT(
        decodeCharactersError(record1(
            R"({"note":{"a" 1},"character":"a","count":1,"radicals":[],"reading":"","common":true,"japanese":true})")),
        StartsWith("characters.json: record 1: \"note\": invalid JSON"));
    EXPECT_THAT(decodeCharactersError(record1("7")),
                StartsWith("characters.json: record 1: expected an object"));
}

TEST(DecodeCharacters, MalformedDocuments) {
    EXPECT_EQ(decodeCharactersError("{}"), "characters.json: expected an array of records");
    EXPECT_THAT(decodeCharactersError(""), StartsWith("characters.json: invalid JSON"));
    EXPECT_THAT(decodeCharactersError("[" + std::string(kTree)), HasSubstr("invalid JSON"));
    EXPECT_THAT(decodeCharactersError("[] []"), StartsWith("characters.json: invalid JSON"));
    EXPECT_THAT(decodeCharactersError("[\"\xff\"]"), StartsWith("characters.json: invalid JSON"));
}

TEST(DecodeTemplates, KeepsTheFirstTwoNumbersOfEachPoint) {
    const auto templates = decodeTemplates(
        R"([{"character":"十","strokes":[[[10,20,0.5],[10.0,20.0]],[]],"source":"x"},)"
        R"({"strokes":[],"character":"?"}])",
        "templates.json");
    ASSERT_EQ(templates.size(), 2u);
    EXPECT_EQ(templates[0].character, "十");
    EXPECT_EQ(templates[0].strokes, (Ink{{{10, 20}, {10, 20}}, {}}));
    EXPECT_TRUE(templates[1].strokes.empty());
}

TEST(DecodeTemplates, BadStrokesAndPoints) {
    const auto one = [](std::string_view strokes) {
        return decodeTemplatesError(
            std::string(R"([{"character":"a","strokes":[]},{"character":"b","strokes":)") +
            std::string(strokes) + "}]");
    };
    EXPECT_EQ(one("{}"), "templates.json: record 1: \"strokes\": expected an array");
    EXPECT_EQ(one("null"), "templates.json: record 1: \"strokes\": must not be null");
    EXPECT_THAT(one("[7]"), StartsWith("templates.json: record 1: \"strokes\": expected a stroke"));
    EXPECT_THAT(one("[[7]]"),
                StartsWith("templates.json: record 1: \"strokes\": expected a point"));
    EXPECT_EQ(one("[[[1]]]"),
              "templates.json: record 1: \"strokes\": a point needs at least two numbers");
    EXPECT_EQ(one("[[[]]]"),
              "templates.json: record 1: \"strokes\": a point needs at least two numbers");
    EXPECT_THAT(one(R"([[[1,"2"]]])"), StartsWith("templates.json: record 1: \"strokes\": "));
    EXPECT_THAT(one("[[[1,2,true]]]"), StartsWith("templates.json: record 1: \"strokes\": "));
    EXPECT_THAT(one("[[[1e999,2]]]"), StartsWith("templates.json: record 1: \"strokes\": "));
    EXPECT_EQ(decodeTemplatesError(R"([{"character":"a"}])"),
              "templates.json: record 0: \"strokes\": missing");
}

TEST(LoadDatabase, FileErrorsNameThePath) {
    testing::TempDirectory dir;
    const auto loadError = [&] {
        try {
            CharacterDatabase database(dir.path());
        } catch (const DataError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    dir.write("templates.json", "[]");
    EXPECT_EQ(loadError(),
              (dir.path() / "characters.json").string() + ": No such file or directory");

    dir.write("characters.json", "[" + std::string(kTree) + "]");
    std::filesystem::remove(dir.path() / "templates.json");
    EXPECT_EQ(loadError(),
              (dir.path() / "templates.json").string() + ": No such file or directory");

    std::filesystem::create_directory(dir.path() / "templates.json");
    EXPECT_EQ(loadError(), (dir.path() / "templates.json").string() + ": Is a directory");

    std::filesystem::remove(dir.path() / "templates.json");
    dir.write("templates.json",
              R"([{"character":"a","strokes":[]},{"character":"b","strokes":{}}])");
    EXPECT_EQ(loadError(), "templates.json: record 1: \"strokes\": expected an array");

    dir.write("templates.json", R"([{"character":"a","strokes":[[[1,2],[3,4]]]}])");
    EXPECT_EQ(loadError(), "no error");
}

}  // namespace
}  // namespace sumiro
