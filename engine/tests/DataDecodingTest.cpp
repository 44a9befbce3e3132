#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/CharacterDatabase.h"
#include "engine/DataDecoding.h"
#include "testsupport/TempDirectory.h"

namespace sumiro {
namespace {

using ::testing::ElementsAre;
using ::testing::Eq;
using ::testing::IsEmpty;
using ::testing::Matcher;
using ::testing::StartsWith;

constexpr std::string_view kTree =
    R"({"character":"木","count":4,"radicals":[75],"reading":"ボク き","common":true,"japanese":true,)"
    R"("meanings":["tree","wood"]})";

std::string errorOf(const std::function<void()>& load) {
    try {
        load();
    } catch (const DataError& error) {
        return error.what();
    }
    return "no error";
}

TEST(DecodeCharacters, ReadsEveryFieldAndIgnoresUnknownKeys) {
    MeaningTable meanings;
    const auto entries = decodeCharacters(
        std::string("[") + std::string(kTree) +
            R"(, {"japanese":false,"extra":{"x":[1,2]},"reading":"","common":false,)"
            R"("radicals":[],"count":-3,"character":"\ud842\udfb7"},)" +
            std::string(kTree).replace(1, 0, R"("meanings":["x"],)") + "]",
        "characters.json", &meanings);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], (CharacterEntry{"木", 4, {75}, "ボク き", true, true}));
    EXPECT_EQ(entries[1], (CharacterEntry{"𠮷", -3, {}, "", false, false}));
    // Meanings are optional; a key given twice keeps its last value, as the others do.
    EXPECT_THAT(meanings.of(0), ElementsAre("tree", "wood"));
    EXPECT_THAT(meanings.of(1), IsEmpty());
    EXPECT_THAT(meanings.of(2), ElementsAre("tree", "wood"));
    EXPECT_EQ(meanings.records(), 2u);
    EXPECT_TRUE(decodeCharacters("[]", "characters.json").empty());
}

TEST(DecodeCharacters, BadDocumentsAndRecordsNameTheFileRecordAndKey) {
    const std::string good =
        R"({"character":"a","count":1,"radicals":[],"reading":"","common":true,"japanese":true})";
    // The second record: `good` with its first `from` replaced by `to`.
    const auto second = [&](std::string_view from, std::string_view to) {
        std::string record = good;
        record.replace(record.find(from), from.size(), to);
        return "[" + std::string(kTree) + "," + record + "]";
    };
    const std::string at = "characters.json: record 1: ";
    const std::vector<std::pair<std::string, Matcher<const std::string&>>> cases = {
        {second(R"("reading":"",)", ""), Eq(at + "\"reading\": missing")},
        {second(R"("reading":"")", R"("reading":null)"), Eq(at + "\"reading\": must not be null")},
        {second(R"("count":1)", R"("count":"1")"), StartsWith(at + "\"count\": ")},
        {second(R"("count":1)", R"("count":1.5)"), StartsWith(at + "\"count\": ")},
        {second(R"("count":1)", R"("count":99999999999999999999)"), StartsWith(at + "\"count\": ")},
        {second("[]", R"([1,"2"])"), StartsWith(at + "\"radicals\": ")},
        {second("}", R"(,"meanings":null})"), Eq(at + "\"meanings\": must not be null")},
        {second("}", R"(,"meanings":"tree"})"), Eq(at + "\"meanings\": expected an array")},
        {second("}", R"(,"meanings":["tree",1]})"), Eq(at + "\"meanings\": expected a string")},
        {second(R"("common":true)", R"("common":1)"), StartsWith(at + "\"common\": ")},
        // Ignored keys are not decoded but must still be valid JSON.
        {second("}", R"(,"x":[tru]})"), StartsWith(at + "\"x\": ")},
        {second("{", R"({"note":{"a" 1},)"), StartsWith(at + "\"note\": invalid JSON")},
        {"[" + std::string(kTree) + ",7]", StartsWith(at + "expected an object")},
        {"{}", Eq("characters.json: expected an array of records")},
        {"", StartsWith("characters.json: invalid JSON")},
        {"[" + std::string(kTree), StartsWith("characters.json: invalid JSON")},
        {"[] []", StartsWith("characters.json: invalid JSON")},
        {"[\"\xff\"]", StartsWith("characters.json: invalid JSON")},
    };
    for (const auto& [json, expected] : cases) {
        // Named again: clang 14 cannot capture a structured binding.
        const std::string& text = json;
        EXPECT_THAT(errorOf([&] { decodeCharacters(text, "characters.json"); }), expected) << json;
    }
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
        const std::string json = R"([{"character":"a","strokes":[]},{"character":"b","strokes":)" +
                                 std::string(strokes) + "}]";
        return errorOf([&] { decodeTemplates(json, "templates.json"); });
    };
    const std::string at = "templates.json: record 1: \"strokes\": ";
    EXPECT_EQ(one("{}"), at + "expected an array of strokes");
    EXPECT_EQ(one("null"), at + "must not be null");
    EXPECT_THAT(one("[7]"), StartsWith(at + "expected a stroke"));
    EXPECT_THAT(one("[[7]]"), StartsWith(at + "expected a point"));
    EXPECT_EQ(one("[[[1]]]"), at + "a point needs at least two numbers");
    EXPECT_EQ(one("[[[]]]"), at + "a point needs at least two numbers");
    for (const std::string_view bad : {R"([[[1,"2"]]])", "[[[1,2,true]]]", "[[[1e999,2]]]"})
        EXPECT_THAT(one(bad), StartsWith(at)) << bad;
    EXPECT_EQ(errorOf([] { decodeTemplates(R"([{"character":"a"}])", "templates.json"); }),
              "templates.json: record 0: \"strokes\": missing");
}

