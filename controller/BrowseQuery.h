#pragma once

// What the browse mode lists, decided without any widget: the pop-up contents, the selector
// shown per mode and the list for a given state of the controls.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "controller/Mode.h"

namespace sumiro {

class CharacterDatabase;

/// A closed range of Unicode scalar values offered by the range pop-up under its name.
struct NamedRange {
    QString name;
    char32_t first;
    char32_t last;
};

/// The items of the total stroke-count pop-up: "1画" to "64画".
QStringList strokeCountTitles();
/// The items of the radical stroke-count pop-up: "部首の画数：すべて", then "部首 1画" up to
/// "部首 17画".
QStringList radicalCountTitles();
/// The radical numbers offered for item `index` of the radical stroke-count pop-up: all 214 for
/// the first item or no selection, else the radicals of that many strokes. Element k − 1 of
/// `strokeEnds` is the highest number among the radicals of k strokes.
std::vector<std::int64_t> radicalNumbersFor(int index, std::span<const std::int64_t> strokeEnds);
/// The radical pop-up's title of radical n: its Kangxi radical character, two spaces, n.
QString radicalTitle(std::int64_t n);

/// The font pop-up's items for the families Qt lists: each family once, without the foundry that
/// Qt adds in brackets where several make it ("Nimbus Sans [URW ]"), in text order (by the
/// scalar values of the canonical composition).
QStringList fontFamilies(const QStringList& listed);

/// Which selectors a browse mode shows.
struct BrowseSelectors {
    bool range = false;
    bool count = false;
    bool radical = false;  ///< both radical pop-ups
    bool scope = false;
    friend bool operator==(const BrowseSelectors&, const BrowseSelectors&) = default;
};
BrowseSelectors selectorsFor(Mode mode);

/// The state of the browse controls that decides the list.
struct BrowseState {
    Mode mode = Mode::Ranges;  ///< Ranges, StrokeCounts or Radicals; any other lists nothing
    QString search;            ///< the search field's text as typed
    int rangeIndex = 0;        ///< selected item of the range pop-up, −1 for none
    int countIndex = 3;        ///< selected item of the stroke-count pop-up, −1 for none
    int radicalIndex = 0;      ///< selected item of the radical pop-up, −1 for none
    bool japaneseOnly = true;
};

/// The characters to list for `state`; `radicalNumbers` and `ranges` are what the radical and
/// range pop-ups' items stand for, index for index. A search lists the characters equal to the
/// search text or whose reading contains it, then, for ASCII text with a letter, those whose
/// English meanings hold it as whole words, best first (CharacterDatabase::searchMeanings).
/// Searched over the whole inventory ("文字一覧"), the character itself comes first, then those
/// with a reading that is the text, then a reading that starts with it, then the rest; in each
/// of these common characters first, then the others used in Japanese, then the rest, each in
/// inventory order. The stroke-count and radical lists keep their own order.
QStringList browseList(const CharacterDatabase& database, const BrowseState& state,
                       std::span<const std::int64_t> radicalNumbers,
                       std::span<const NamedRange> ranges);

/// The scalar named by a search text "U+XXXX" (either case, hexadecimal digits only), if it is
/// a Unicode scalar value; otherwise the text is searched as text.
std::optional<char32_t> codeQuery(const QString& query);

/// A search text matched against inventory characters (canonical equivalence) and readings
/// (containment ignoring case and the parentheses around okurigana, under canonical
/// equivalence). Keeps its buffers between calls, so a pass over the whole inventory allocates
/// next to nothing.
class SearchText {
public:
    explicit SearchText(std::string_view utf8);

    /// Whether `character` is canonically equivalent to the search text.
    bool equals(std::string_view character) const;
    /// Whether `reading` contains the search text, ignoring case and parentheses (み(る) holds
    /// みる and み(る)); a match must not end inside a user-perceived character of the reading.
    bool inReading(std::string_view reading) const;
    /// How well the readings ("、" between them) hold the search text, as inReading finds it:
    /// a whole reading, or its part before the okurigana (み and みる both for み(る)); the start
    /// of one; anywhere else; or not at all.
    enum class ReadingMatch { Whole, Start, Inside, None };
    ReadingMatch readingMatch(std::string_view reading) const;

private:
    bool containsFolded(std::string_view haystack) const;
    // The reading's NFC case folding, its parentheses kept: the reading itself or a buffer.
    std::string_view foldedReading(std::string_view reading) const;

    std::string key_;     // NFC of the search text
    std::string folded_;  // NFC of the case-folded search text
    mutable std::string foldBuffer_;
    mutable std::string nfcBuffer_;
};

}  // namespace sumiro
