#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <simdjson.h>

#include "engine/CharacterDatabase.h"
#include "tools/JsonString.h"
#include "tools/recognize/RecognizeProtocol.h"

namespace sumiro {
namespace {

using ::testing::StartsWith;

class RecognizeProtocol : public ::testing::Test {
protected:
    std::string answer(std::string_view line, std::ptrdiff_t limit = 56, bool distinct = false) {
        long long now = 1000;
        return answerRequest(
            line, database_, limit, [&] { return now += 250; }, distinct);
    }

    const CharacterDatabase database_{{},
                                      {{"十", {{{10, 50}, {90, 50}}, {{50, 10}, {50, 90}}}},
                                       {"一", {{{0, 0}, {100, 0}}}},
                                       {"十", {{{50, 10}, {50, 90}}, {{90, 50}, {10, 50}}}}}};
};

TEST_F(RecognizeProtocol, AnswersCandidatesAndTime) {
    EXPECT_EQ(answer(R"({"id": "a\"1", "strokes": [[[10, 50], [90, 50]], [[50, 10], [50, 90]]]})"),
              R"({"id": "a\"1", "candidates": ["十", "十", "一"], "us": 250})");
    // Keys in any order, other keys ignored, extra point numbers ignored.
    EXPECT_EQ(answer(R"({"strokes": [[[0, 0, 7], [5, 0.5]]], "pressure": [1], "id": 12})", 1),
              R"({"id": 12, "candidates": ["一"], "us": 250})");
    EXPECT_EQ(answer(R"({"id": "empty", "strokes": []})"),
              R"({"id": "empty", "candidates": [], "us": 250})");
    EXPECT_EQ(answer(R"({"id": 2, "box": [300, 300.5], "strokes": [[[0, 0], [5, 0]]]})", 1),
              R"({"id": 2, "candidates": ["一"], "us": 250})");
}

TEST_F(RecognizeProtocol, DistinctListsEachCharacterOnceAmongTheFirstLimit) {
    const std::string cross =
        R"({"id": 3, "strokes": [[[10, 50], [90, 50]], [[50, 10], [50, 90]]]})";
    EXPECT_EQ(answer(cross, 56, true), R"({"id": 3, "candidates": ["十", "一"], "us": 250})");
    EXPECT_EQ(answer(cross, 2, true), R"({"id": 3, "candidates": ["十"], "us": 250})");
}

TEST_F(RecognizeProtocol, MalformedLinesGetAnErrorWithTheirId) {
    EXPECT_EQ(answer(R"({"id": "p", "strokes": [[[1]]]})"),
              R"({"id": "p", "error": "\"strokes\": a point needs at least two numbers"})");
    EXPECT_THAT(
        answer(R"({"strokes": [[[1e999, 2]]], "id": "big"})"),
        StartsWith(R"({"id": "big", "error": "invalid JSON (Problem while parsing a number)"));
    EXPECT_EQ(answer(R"({"id": "none"})"), R"({"id": "none", "error": "\"strokes\": missing"})");
    for (const char* box : {"[300]", "[300, 0]", "[300, 300, 1]", "300", "[\"a\", 1]"}) {
        EXPECT_THAT(answer(R"({"id": "b", "strokes": [], "box": )" + std::string(box) + "}"),
                    StartsWith(R"({"id": "b", "error": "\"box\": expected [width, height])"))
            << box;
    }
    std::string many = R"({"id": 1, "strokes": [[])";
    for (int i = 0; i < 64; ++i) many += ",[]";
    EXPECT_EQ(answer(many + "]}"), R"({"id": 1, "error": "\"strokes\": more than 64 strokes"})");
    EXPECT_THAT(answer(R"({"id": "s", "strokes": [[1, 2]]})"),
                StartsWith(R"({"id": "s", "error": "\"strokes\": expected a point)"));
    EXPECT_THAT(answer("[1, 2]"), StartsWith(R"({"id": null, "error": "expected a JSON object)"));
    EXPECT_THAT(answer(R"({"id": "v", "strokes": [], "pen": [1,,2]})"),
                StartsWith(R"({"id": "v", "error": "invalid JSON)"));
    // Lines that do not parse at all cannot name their id.
    EXPECT_THAT(answer(R"({"id": "x", "strokes": [)"),
                StartsWith(R"({"id": null, "error": "invalid JSON)"));
    EXPECT_THAT(answer(R"({"id": "t", "strokes": []} junk)"),
                StartsWith(R"({"id": null, "error": "invalid JSON)"));
}

// Whatever the id holds, the answer is one JSON object; an id that is not a string, a number,
// true, false or null is refused, and then the answer cannot name it.
TEST_F(RecognizeProtocol, EveryAnswerIsJsonWhateverTheId) {
    const std::string refused = R"({"id": null, "error": "\"id\": )";
    const std::pair<std::string_view, std::string> cases[] = {
        {"12", "{\"id\": 12, \"candidates\""},
        {"-0.5e3", "{\"id\": -0.5e3, \"candidates\""},
        {"false", "{\"id\": false, \"candidates\""},
        {"null", "{\"id\": null, \"candidates\""},
        {R"("\u6728")", "{\"id\": \"木\", \"candidates\""},
        // clang-format off
        {"tru", refused + "invalid JSON"}, {"nul", refused + "invalid JSON"},
        {"01", refused + "invalid JSON"}, {"-", refused + "invalid JSON"},
        {"1e999", refused + "invalid JSON"}, {R"("a\x")", refused + "invalid JSON"},
        {R"("\ud800")", refused + "invalid JSON"}, {R"("\udc00")", refused + "invalid JSON"},
        // clang-format on
        {"[1]", refused + "expected a string, a number, true, false or null\"}"},
        {R"({"a": 1})", refused + "expected a string, a number, true, false or null\"}"},
    };
    simdjson::dom::parser parser;
    for (const auto& [id, start] : cases) {
        const std::string line =
            "{\"id\": " + std::string(id) + R"(, "strokes": [[[0, 0], [1, 0]]]})";
        const std::string got = answer(line, 1);
        EXPECT_THAT(got, StartsWith(start)) << id;
        simdjson::dom::element parsed;
        EXPECT_EQ(parser.parse(got).get(parsed), simdjson::SUCCESS) << got;
    }
}

TEST(JsonString, EscapesQuotesBackslashesAndControls) {
    EXPECT_EQ(jsonString("a\"b\\c\n\x01𠮷"), R"("a\"b\\c\n\u0001𠮷")");
}

}  // namespace
}  // namespace sumiro
