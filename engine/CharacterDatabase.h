#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CharacterEntry.h"
#include "engine/Ink.h"
#include "engine/InkTemplate.h"
#include "engine/JoinedStrokes.h"
#include "engine/Meanings.h"
#include "engine/Normalization.h"
#include "engine/StrokeStore.h"
#include "engine/TemplateSet.h"

namespace sumiro {

class HelperThread;

/// What the detail line tells of a text, in parts, for a caller that lays them out itself.
struct CharacterDetails {
    /// The inventory has a record for the text.
    bool known = false;
    /// The record's readings as written, "、" between them: on readings in katakana, then kun
    /// readings in hiragana with their okurigana in parentheses (ケン、み(る)); empty when
    /// unknown.
    std::string_view reading;
    /// The record's stroke count; 0 without a record.
    std::int64_t count = 0;
    /// The record's English meanings, the most important first.
    std::vector<std::string_view> meanings;
    /// The text's code points, "U+6728", "U+845B U+E0100".
    std::string codes;
};

/// The area a drawing was written in, such as the pad's square, in the ink's own units.
struct WritingArea {
    double width = 0.0;
    double height = 0.0;
};

/// The immutable character inventory and handwriting templates, with recognition and lookup.
/// Complete once constructed and never changed afterwards, so any number of threads may query
/// one database at the same time.
class CharacterDatabase {
public:
    /// Candidates returned by `recognize` when the caller gives no limit.
    static constexpr std::ptrdiff_t kDefaultLimit = 56;

    /// Loads characters.json and templates.json from the directory `resources`; the templates
    /// of common characters may be written joined as `joins` allows.
    /// Throws DataError (naming the file, and the record and key of a decoding error); when
    /// both files are faulty, the error of characters.json.
    explicit CharacterDatabase(const std::filesystem::path& resources,
                               const JoinPolicy& joins = kJoinPolicy);

    /// Builds a database from records already decoded, exactly as the loading constructor does,
    /// its templates joined as `joins` allows.
    CharacterDatabase(std::vector<CharacterEntry> entries, std::vector<RawTemplate> templates,
                      const JoinPolicy& joins = kJoinPolicy);
    /// The same, with the English meanings of the records, by index in `entries`.
    CharacterDatabase(std::vector<CharacterEntry> entries, MeaningTable meanings,
                      std::vector<RawTemplate> templates, const JoinPolicy& joins = kJoinPolicy);

    ~CharacterDatabase();
    CharacterDatabase(const CharacterDatabase&) = delete;
    CharacterDatabase& operator=(const CharacterDatabase&) = delete;

    /// Every inventory record, in file order, duplicates included.
    const std::vector<CharacterEntry>& entries() const { return entries_; }

    /// The first record whose character is canonically equivalent to `character`, or null.
    const CharacterEntry* byCharacter(std::string_view character) const;

    /// Number of distinct characters (under canonical equivalence) in the inventory.
    std::size_t distinctCharacters() const { return distinct_; }

    /// Every template, normalized, in file order. Recognition holds the templates in its own
    /// layouts, so the first call builds this list once, at a cost in time and memory: it is
    /// for tests and tools; counts, characters and strokes come cheaper below.
    const std::vector<InkTemplate>& templates() const;

    /// Number of templates.
    std::size_t fileTemplates() const { return fileTemplates_.size(); }

    /// The character of templates()[id].
    const std::string& templateCharacter(std::size_t id) const {
        return fileTemplates_[id].character;
    }

    /// The strokes of templates()[id], made in `scratch`.
    const Ink& templateStrokes(std::size_t id, Ink& scratch) const;

    /// How templates()[id] may be written joined: none for a template of an uncommon character.
    Joinability templateJoins(std::size_t id) const {
        const FileTemplate& t = fileTemplates_[id];
        return {t.pairs, t.joins};
    }

    /// The normalized stroke in piece slot `slot` (pieceSlot) of templates()[id], for slots
    /// below pieceSlots(strokes, templateJoins(id).maxJoins): one of its strokes, or a run of
    /// them joined, normalized within the template's box as normalized(joinStrokes(...))
    /// gives it; empty for a run that may not be joined.
    std::span<const InkPoint> pieceStroke(std::size_t id, std::size_t slot) const;

