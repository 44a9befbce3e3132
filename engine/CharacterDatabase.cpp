#include "engine/CharacterDatabase.h"

#include <algorithm>

#include "engine/DataDecoding.h"
#include "engine/HelperThread.h"
#include "engine/Normalization.h"
#include "engine/Text.h"

namespace sumiro {

CharacterDatabase::CharacterDatabase(const std::filesystem::path& resources)
    : entries_(loadCharacters(resources / "characters.json")) {
    indexEntries();
    // The inventory is complete before the template file is opened.
    loadTemplates(resources / "templates.json", [this](RawTemplate& raw) { addTemplate(raw); });
    templates_.shrink_to_fit();
    templateCommon_.shrink_to_fit();
    templateSet_ = TemplateSet(templates_);
    helper_ = std::make_unique<HelperThread>();
}

CharacterDatabase::CharacterDatabase(std::vector<CharacterEntry> entries,
                                     std::vector<RawTemplate> templates)
    : entries_(std::move(entries)) {
    indexEntries();
    templates_.reserve(templates.size());
    templateCommon_.reserve(templates.size());
    for (RawTemplate& raw : templates) {
        addTemplate(raw);
    }
    templateSet_ = TemplateSet(templates_);
    helper_ = std::make_unique<HelperThread>();
}

CharacterDatabase::~CharacterDatabase() = default;

void CharacterDatabase::indexEntries() {
    keys_.reserve(entries_.size());
    for (const CharacterEntry& entry : entries_) {
        keys_.push_back(canonicalKey(entry.character));
    }
    index_.reserve(entries_.size());
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        // The first record of a character wins.
        index_.try_emplace(keys_[i], static_cast<std::uint32_t>(i));
    }
}

void CharacterDatabase::addTemplate(RawTemplate& raw) {
    InkTemplate ink{std::move(raw.character), normalized(raw.strokes)};
    const CharacterEntry* entry = byCharacter(ink.character);
    templateCommon_.push_back(entry != nullptr && entry->common ? 1 : 0);
    templates_.push_back(std::move(ink));
}

const CharacterEntry* CharacterDatabase::byCharacter(std::string_view character) const {
    const std::string key = canonicalKey(character);
    const auto found = index_.find(key);
    return found == index_.end() ? nullptr : &entries_[found->second];
}

std::vector<std::string> CharacterDatabase::search(std::optional<std::int64_t> count,
                                                   std::optional<std::int64_t> radical,
                                                   bool japaneseOnly) const {
    std::vector<std::uint32_t> kept;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const CharacterEntry& e = entries_[i];
        if (japaneseOnly && !e.japanese) {
            continue;
        }
        if (count && *count != e.count) {
            continue;
        }
        if (radical &&
            std::find(e.radicals.begin(), e.radicals.end(), *radical) == e.radicals.end()) {
            continue;
        }
        kept.push_back(static_cast<std::uint32_t>(i));
    }
    // NFC in UTF-8 compares bytewise in Unicode scalar order.
    std::stable_sort(kept.begin(), kept.end(), [this](std::uint32_t a, std::uint32_t b) {
        const CharacterEntry& x = entries_[a];
        const CharacterEntry& y = entries_[b];
        if (x.common != y.common) {
            return x.common;
        }
        if (x.count != y.count) {
            return x.count < y.count;
        }
        return keys_[a] < keys_[b];
    });
    std::vector<std::string> result;
    result.reserve(kept.size());
    for (std::uint32_t i : kept) {
        result.push_back(entries_[i].character);
    }
    return result;
}

std::string CharacterDatabase::detail(std::string_view text) const {
    static constexpr std::string_view kGap = "   ";
    std::string out(text);
    out += kGap;
    if (const CharacterEntry* entry = byCharacter(text)) {
        out += entry->reading.empty() ? std::string_view("読み情報なし") : entry->reading;
        out += kGap;
        out += std::to_string(entry->count);
        out += "画";
        out += kGap;
    }
    out += codeList(text);
    return out;
}

}  // namespace sumiro
