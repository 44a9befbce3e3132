#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CharacterEntry.h"
#include "engine/Ink.h"
#include "engine/InkTemplate.h"
#include "engine/TemplateSet.h"

namespace sumiro {

class HelperThread;

/// The immutable character inventory and handwriting templates, with recognition and lookup.
/// Complete once constructed and never changed afterwards, so any number of threads may query
/// one database at the same time.
class CharacterDatabase {
public:
    /// Candidates returned by `recognize` when the caller gives no limit.
    static constexpr std::ptrdiff_t kDefaultLimit = 56;

    /// Loads characters.json and templates.json from the directory `resources`.
    /// Throws DataError (naming the file, and the record and key of a decoding error); when
    /// both files are faulty, the error of characters.json.
    explicit CharacterDatabase(const std::filesystem::path& resources);

    /// Builds a database from records already decoded, exactly as the loading constructor does.
    CharacterDatabase(std::vector<CharacterEntry> entries, std::vector<RawTemplate> templates);

    ~CharacterDatabase();
    CharacterDatabase(const CharacterDatabase&) = delete;
    CharacterDatabase& operator=(const CharacterDatabase&) = delete;

    /// Every inventory record, in file order, duplicates included.
    const std::vector<CharacterEntry>& entries() const { return entries_; }

    /// The first record whose character is canonically equivalent to `character`, or null.
    const CharacterEntry* byCharacter(std::string_view character) const;

    /// Number of distinct characters (under canonical equivalence) in the inventory.
    std::size_t distinctCharacters() const { return distinct_; }

    /// Every template, normalized, in file order.
    const std::vector<InkTemplate>& templates() const { return templates_; }

    /// Ranks candidate characters for a drawn ink (any coordinates, y downward), best first;
    /// at most `limit` of them, which must not be negative. May list a character twice.
    std::vector<std::string> recognize(const Ink& ink, std::ptrdiff_t limit = kDefaultLimit) const;

    /// Characters with the given stroke count and/or radical, optionally only those used in
    /// Japanese: common ones first, then by stroke count, then in code point order.
    std::vector<std::string> search(std::optional<std::int64_t> count,
                                    std::optional<std::int64_t> radical,
                                    bool japaneseOnly = true) const;

    /// One-line description: the text, its reading and stroke count if known, its code points.
    std::string detail(std::string_view text) const;

private:
    void indexEntries();
    void flagCommonTemplates();
    /// Index of the first entry whose key is `key`, or kNoEntry.
    std::uint32_t find(std::string_view key) const;

    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

    std::vector<CharacterEntry> entries_;
    std::vector<std::string> keys_;  // NFC of each entry's character: map keys and sort keys
    // Open addressing over keys_, linear probing: one allocation for the whole inventory
    // instead of a node per character. A slot holds an entry index or kNoEntry.
    std::vector<std::uint32_t> slots_;
    std::size_t distinct_ = 0;
    std::vector<InkTemplate> templates_;
    std::vector<char> templateCommon_;  // the common flag of each template's character
    TemplateSet templateSet_;
    // Takes half of a large recognition; one caller at a time, the others work alone.
    std::unique_ptr<HelperThread> helper_;
};

}  // namespace sumiro
