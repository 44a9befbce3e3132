#include "engine/CharacterDatabase.h"

#include <algorithm>
#include <atomic>
#include <functional>

#include "engine/DataDecoding.h"
#include "engine/HelperThread.h"
#include "engine/Normalization.h"
#include "engine/Text.h"

namespace sumiro {

namespace {

// Ends the template share once the inventory has failed; never reaches a caller.
struct LoadCancelled {};

std::size_t firstSlot(std::string_view key, std::size_t mask) {
    const std::size_t hash = std::hash<std::string_view>{}(key);
    return hash & mask;
}

}  // namespace

CharacterDatabase::CharacterDatabase(const std::filesystem::path& resources)
    : helper_(std::make_unique<HelperThread>()) {
    // An inventory that cannot be read fails before the template file is ever opened.
    const std::string inventory = readDataFile(resources / "characters.json");
    // From here the files are independent until the templates' common flags, so they decode
    // side by side. The inventory is the caller's share: its error is the one reported when
    // both fail, and it stops the template share early.
    std::atomic<bool> inventoryFailed{false};
    helper_->split([&](std::size_t share) {
        if (share == 0) {
            try {
                entries_ = decodeCharacterFile(inventory, "characters.json");
                indexEntries();
            } catch (...) {
                inventoryFailed.store(true, std::memory_order_relaxed);
                throw;
            }
            return;
        }
        loadTemplates(resources / "templates.json", [&](RawTemplate& raw) {
            if (inventoryFailed.load(std::memory_order_relaxed)) {
                throw LoadCancelled();
            }
            templates_.push_back({std::move(raw.character), normalized(raw.strokes)});
        });
        templates_.shrink_to_fit();
    });
    templateSet_ = TemplateSet(templates_, *helper_);
    flagCommonTemplates();
}

CharacterDatabase::CharacterDatabase(std::vector<CharacterEntry> entries,
                                     std::vector<RawTemplate> templates)
    : entries_(std::move(entries)), helper_(std::make_unique<HelperThread>()) {
    indexEntries();
    templates_.reserve(templates.size());
    for (RawTemplate& raw : templates) {
        templates_.push_back({std::move(raw.character), normalized(raw.strokes)});
    }
    templateSet_ = TemplateSet(templates_, *helper_);
    flagCommonTemplates();
}

CharacterDatabase::~CharacterDatabase() = default;

void CharacterDatabase::indexEntries() {
    keys_.reserve(entries_.size());
    for (const CharacterEntry& entry : entries_) {
        keys_.push_back(canonicalKey(entry.character));
    }
    // At most half full, so probes stay short.
    std::size_t size = 16;
    while (size < 2 * keys_.size()) {
        size *= 2;
    }
    slots_.assign(size, kNoEntry);
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < keys_.size(); ++i) {
        for (std::size_t s = firstSlot(keys_[i], mask);; s = (s + 1) & mask) {
            if (slots_[s] == kNoEntry) {
                slots_[s] = static_cast<std::uint32_t>(i);
                ++distinct_;
                break;
            }
            // The first record of a character wins.
            if (keys_[slots_[s]] == keys_[i]) {
                break;
            }
        }
    }
}

std::uint32_t CharacterDatabase::find(std::string_view key) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = firstSlot(key, mask);; s = (s + 1) & mask) {
        const std::uint32_t at = slots_[s];
        if (at == kNoEntry || keys_[at] == key) {
            return at;
        }
    }
}

void CharacterDatabase::flagCommonTemplates() {
    templateCommon_.reserve(templates_.size());
    for (const InkTemplate& t : templates_) {
        const CharacterEntry* entry = byCharacter(t.character);
        templateCommon_.push_back(entry != nullptr && entry->common ? 1 : 0);
    }
}

const CharacterEntry* CharacterDatabase::byCharacter(std::string_view character) const {
    const std::string key = canonicalKey(character);
    const std::uint32_t found = find(key);
    return found == kNoEntry ? nullptr : &entries_[found];
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
