#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

#include "controller/BrowseMode.h"
#include "controller/BrowseQuery.h"
#include "engine/CharacterDatabase.h"

namespace sumiro {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

CharacterEntry entry(std::string character, std::int64_t count, std::vector<std::int64_t> radicals,
                     std::string reading = "", bool common = false, bool japanese = true) {
    return {std::move(character), count, std::move(radicals), std::move(reading), common, japanese};
}

const CharacterDatabase& fixture() {
    static const CharacterDatabase db = [] {
        std::vector<CharacterEntry> entries{
            entry("木", 4, {75}, "ボク、モク、き、こ", true),
            entry("林", 8, {75}, "リン、はやし", true),
            entry("本", 5, {75}, "ホン、もと"),
            entry("札", 5, {75}, "サツ、ふだ"),
            entry("杉", 7, {75}, "サン、すぎ", false, false),
            entry("毋", 4, {80}, "ブ、ない", false, false),
            entry("一", 1, {1}, "イチ、ひと", true),
            entry("鏡", 19, {167}, "キョウ、かがみ"),
            entry("\uF900", 10, {151}),  // compatibility ideograph, equivalent to U+8C48
            entry("𠮷", 6, {30}, "キチ、よし"),
            entry("〆", 2, {4}, "SHIMO"),
            entry("e", 1, {}, "e\u0301"),  // the reading is an e with a combining acute
            entry("見", 7, {147}, "ケン、み(る)、み(える)、み(せる)", true),
            entry("食", 9, {184}, "ショク、ジキ、く(う)、く(らう)、た(べる)、は(む)", true),
            entry("木", 4, {75}, "き"),  // listed twice
            entry("身", 7, {158}, "シン、み"),
        };
        MeaningTable meanings;
        meanings.add(0, {"tree", "wood"});
        meanings.add(2, {"book", "present", "main", "counter for long things"});
        meanings.add(3, {"tag", "counter for bonds"});
        meanings.add(7, {"mirror"});
        meanings.add(9, {"good luck", "shimo"});
        return CharacterDatabase(std::move(entries), std::move(meanings), {});
    }();
    return db;
}

// The highest radical number of each radical stroke count, as the pad holds them.
const std::vector<std::int64_t> kStrokeEnds = {6,   29,  60,  94,  117, 146, 166, 175, 186,
                                               194, 200, 204, 208, 210, 211, 213, 214};
const std::vector<std::int64_t> kAllRadicals = radicalNumbersFor(0, kStrokeEnds);
const std::vector<NamedRange> kRanges = BrowseMode::defaultRanges();

QStringList list(BrowseState state) { return browseList(fixture(), state, kAllRadicals, kRanges); }

BrowseState searching(const QString& text, Mode mode = Mode::Ranges) {
    BrowseState state;
    state.mode = mode;
    state.search = text;
    return state;
}

TEST(BrowseList, CodeListsTheOneScalarAndRejectsWhatIsNoScalar) {
    const struct {
        QString query;
        QStringList expected;
    } cases[] = {
        // clang-format off
        {u"U+4E00"_qs, {u"一"_qs}}, {u"u+4e00"_qs, {u"一"_qs}}, {u"  U+4e00\n"_qs, {u"一"_qs}},
        {u"U+20BB7"_qs, {u"𠮷"_qs}}, {u"U+0000000041"_qs, {u"A"_qs}},
        {u"U+100000000"_qs, {}},  // more than 32 bits
        {u"U+D800"_qs, {}}, {u"U+DFFF"_qs, {}}, {u"U+110000"_qs, {}}, {u"U+FFFFFFFFF"_qs, {}},
        {u"U+"_qs, {}}, {u"U+-41"_qs, {}}, {u"U+4E00X"_qs, {}}, {u"U+ 41"_qs, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        EXPECT_EQ(list(searching(c.query)), c.expected);
    }
}

TEST(BrowseList, RangesListEveryScalarInOrder) {
    const struct {
        int index;
        qsizetype count;
        char32_t first;
        char32_t last;
    } cases[] = {
        {0, 86, 0x3041, 0x3096},       // ひらがな
        {-1, 86, 0x3041, 0x3096},      // no selection reads as the first item
        {7, 42720, 0x20000, 0x2A6DF},  // 漢字 拡張B
        {11, 6400, 0xE000, 0xF8FF},    // 外字領域
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        BrowseState state = searching({});
        state.rangeIndex = c.index;
        const QStringList found = list(state);
        ASSERT_EQ(found.size(), c.count);
        EXPECT_EQ(found.front().toUcs4(), QList<uint>{c.first});
        EXPECT_EQ(found.back().toUcs4(), QList<uint>{c.last});
    }
}

// The character itself, then whole readings, then the start of one, then the rest; common
// characters first in each; inventory order last.
TEST(BrowseList, TextSearchListsTheBestMatchesFirst) {
    const struct {
        QString query;
        QStringList expected;
    } cases[] = {
        // clang-format off
        {u"き"_qs, {u"木"_qs, u"木"_qs}},  // both records of the character
        {u"か"_qs, {u"鏡"_qs}}, {u"が"_qs, {u"鏡"_qs}},
        {u"か\u3099"_qs, {u"鏡"_qs}},  // the same が, decomposed
        {u"林"_qs, {u"林"_qs}},
        {u"\u8C48"_qs, {u"\uF900"_qs}},       // canonically equal to the inventory's spelling
        {u"shimo"_qs, {u"〆"_qs, u"𠮷"_qs}},  // by reading, then by meaning
        {u"ShIm"_qs, {u"〆"_qs}}, {u"é"_qs, {u"e"_qs}},
        {u"e"_qs, {u"e"_qs}},  // the character itself, not the e inside é
        {u"★"_qs, {u"★"_qs}},  // in no reading and not in the inventory
        {u"★★"_qs, {}},        // only one character falls back to itself
        {u"ぬ"_qs, {u"ぬ"_qs}}, {u"U+D800"_qs, {}},
        // Okurigana are written in parentheses and searched as if they were not.
        {u"みる"_qs, {u"見"_qs}}, {u"み"_qs, {u"見"_qs, u"身"_qs, u"鏡"_qs}},
        {u"み(る)"_qs, {u"見"_qs}}, {u"たべる"_qs, {u"食"_qs}}, {u"たべ"_qs, {u"食"_qs}},
        {u"た"_qs, {u"食"_qs}}, {u"("_qs, {u"("_qs}},
        // English meanings as whole words, after the character and reading matches; an
        // earlier meaning first.
        {u"Tree"_qs, {u"木"_qs}}, {u"counter"_qs, {u"札"_qs, u"本"_qs}},
        {u"counter for"_qs, {u"札"_qs, u"本"_qs}}, {u"count"_qs, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query.toStdString());
        EXPECT_EQ(list(searching(c.query)), c.expected);
    }
    BrowseState ranged = searching(u"き"_qs);
    ranged.rangeIndex = 7;
    ranged.japaneseOnly = false;  // neither the range nor the scope plays a part
    EXPECT_EQ(list(ranged), (QStringList{u"木"_qs, u"木"_qs}));
}

TEST(BrowseList, StrokeCountAndRadicalFollowTheirSelectorsAndTheScope) {
    const struct {
        const char* name;
        Mode mode;
        int countIndex;
        int radicalIndex;
        bool japaneseOnly;
        QString query;
        QStringList expected;
    } cases[] = {
        // clang-format off
        {"four strokes", Mode::StrokeCounts, 3, 0, true, {}, {u"木"_qs, u"木"_qs}},
        {"scope off", Mode::StrokeCounts, 3, 0, false, {}, {u"木"_qs, u"木"_qs, u"毋"_qs}},
        {"reading filter", Mode::StrokeCounts, 3, 0, false, u"ない"_qs, {u"毋"_qs}},
        {"character filter", Mode::StrokeCounts, 3, 0, false, u"毋"_qs, {u"毋"_qs}},
        {"no fallback", Mode::StrokeCounts, 3, 0, true, u"★"_qs, {}},
        {"no count selected", Mode::StrokeCounts, -1, 0, true, {}, {}},
        {"radical 75", Mode::Radicals, 3, 74, true, {},
         {u"木"_qs, u"林"_qs, u"木"_qs, u"本"_qs, u"札"_qs}},
        {"radical 75, all", Mode::Radicals, 3, 74, false, {},
         {u"木"_qs, u"林"_qs, u"木"_qs, u"本"_qs, u"札"_qs, u"杉"_qs}},
        {"radical filter", Mode::Radicals, 3, 74, true, u"もと"_qs, {u"本"_qs}},
        {"meaning filter, best first", Mode::Radicals, 3, 74, true, u"counter"_qs,
         {u"札"_qs, u"本"_qs}},
        {"meaning filter", Mode::StrokeCounts, 3, 0, true, u"tree"_qs, {u"木"_qs}},
        {"meaning in another count", Mode::StrokeCounts, 3, 0, true, u"mirror"_qs, {}},
        {"no radical selected", Mode::Radicals, 3, -1, true, {}, {u"一"_qs}},
        {"handwriting", Mode::Handwriting, 3, 0, true, u"き"_qs, {}},
        {"keyboard", Mode::Keyboard, 3, 0, true, {}, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BrowseState state = searching(c.query, c.mode);
        state.countIndex = c.countIndex;
        state.radicalIndex = c.radicalIndex;
        state.japaneseOnly = c.japaneseOnly;
        EXPECT_EQ(list(state), c.expected);
    }
}

TEST(BrowseList, RadicalIndexCountsInTheFilteredNumbers) {
    BrowseState state = searching({}, Mode::Radicals);
    const std::vector<std::int64_t> fourStrokes = radicalNumbersFor(4, kStrokeEnds);  // 61 to 94
    state.radicalIndex = 75 - 61;
    EXPECT_EQ(browseList(fixture(), state, fourStrokes, kRanges).size(), 5);
    state.radicalIndex = 99;  // beyond the pop-up's items
    EXPECT_THAT(browseList(fixture(), state, fourStrokes, kRanges), IsEmpty());
}

TEST(BrowseSelectors, EachSegmentShowsItsOwnSelector) {
    EXPECT_EQ(selectorsFor(Mode::Ranges), (BrowseSelectors{.range = true}));
    EXPECT_EQ(selectorsFor(Mode::StrokeCounts), (BrowseSelectors{.count = true, .scope = true}));
    EXPECT_EQ(selectorsFor(Mode::Radicals), (BrowseSelectors{.radical = true, .scope = true}));
    EXPECT_EQ(selectorsFor(Mode::Handwriting), (BrowseSelectors{.scope = true}));
}

TEST(BrowsePopups, RadicalsFilteredByTheirStrokeCount) {
    const auto numbers = [](int index) { return radicalNumbersFor(index, kStrokeEnds); };
    EXPECT_EQ(numbers(0).size(), 214u);
    EXPECT_EQ(numbers(0).front(), 1);
    EXPECT_EQ(numbers(0).back(), 214);
    EXPECT_EQ(numbers(-1), numbers(0));
    EXPECT_THAT(numbers(1), ElementsAre(1, 2, 3, 4, 5, 6));
    EXPECT_EQ(numbers(4).front(), 61);
    EXPECT_EQ(numbers(4).back(), 94);
    EXPECT_EQ(numbers(4).size(), 34u);
    EXPECT_THAT(numbers(17), ElementsAre(214));
    std::size_t total = 0;
    for (int i = 1; i <= 17; ++i) total += numbers(i).size();
    EXPECT_EQ(total, 214u);
}

TEST(BrowsePopups, Titles) {
    const QStringList counts = strokeCountTitles();
    ASSERT_EQ(counts.size(), 64);
    EXPECT_EQ(counts[0], u"1画"_qs);
    EXPECT_EQ(counts[3], u"4画"_qs);
    EXPECT_EQ(counts[63], u"64画"_qs);
    const QStringList radicalCounts = radicalCountTitles();
    ASSERT_EQ(radicalCounts.size(), 18);
    EXPECT_EQ(radicalCounts[0], u"部首の画数：すべて"_qs);
    EXPECT_EQ(radicalCounts[1], u"部首 1画"_qs);
    EXPECT_EQ(radicalCounts[17], u"部首 17画"_qs);
    EXPECT_EQ(radicalTitle(1), u"\u2F00  1"_qs);
    EXPECT_EQ(radicalTitle(75), u"\u2F4A  75"_qs);
    EXPECT_EQ(radicalTitle(214), u"\u2FD5  214"_qs);
    QStringList names;
    for (const NamedRange& range : kRanges) names.append(range.name);
    EXPECT_EQ(names,
              (QStringList{u"ひらがな"_qs, u"カタカナ"_qs, u"英数字・記号"_qs, u"句読点・括弧"_qs,
                           u"全角・半角"_qs, u"漢字"_qs, u"漢字 拡張A"_qs, u"漢字 拡張B"_qs,
                           u"矢印"_qs, u"数学記号"_qs, u"罫線"_qs, u"外字領域"_qs}));
    // Each font family once, without the foundries Qt names where several make one.
    EXPECT_EQ(fontFamilies({u"Nimbus Sans [UKWN]"_qs, u"Noto Sans CJK JP"_qs,
                            u"Nimbus Sans [URW ]"_qs, u"DejaVu Sans"_qs, u"Nimbus Sans [urw]"_qs}),
              (QStringList{u"DejaVu Sans"_qs, u"Nimbus Sans"_qs, u"Noto Sans CJK JP"_qs}));
}

// Readings made only of kana and ideographs are searched without folding them: that holds
// only while none of those scalars has a case folding or takes part in composition.
TEST(SearchText, KanaAndIdeographsNeedNoFolding) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    ASSERT_TRUE(U_SUCCESS(status));
    for (UChar32 c = 0x3000; c <= 0x9FFF; ++c) {
        if ((c >= 0x302A && c <= 0x302F) || c == 0x3099 || c == 0x309A) continue;
        ASSERT_EQ(u_foldCase(c, U_FOLD_CASE_DEFAULT), c) << std::hex << c;
        ASSERT_FALSE(u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_CASEFOLDED)) << std::hex << c;
        ASSERT_EQ(nfc->getCombiningClass(c), 0) << std::hex << c;
        ASSERT_EQ(u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK), UNORM_YES) << std::hex << c;
    }
}

}  // namespace
}  // namespace sumiro