    /// What a template matched with `joins` of its strokes joined adds to its coarse and final
    /// scores (joinCost under the database's policy).
    double joinCost(std::size_t joins) const { return sumiro::joinCost(joins, joinPolicy_); }

    /// Ranks candidate characters for a drawn ink (any coordinates, y downward), best first;
    /// at most `limit` of them, which must not be negative. May list a character twice.
    /// Normalization throws the drawing's size away; given the `area` it was written in, a
    /// drawing small in it (its width and height under kSmallInk of the area's) ranks the small
    /// kana before their full-size twins, any other the full-size ones first.
    std::vector<std::string> recognize(const Ink& ink, std::ptrdiff_t limit = kDefaultLimit,
                                       std::optional<WritingArea> area = std::nullopt) const;

    /// The largest share of its writing area's width and height that a small kana takes: a
    /// hand writes them at about half the size of the others (which fill two thirds of the
    /// area or more), as printed text sets them at about four fifths.
    static constexpr double kSmallInk = 0.55;

    /// Characters with the given stroke count and/or radical, optionally only those used in
    /// Japanese: common ones first, then by stroke count, then in code point order.
    std::vector<std::string> search(std::optional<std::int64_t> count,
                                    std::optional<std::int64_t> radical,
                                    bool japaneseOnly = true) const;

    /// One-line description: the text, its reading and stroke count if known, its code points.
    std::string detail(std::string_view text) const;

    /// The parts of detail(), and the English meanings, of the record byCharacter finds. The
    /// views live as long as the database.
    CharacterDetails details(std::string_view text) const;

    /// The English meanings of every record, by index in entries().
    const MeaningTable& meaningTable() const { return meanings_; }

    /// Characters one of whose English meanings holds `words` as whole words, ignoring the
    /// case of ASCII letters (MeaningTable::find), best first: common characters, then the
    /// others used in Japanese, then the rest; in each group those with a meaning that is only
    /// the words ("big" finds 大 "large, big" before 斗 "Big Dipper"), then by the meaning that
    /// holds them, the first meaning first; then, as search() does, by stroke count and code
    /// point. A character listed twice with meanings may be found twice.
    std::vector<std::string> searchMeanings(std::string_view words) const;

private:
    void indexEntries();
    /// Finds how the templates of common characters may be joined, from `rawInks` (the file's
    /// ink of every template, or an empty one where none was kept), and keeps their joined
    /// runs. Lays out all templates.
    void addJoinedPieces(std::vector<Ink> rawInks, const JoinPolicy& joins);
    void flagCommonTemplates();
    /// The NFC of entry i's character, its map key and sort key.
    std::string_view keyOf(std::uint32_t i) const;
    /// Index of the first entry whose key is `key`, or kNoEntry.
    std::uint32_t find(std::string_view key) const;

    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

    std::vector<CharacterEntry> entries_;
    MeaningTable meanings_;
    // Nearly every character is in NFC already, so it is its own key; the others' keys are
    // kept apart, by entry index.
    std::vector<bool> ownKey_;
    std::vector<std::pair<std::uint32_t, std::string>> otherKeys_;
    // Open addressing over the keys, linear probing: one allocation for the whole inventory
    // instead of a node per character. A slot holds an entry index or kNoEntry.
    std::vector<std::uint32_t> slots_;
    std::size_t distinct_ = 0;
    /// A template of the file: its strokes are strokes_[first, first + count); its joined runs,
    /// slot by slot after its own strokes, pieces_[pieceFirst, ...).
    struct FileTemplate {
        std::string character;
        std::uint32_t first = 0;
        std::uint32_t count = 0;
        std::uint32_t pieceFirst = 0;
        std::uint32_t joins = 0;
        std::uint64_t pairs = 0;
    };
    /// Adds a template of the file, normalizing its ink.
    void addFileTemplate(std::string character, const Ink& raw);

    std::vector<FileTemplate> fileTemplates_;
    StrokeStore strokes_;
    StrokeStore pieces_;
    JoinPolicy joinPolicy_;
    mutable std::once_flag listOnce_;
    mutable std::vector<InkTemplate> list_;  // templates(), built on first use
    std::vector<char> templateCommon_;       // the common flag of each template's character
    TemplateSet templateSet_;
    // Takes half of a large recognition; one caller at a time, the others work alone.
    std::unique_ptr<HelperThread> helper_;
};

}  // namespace sumiro
