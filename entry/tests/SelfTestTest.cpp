#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <utility>

#include "entry/SelfTest.h"
#include "testsupport/TempDirectory.h"

namespace sumiro {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

struct Outcome {
    int status;
    std::vector<std::string> lines;
};

class SelfTest : public ::testing::Test {
protected:
    // A data set that recognizes the four samples exactly (口 only `withMouth`); fillers pad
    // the counts, which are at least 2 characters and 4 templates.
    void writeData(int entries, int templates, bool withMouth = true) {
        std::string characters =
            R"([{"character":"木","count":4,"radicals":[75],"reading":"ボク き","common":true,"japanese":true},)"
            R"({"character":"林","count":8,"radicals":[75],"reading":"リン","common":true,"japanese":true})";
        for (int i = 2; i < entries; ++i) {
            characters +=
                R"(,{"character":"x)" + std::to_string(i) +
                R"(","count":3,"radicals":[1],"reading":"","common":false,"japanese":true})";
        }
        dir.write("characters.json", characters + "]");

        std::string json =
            R"([{"character":"木","strokes":[[[20,40],[85,40]],[[53,12],[53,92]],[[52,40],[35,63],[13,83]],[[53,40],[70,63],[93,82]]]},)"
            R"({"character":"十","strokes":[[[10,50],[90,50]],[[50,10],[50,90]]]},)"
            R"({"character":"人","strokes":[[[55,10],[48,52],[10,90]],[[50,40],[70,70],[90,90]]]},)";
        json +=
            withMouth
                ? R"({"character":"口","strokes":[[[20,20],[20,85]],[[20,20],[80,20],[80,85]],[[20,85],[80,85]]]})"
                : R"({"character":"ロ","strokes":[[[0,0],[9,9]]]})";
        for (int i = 4; i < templates; ++i)
            json += R"(,{"character":"y","strokes":[[[0,0],[100,100]]]})";
        dir.write("templates.json", json + "]");
    }

    // Runs on `dir` unless given other arguments.
    Outcome run(std::vector<std::string> arguments = {}) {
        if (arguments.empty()) arguments = {"sumiro", "--self-test", dir.path().string()};
        std::ostringstream out;
        // Start at 100 s, every later reading at 102.5 s: 2.5 s elapsed, 0 ms per recognition.
        bool started = false;
        const int status = runSelfTest(
            arguments, out, [&] { return std::exchange(started, true) ? 102.5 : 100.0; });
        Outcome result{status, {}};
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) result.lines.push_back(line);
        EXPECT_TRUE(out.str().ends_with("\n"));
        return result;
    }

    testing::TempDirectory dir;
};

TEST_F(SelfTest, AllChecksPass) {
    writeData(90001, 6001);
    const Outcome result = run();
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(
        result.lines,
        ElementsAre("PASS Unihan character inventory", "PASS Offline handwriting inventory",
                    "PASS 4-stroke 木 lookup", "PASS 木 radical 林 lookup", "PASS Japanese reading",
                    // Common 木 is also matched with its strokes joined, once for each number
                    // of joins, each listed as found; the joins' cost puts these behind the
                    // ordinary templates that fit.
                    "PASS Hand-drawn 木 top10: 木木十人木口 0ms",
                    "PASS Hand-drawn 十 top10: 十木人木木yyyyy 0ms",
                    "PASS Hand-drawn 人 top10: 人木十木木yyyyy 0ms",
                    "PASS Hand-drawn 口 top10: 口木木人yyyyyy 0ms",
                    "PASS Stroke order and direction tolerance",
                    "PASS Translation/scale invariance", "PASS Empty canvas has no candidates",
                    "PASS Supplementary character UTF-16 transport", "PASS Character details",
                    "Elapsed 2.5s; 0 failures"));
}

// Exactly 90,000 characters and 6,000 templates are too few; a failed recognition still
// lists its candidates and timing, and the later checks still run.
TEST_F(SelfTest, InventoryBoundariesAndFailedRecognition) {
    writeData(90000, 6000, /*withMouth=*/false);
    const Outcome result = run();
    EXPECT_EQ(result.status, 1);
    ASSERT_EQ(result.lines.size(), 15u);
    EXPECT_EQ(result.lines[0], "FAIL Unihan character inventory");
    EXPECT_EQ(result.lines[1], "FAIL Offline handwriting inventory");
    EXPECT_EQ(result.lines[2], "PASS 4-stroke 木 lookup");
    EXPECT_THAT(result.lines[8], MatchesRegex("FAIL Hand-drawn 口 top10: [^口]+ 0ms"));
    EXPECT_EQ(result.lines[9], "PASS Stroke order and direction tolerance");
    EXPECT_EQ(result.lines[14], "Elapsed 2.5s; 3 failures");
}

// A load failure, from the last argument's directory, is the only line.
TEST_F(SelfTest, TheLastArgumentIsTheDirectory) {
    writeData(3, 4);
    // The directory before "--self-test" is not used: "--self-test" itself is the path.
    Outcome result = run({"sumiro", dir.path().string(), "--self-test"});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.lines,
                ElementsAre("--self-test/characters.json: No such file or directory"));

    result = run({"sumiro", "--self-test", "--verbose", dir.path().string()});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.lines.size(), 15u);
    EXPECT_EQ(result.lines.back(), "Elapsed 2.5s; 2 failures");

    result = run({"sumiro", "--self-test", dir.path().string(), "/nonexistent"});
    EXPECT_THAT(result.lines,
                ElementsAre("/nonexistent/characters.json: No such file or directory"));

    dir.write("templates.json", R"([{"character":"a","strokes":[[[1]]]}])");
    result = run();
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(
        result.lines,
        ElementsAre("templates.json: record 0: \"strokes\": a point needs at least two numbers"));
}

TEST(WantsSelfTest, AnyArgumentExactlyTheFlag) {
    EXPECT_TRUE(wantsSelfTest(std::vector<std::string>{"sumiro", "dir", "--self-test"}));
    EXPECT_TRUE(wantsSelfTest(std::vector<std::string>{"sumiro", "--self-test", "dir"}));
    EXPECT_FALSE(
        wantsSelfTest(std::vector<std::string>{"sumiro", "--self-test=dir", "-self-test"}));
}

TEST(FormatSeconds, ShortestRoundTripWithAFraction) {
    // clang-format off
    for (const auto& [seconds, text] : {std::pair{12.0, "12.0"}, {0.0, "0.0"}, {-0.5, "-0.5"},
             {0.00012, "0.00012"}, {0.1 + 0.2, "0.30000000000000004"},
             {1e21, "1000000000000000000000.0"}})
        EXPECT_EQ(formatSeconds(seconds), text) << text;
    // clang-format on
}

}  // namespace
}  // namespace sumiro