TEST(LoadDatabase, FileErrorsNameThePath) {
    testing::TempDirectory dir;
    const auto loadError = [&] { return errorOf([&] { CharacterDatabase database(dir.path()); }); };
    const std::string templates = (dir.path() / "templates.json").string();
    dir.write("templates.json", "[]");
    EXPECT_EQ(loadError(),
              (dir.path() / "characters.json").string() + ": No such file or directory");

    dir.write("characters.json", "[" + std::string(kTree) + "]");
    std::filesystem::remove(templates);
    EXPECT_EQ(loadError(), templates + ": No such file or directory");

    std::filesystem::create_directory(templates);
    EXPECT_EQ(loadError(), templates + ": Is a directory");

    std::filesystem::remove(templates);
    dir.write("templates.json",
              R"([{"character":"a","strokes":[]},{"character":"b","strokes":{}}])");
    EXPECT_EQ(loadError(), "templates.json: record 1: \"strokes\": expected an array of strokes");

    dir.write("templates.json", R"([{"character":"a","strokes":[[[1,2],[3,4]]]}])");
    EXPECT_EQ(loadError(), "no error");
    EXPECT_THAT(CharacterDatabase(dir.path()).details("木").meanings, ElementsAre("tree", "wood"));
}

// Pipes and devices are refused by name at once: reading one could wait for a writer forever
// or never reach an end.
TEST(LoadDatabase, OnlyRegularFilesAreRead) {
    testing::TempDirectory dir;
    const std::filesystem::path pipe = dir.path() / "characters.json";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    for (const std::filesystem::path& path : {pipe, std::filesystem::path("/dev/zero")})
        EXPECT_EQ(errorOf([&] { readDataFile(path); }), path.string() + ": not a regular file");
    EXPECT_EQ(errorOf([&] { CharacterDatabase database(dir.path()); }),
              pipe.string() + ": not a regular file");
    std::filesystem::remove(pipe);
    dir.write("characters.json", "[]");
    std::filesystem::create_symlink("/dev/zero", dir.path() / "templates.json");
    EXPECT_EQ(errorOf([&] { CharacterDatabase database(dir.path()); }),
              (dir.path() / "templates.json").string() + ": not a regular file");
}

// The files load side by side, yet a faulty inventory is reported whichever file fails first.
TEST(LoadDatabase, InventoryErrorWinsOverTemplateError) {
    testing::TempDirectory dir;
    const auto loadError = [&] { return errorOf([&] { CharacterDatabase database(dir.path()); }); };
    std::string records = "[";
    for (int i = 0; i < 20000; ++i) records += std::string(kTree) + ",";
    const std::string lateFault = records + R"({"character":"x"}])";
    const std::string at = "characters.json: record 20000: \"count\": missing";

    // The template file fails at once, the inventory only at its end.
    dir.write("characters.json", lateFault);
    EXPECT_EQ(loadError(), at);
    dir.write("templates.json", "{");
    EXPECT_EQ(loadError(), at);

    // The inventory fails at once while a long template file is still being read.
    std::string templates = "[";
    for (int i = 0; i < 20000; ++i)
        templates += R"({"character":"木","strokes":[[[0,0],[1,1],[2,0]]]},)";
    dir.write("templates.json", templates + "{}]");
    dir.write("characters.json", "[1]");
    EXPECT_EQ(loadError(), "characters.json: record 0: expected an object");
}

// The template file is a pipe with no writer: opening it for reading would block, so a load
// that opened it would only end when the watchdog opens the writing end after its deadline.
TEST(LoadDatabase, UnreadableInventoryNeverOpensTheTemplateFile) {
    testing::TempDirectory dir;
    const std::string pipe = (dir.path() / "templates.json").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);

    std::mutex mutex;
    std::condition_variable loaded;
    bool done = false;
    bool templatesOpened = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (loaded.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) return;
        // Succeeds only while a reader holds the pipe open.
        const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            templatesOpened = true;
            close(fd);
        }
    });
    const std::string error = errorOf([&] { CharacterDatabase database(dir.path()); });
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    loaded.notify_one();
    watchdog.join();
    EXPECT_THAT(error, ::testing::HasSubstr("characters.json: No such file or directory"));
    EXPECT_FALSE(templatesOpened);
}

}  // namespace
}  // namespace sumiro
