#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/CharacterDatabase.h"
#include "engine/Normalization.h"

namespace sumiro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

CharacterEntry entry(std::string character, std::int64_t count, std::vector<std::int64_t> radicals,
                     bool common = false, bool japanese = true, std::string reading = "") {
    return {std::move(character), count, std::move(radicals), std::move(reading), common, japanese};
}

TEST(CharacterDatabase, FirstRecordOfACanonicalCharacterWins) {
    // U+F900 is a compatibility ideograph canonically equivalent to U+8C48.
    const CharacterDatabase db({entry("木", 4, {75}, true, true, "き"), entry("\u8C48", 10, {151}),
                                entry("\uF900", 99, {}), entry("木", 5, {})},
                               {});
    EXPECT_EQ(db.entries().size(), 4u);
    EXPECT_EQ(db.distinctCharacters(), 2u);
    ASSERT_NE(db.byCharacter("木"), nullptr);
    EXPECT_EQ(db.byCharacter("木")->count, 4);
    EXPECT_EQ(db.byCharacter("\u8C48")->count, 10);
    EXPECT_EQ(db.byCharacter("\uF900")->count, 10);
    EXPECT_EQ(db.byCharacter("林"), nullptr);
}

TEST(CharacterDatabase, TemplatesKeepFileOrderAndAreNormalized) {
    const CharacterDatabase db(
        {}, {{"十", {{{10, 50}, {90, 50}}, {{50, 10}, {50, 90}}}}, {"?", {}}, {"十", {{{0, 0}}}}});
    ASSERT_EQ(db.templates().size(), 3u);
    EXPECT_EQ(db.templates()[0].strokes, normalized({{{10, 50}, {90, 50}}, {{50, 10}, {50, 90}}}));
    EXPECT_EQ(db.templates()[1].character, "?");
    EXPECT_TRUE(db.templates()[1].strokes.empty());
    EXPECT_EQ(db.templates()[2].strokes, (Ink{Stroke(16, InkPoint{0, 0})}));
}

TEST(Search, OrdersCommonFirstThenStrokesThenCodePoint) {
    const CharacterDatabase db(
        {entry("本", 5, {75}), entry("林", 8, {75}, true), entry("札", 5, {75}, true),
         entry("杉", 7, {9, 75}, false, false), entry("末", 5, {75}), entry("一", 1, {}),
         entry("\uF900", 5, {75}), entry("末", 5, {75})},
        {});
    // U+F900 sorts as U+8C48, after U+672B and U+672C.
    EXPECT_THAT(db.search(std::nullopt, 75), ElementsAre("札", "林", "末", "末", "本", "\uF900"));
    EXPECT_THAT(db.search(5, std::nullopt), ElementsAre("札", "末", "末", "本", "\uF900"));
    EXPECT_THAT(db.search(std::nullopt, 9, false), ElementsAre("杉"));
    EXPECT_TRUE(db.search(std::nullopt, 9).empty());
    EXPECT_TRUE(db.search(0, std::nullopt, false).empty());
    EXPECT_THAT(db.search(std::nullopt, std::nullopt, false),
                ElementsAre("札", "林", "一", "末", "末", "本", "\uF900", "杉"));
}

TEST(Detail, FormatsReadingCountAndCodePoints) {
    MeaningTable meanings;
    meanings.add(0, {"tree", "wood"});
    const CharacterDatabase db({entry("木", 4, {75}, true, true, "ボク き"), entry("𠮷", 0, {}),
                                entry("\u845B\U000E0100", 12, {})},
                               std::move(meanings), {});
    EXPECT_EQ(db.detail("木"), "木   ボク き   4画   U+6728");
    EXPECT_EQ(db.detail("𠮷"), "𠮷   読み情報なし   0画   U+20BB7");
    EXPECT_EQ(db.detail("\u845B\U000E0100"),
              "\u845B\U000E0100   読み情報なし   12画   U+845B U+E0100");
    EXPECT_EQ(db.detail("葛"), "葛   U+845B");
    EXPECT_EQ(db.detail(""), "   ");

    // The same parts, each on its own.
    const CharacterDetails tree = db.details("木");
    EXPECT_TRUE(tree.known);
    EXPECT_EQ(tree.reading, "ボク き");
    EXPECT_EQ(tree.count, 4);
    EXPECT_THAT(tree.meanings, ElementsAre("tree", "wood"));
    EXPECT_EQ(tree.codes, "U+6728");
    const CharacterDetails other = db.details("葛");
    EXPECT_FALSE(other.known);
    EXPECT_EQ(other.reading, "");
    EXPECT_THAT(other.meanings, IsEmpty());
    EXPECT_EQ(other.codes, "U+845B");
}

TEST(Meanings, FoundAsWholeWordsBestFirst) {
    MeaningTable meanings;
    std::vector<CharacterEntry> entries;
    const auto add = [&](std::string character, std::int64_t count, bool common, bool japanese,
                         std::initializer_list<std::string_view> list) {
        meanings.add(static_cast<std::uint32_t>(entries.size()), list);
        entries.push_back(entry(std::move(character), count, {}, common, japanese));
    };
    add("木", 4, true, true, {"tree", "wood"});
    add("樹", 16, true, true, {"timber", "trees", "wood"});
    add("水", 4, true, true, {"water"});
    add("湯", 12, true, true, {"hot water", "bath"});
    add("泉", 9, true, true, {"spring", "hot water", "water"});
    add("氺", 5, false, false, {"water"});
    add("𣱱", 9, false, true, {"water"});
    add("見", 7, true, true, {"see", "hopes", "look at"});
    add("視", 11, true, true, {"inspection", "look at", "see"});
    add("覗", 12, false, true, {"peep", "Look At"});
    add("斗", 4, true, true, {"Big Dipper", "dipper"});
    add("大", 3, true, true, {"large", "big"});
    add("奥", 12, true, true, {"heart", "interior"});
    add("心", 4, true, true, {"heart", "mind"});
    entries.push_back(entry("木", 4, {}));  // a second record, without meanings
    const CharacterDatabase db(std::move(entries), std::move(meanings), {});

    // Common characters, then the others used in Japanese, then the rest; in each, those with
    // a meaning that is only the words, then by the meaning holding them (the first one
    // first), then fewer strokes.
    const struct {
        std::string_view words;
        std::vector<std::string> found;
    } cases[] = {
        // clang-format off
        {"tree", {"木"}},  // not "trees"
        {"WATER", {"水", "泉", "湯", "𣱱", "氺"}}, {"see", {"見", "視"}},
        {"look at", {"視", "見", "覗"}}, {" look \t at ", {"視", "見", "覗"}},
        {"wood", {"木", "樹"}}, {"big", {"大", "斗"}}, {"heart", {"心", "奥"}},
        {"ood", {}}, {"", {}}, {"  ", {}},
        // clang-format on
    };
    for (const auto& c : cases) EXPECT_EQ(db.searchMeanings(c.words), c.found) << c.words;
}

}  // namespace
}  // namespace sumiro
