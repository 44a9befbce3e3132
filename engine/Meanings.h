#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sumiro {

/// The English meanings of inventory records, by record index. Most records have none and the
/// others a few short ones, so they are held in one block of text beside the records rather
/// than in them: the memory they take is about the size of their text in the file.
class MeaningTable {
public:
    /// Gives record `record` its meanings, in order. Records are added in ascending order, each
    /// at most once; a record given no meanings is left out.
    void add(std::uint32_t record, std::span<const std::string> meanings);
    void add(std::uint32_t record, std::initializer_list<std::string_view> meanings);

    /// The meanings of record `record`, in order; empty when it has none. The views live as
    /// long as the table.
    std::vector<std::string_view> of(std::uint32_t record) const;

    /// A record whose meanings hold some words: the record, which of its meanings (0 for the
    /// first) holds them, and whether that meaning is exactly those words. The meaning is the
    /// first that is exactly the words, else the first that holds them.
    struct Match {
        std::uint32_t record;
        std::uint32_t meaning;
        bool exact;
    };
    /// Every record one of whose meanings holds `words` as whole words, ignoring the case of
    /// ASCII letters, in ascending record order. A word ends where an ASCII letter or digit, or
    /// any non-ASCII character, neither goes on nor comes before it: "tree" is found in "tree",
    /// "Tree" and "tree (plant)", not in "trees" or "street". A run of white space in `words`
    /// stands for one space; blank words match nothing.
    std::vector<Match> find(std::string_view words) const;

    /// Number of records that have meanings, and of meanings.
    std::size_t records() const { return owners_.size(); }
    std::size_t meanings() const { return ends_.size(); }

    /// Gives spare capacity back once every record is added.
    void shrink();

    friend bool operator==(const MeaningTable&, const MeaningTable&) = default;

private:
    /// Meaning m is text_[ends_[m - 1], ends_[m]), the first one starting at 0.
    std::string_view meaning(std::size_t m) const;

    std::string text_;
    std::vector<std::uint32_t> ends_;
    /// A record with meanings, ascending: its meanings are first to the next owner's first.
    struct Owner {
        std::uint32_t record;
        std::uint32_t first;
        friend bool operator==(const Owner&, const Owner&) = default;
    };
    std::vector<Owner> owners_;
};

}  // namespace sumiro
