#include "engine/Meanings.h"

#include <algorithm>
#include <optional>

#include "engine/Contract.h"

namespace sumiro {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Letters and digits of ASCII, and every byte of a non-ASCII character, make up words.
bool isWordByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x80 || (b >= '0' && b <= '9') || (lower(c) >= 'a' && lower(c) <= 'z');
}

// The words as they are looked for: ASCII letters in lower case, each run of white space one
// space, none at either end.
std::string searchForm(std::string_view words) {
    std::string form;
    for (const char c : words) {
        if (!isSpace(c)) {
            form += lower(c);
        } else if (!form.empty() && form.back() != ' ') {
            form += ' ';
        }
    }
    if (!form.empty() && form.back() == ' ') form.pop_back();
    return form;
}

// Whether `meaning` holds `words` (in search form) as whole words; `exact` tells whether it is
// nothing else.
bool holds(std::string_view meaning, std::string_view words, bool& exact) {
    if (words.size() > meaning.size()) return false;
    const bool wordFirst = isWordByte(words.front());
    const bool wordLast = isWordByte(words.back());
    const char first = words.front();
    for (std::size_t at = 0, last = meaning.size() - words.size(); at <= last; ++at) {
        if (lower(meaning[at]) != first) continue;
        if (wordFirst && at > 0 && isWordByte(meaning[at - 1])) continue;
        const std::size_t end = at + words.size();
        if (wordLast && end < meaning.size() && isWordByte(meaning[end])) continue;
        bool same = true;
        for (std::size_t k = 1; k < words.size() && same; ++k) {
            const char c = meaning[at + k];
            same = words[k] == ' ' ? isSpace(c) : lower(c) == words[k];
        }
        if (same) {
            exact = at == 0 && end == meaning.size();
            return true;
        }
    }
    return false;
}

}  // namespace

void MeaningTable::add(std::uint32_t record, std::span<const std::string> meanings) {
    if (meanings.empty()) return;
    SUMIRO_EXPECTS(owners_.empty() || owners_.back().record < record,
                   "MeaningTable::add: records out of order");
    owners_.push_back({record, static_cast<std::uint32_t>(ends_.size())});
    for (const std::string& m : meanings) {
        text_ += m;
        ends_.push_back(static_cast<std::uint32_t>(text_.size()));
    }
}

void MeaningTable::add(std::uint32_t record, std::initializer_list<std::string_view> meanings) {
    const std::vector<std::string> copies(meanings.begin(), meanings.end());
    add(record, copies);
}

std::string_view MeaningTable::meaning(std::size_t m) const {
    const std::size_t begin = m == 0 ? 0 : ends_[m - 1];
    return std::string_view(text_).substr(begin, ends_[m] - begin);
}

std::vector<std::string_view> MeaningTable::of(std::uint32_t record) const {
    const auto owner =
        std::lower_bound(owners_.begin(), owners_.end(), record,
                         [](const Owner& o, std::uint32_t r) { return o.record < r; });
    std::vector<std::string_view> list;
    if (owner == owners_.end() || owner->record != record) return list;
    const std::size_t end = owner + 1 == owners_.end() ? ends_.size() : (owner + 1)->first;
    for (std::size_t m = owner->first; m < end; ++m) list.push_back(meaning(m));
    return list;
}

std::vector<MeaningTable::Match> MeaningTable::find(std::string_view words) const {
    std::vector<Match> found;
    const std::string form = searchForm(words);
    if (form.empty()) return found;
    for (std::size_t o = 0; o < owners_.size(); ++o) {
        const std::size_t first = owners_[o].first;
        const std::size_t end = o + 1 == owners_.size() ? ends_.size() : owners_[o + 1].first;
        std::optional<Match> match;
        for (std::size_t m = first; m < end; ++m) {
            bool exact = false;
            if (!holds(meaning(m), form, exact) || (match && !exact)) continue;
            match = Match{owners_[o].record, static_cast<std::uint32_t>(m - first), exact};
            if (exact) break;
        }
        if (match) found.push_back(*match);
    }
    return found;
}

void MeaningTable::shrink() {
    text_.shrink_to_fit();
    ends_.shrink_to_fit();
    owners_.shrink_to_fit();
}

}  // namespace sumiro
