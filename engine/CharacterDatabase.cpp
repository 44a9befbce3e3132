#include "engine/CharacterDatabase.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <span>

#include "engine/Contract.h"
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

CharacterDatabase::CharacterDatabase(const std::filesystem::path& resources,
                                     const JoinPolicy& joins)
    : helper_(std::make_unique<HelperThread>()) {
    // An inventory that cannot be read fails before the template file is ever opened.
    std::string inventory = readDataFile(resources / "characters.json");
    // From here the files are independent until the templates' common flags, so they decode
    // side by side. The inventory is the caller's share: its error is the one reported when
    // both fail, and it stops the template share early.
    std::atomic<bool> inventoryFailed{false};
    std::atomic<bool> inventoryReady{false};
    // The file's inks, until their joined runs are made.
    std::vector<Ink> rawInks;
    const bool joining = joins.maxJoins > 0;
    helper_->split([&](std::size_t share) {
        if (share == 0) {
            try {
                entries_ = decodeCharacterFile(inventory, "characters.json", &meanings_);
                // Grown by doubling while decoding: up to a third of it was spare.
                entries_.shrink_to_fit();
                meanings_.shrink();
                std::string().swap(inventory);
                indexEntries();
                inventoryReady.store(true, std::memory_order_release);
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
            addFileTemplate(std::move(raw.character), raw.strokes);
            if (joining) {
                // Once the inventory is in, only the inks of common characters are kept for
                // their joined runs (the inventory usually decodes first); the others stay with
                // the decoder, which reuses their buffers.
                const bool ready = inventoryReady.load(std::memory_order_acquire);
                const CharacterEntry* entry =
                    ready ? byCharacter(fileTemplates_.back().character) : nullptr;
                if (!ready || (entry != nullptr && entry->common)) {
                    rawInks.push_back(std::move(raw.strokes));
                } else {
                    rawInks.emplace_back();
                }
            }
        });
        fileTemplates_.shrink_to_fit();
    });
    addJoinedPieces(std::move(rawInks), joins);
    flagCommonTemplates();
}

CharacterDatabase::CharacterDatabase(std::vector<CharacterEntry> entries,
                                     std::vector<RawTemplate> templates, const JoinPolicy& joins)
    : CharacterDatabase(std::move(entries), MeaningTable(), std::move(templates), joins) {}

CharacterDatabase::CharacterDatabase(std::vector<CharacterEntry> entries, MeaningTable meanings,
                                     std::vector<RawTemplate> templates, const JoinPolicy& joins)
    : entries_(std::move(entries)),
      meanings_(std::move(meanings)),
      helper_(std::make_unique<HelperThread>()) {
    indexEntries();
    fileTemplates_.reserve(templates.size());
    std::vector<Ink> rawInks;
    rawInks.reserve(templates.size());
    for (RawTemplate& raw : templates) {
        addFileTemplate(std::move(raw.character), raw.strokes);
        rawInks.push_back(std::move(raw.strokes));
    }
    addJoinedPieces(std::move(rawInks), joins);
    flagCommonTemplates();
}

// Connected writing is matched through pieces: for a template of a common character, which
// people write fast, every run of consecutive strokes that a hand may join (joinability) is
// joined and normalized here once, slot by slot after the template's own strokes
// (pieceSlot), so that the recognizer can match any set of joins from them. A piece is
// normalized within the box of the template's whole ink, which joining leaves as it is, so it
// is exactly the stroke that normalizing the joined ink gives.
void CharacterDatabase::addJoinedPieces(std::vector<Ink> rawInks, const JoinPolicy& joins) {
    SUMIRO_EXPECTS(joins.costPerJoin >= 0 && joins.costOfJoining >= 0,
                   "JoinPolicy: a join's cost must not be negative");
    joinPolicy_ = joins;
    const std::size_t files = fileTemplates_.size();
    // The pieces of each template, made on two threads, then stored in template order.
    std::vector<Ink> made(files);
    if (joins.maxJoins > 0 && rawInks.size() == files) {
        helper_->split([&](std::size_t share) {
            std::vector<double> lengths;
            Stroke chain;
            // Every other template to each thread: neighbours have similar stroke counts.
            for (std::size_t t = share; t < files; t += 2) {
                Ink raw = std::move(rawInks[t]);
                const CharacterEntry* entry = byCharacter(fileTemplates_[t].character);
                if (entry == nullptr || !entry->common) {
                    continue;
                }
                // Normalizing drops empty strokes: the pieces join the strokes it keeps.
                std::erase_if(raw, [](const Stroke& stroke) { return stroke.empty(); });
                FileTemplate& file = fileTemplates_[t];
                const Joinability joinable = joinability(raw, joins);
                if (joinable.maxJoins == 0 || raw.size() != file.count) {
                    continue;
                }
                NormalizingBox box;
                const bool boxed = normalizingBox(raw, box);
                const std::size_t m = raw.size();
                Ink& pieces = made[t];
                bool finite = true;
                for (std::size_t s = 0; s < m; ++s) {
                    for (const InkPoint& p : strokes_[file.first + s]) {
                        finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
                    }
                }
                for (std::size_t length = 2; length <= joinable.maxJoins + 1; ++length) {
                    for (std::size_t first = 0; first + length <= m; ++first) {
                        Stroke& piece = pieces.emplace_back();
                        const std::uint64_t run = ((std::uint64_t{1} << (length - 1)) - 1) << first;
                        if ((joinable.pairs & run) != run) {
                            continue;  // never read: its slot lies far away
                        }
                        if (boxed) {
                            chain.assign(raw[first].begin(), raw[first].end());
                            for (std::size_t s = first + 1; s < first + length; ++s) {
                                chain.insert(chain.end(), raw[s].begin(), raw[s].end());
                            }
                            normalizeStrokeInto(chain, box, piece, lengths);
                        } else {
                            std::vector<std::size_t> pairs;
                            for (std::size_t s = first; s + 1 < first + length; ++s) {
                                pairs.push_back(s);
                            }
                            piece = std::move(normalized(joinStrokes(raw, pairs))[first]);
                        }
                        for (const InkPoint& p : piece) {
                            finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
                        }
                    }
                }
                // A template whose numbers overflow has no distances to choose joins by.
                if (!finite) {
                    pieces.clear();
                    continue;
                }
                file.joins = static_cast<std::uint32_t>(joinable.maxJoins);
                file.pairs = joinable.pairs;
            }
        });
    }
    std::vector<TemplateSet::Shape> shapes;
    shapes.reserve(files);
    const Stroke unused(kStrokePoints, InkPoint{0, 0});
    for (std::size_t t = 0; t < files; ++t) {
        FileTemplate& file = fileTemplates_[t];
        file.pieceFirst = static_cast<std::uint32_t>(pieces_.size());
        for (const Stroke& piece : made[t]) {
            pieces_.add(piece.empty() ? unused : piece);
        }
        Ink().swap(made[t]);
        shapes.push_back({file.count, {file.pairs, file.joins}});
    }
    templateSet_ = TemplateSet(
        shapes,
        [this](std::size_t id, std::vector<std::span<const InkPoint>>& pieces, Ink&) {
            const FileTemplate& file = fileTemplates_[id];
            const std::size_t slots = pieceSlots(file.count, file.joins);
            pieces.clear();
            for (std::size_t q = 0; q < slots; ++q) {
                pieces.push_back(pieceStroke(id, q));
            }
        },
        helper_.get());
}

void CharacterDatabase::addFileTemplate(std::string character, const Ink& raw) {
    const Ink ink = normalized(raw);
    FileTemplate added{std::move(character), static_cast<std::uint32_t>(strokes_.size()),
                       static_cast<std::uint32_t>(ink.size())};
    for (const Stroke& stroke : ink) {
        strokes_.add(stroke);
    }
    fileTemplates_.push_back(std::move(added));
}

const Ink& CharacterDatabase::templateStrokes(std::size_t id, Ink& scratch) const {
    const FileTemplate& file = fileTemplates_[id];
    scratch.resize(file.count);
    for (std::size_t s = 0; s < file.count; ++s) {
        const std::span<const InkPoint> stroke = strokes_[file.first + s];
        scratch[s].assign(stroke.begin(), stroke.end());
    }
    return scratch;
}

std::span<const InkPoint> CharacterDatabase::pieceStroke(std::size_t id, std::size_t slot) const {
    const FileTemplate& file = fileTemplates_[id];
    if (slot < file.count) {
        return strokes_[file.first + slot];
    }
    // Slot `slot` is the run of `length` strokes from `first`.
    std::size_t first = slot - file.count;
    std::size_t length = 2;
    while (first >= file.count - length + 1) {
        first -= file.count - length + 1;
        ++length;
    }
    const std::uint64_t run = ((std::uint64_t{1} << (length - 1)) - 1) << first;
    if ((file.pairs & run) != run) {
        return {};
    }
    return pieces_[file.pieceFirst + slot - file.count];
}

const std::vector<InkTemplate>& CharacterDatabase::templates() const {
    std::call_once(listOnce_, [this] {
        list_.reserve(fileTemplates_.size());
        Ink scratch;
        for (std::size_t id = 0; id < fileTemplates_.size(); ++id) {
            list_.push_back({templateCharacter(id), templateStrokes(id, scratch)});
        }
    });
    return list_;
}

CharacterDatabase::~CharacterDatabase() = default;

std::string_view CharacterDatabase::keyOf(std::uint32_t i) const {
    if (ownKey_[i]) {
        return entries_[i].character;
    }
    const auto other =
        std::lower_bound(otherKeys_.begin(), otherKeys_.end(), i,
                         [](const auto& key, std::uint32_t at) { return key.first < at; });
    return other->second;
}

void CharacterDatabase::indexEntries() {
    const std::size_t count = entries_.size();
    ownKey_.assign(count, true);
    for (std::size_t i = 0; i < count; ++i) {
        std::string key = canonicalKey(entries_[i].character);
        if (key != entries_[i].character) {
            ownKey_[i] = false;
            otherKeys_.emplace_back(static_cast<std::uint32_t>(i), std::move(key));
        }
    }
    // At most half full, so probes stay short.
    std::size_t size = 16;
    while (size < 2 * count) {
        size *= 2;
    }
    slots_.assign(size, kNoEntry);
    const std::size_t mask = size - 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string_view key = keyOf(i);
        for (std::size_t s = firstSlot(key, mask);; s = (s + 1) & mask) {
            if (slots_[s] == kNoEntry) {
                slots_[s] = i;
                ++distinct_;
                break;
            }
            // The first record of a character wins.
            if (keyOf(slots_[s]) == key) {
                break;
            }
        }
    }
}

std::uint32_t CharacterDatabase::find(std::string_view key) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t s = firstSlot(key, mask);; s = (s + 1) & mask) {
        const std::uint32_t at = slots_[s];
        if (at == kNoEntry || keyOf(at) == key) {
            return at;
        }
    }
}

void CharacterDatabase::flagCommonTemplates() {
    templateCommon_.reserve(fileTemplates_.size());
    for (const FileTemplate& t : fileTemplates_) {
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
        return keyOf(a) < keyOf(b);
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
    const CharacterDetails parts = details(text);
    std::string out(text);
    out += kGap;
    if (parts.known) {
        out += parts.reading.empty() ? std::string_view("読み情報なし") : parts.reading;
        out += kGap;
        out += std::to_string(parts.count);
        out += "画";
        out += kGap;
    }
    out += parts.codes;
    return out;
}

CharacterDetails CharacterDatabase::details(std::string_view text) const {
    CharacterDetails parts;
    const std::uint32_t found = find(canonicalKey(text));
    if (found != kNoEntry) {
        const CharacterEntry& entry = entries_[found];
        parts.known = true;
        parts.reading = entry.reading;
        parts.count = entry.count;
        parts.meanings = meanings_.of(found);
    }
    parts.codes = codeList(text);
    return parts;
}

std::vector<std::string> CharacterDatabase::searchMeanings(std::string_view words) const {
    std::vector<MeaningTable::Match> found = meanings_.find(words);
    // Those the table names beyond the inventory are left out.
    std::erase_if(found,
                  [this](const MeaningTable::Match& m) { return m.record >= entries_.size(); });
    const auto rarity = [this](std::uint32_t i) {
        const CharacterEntry& e = entries_[i];
        return e.common ? 0 : e.japanese ? 1 : 2;
    };
    std::stable_sort(found.begin(), found.end(),
                     [&](const MeaningTable::Match& a, const MeaningTable::Match& b) {
                         const int ra = rarity(a.record);
                         const int rb = rarity(b.record);
                         if (ra != rb) return ra < rb;
                         if (a.exact != b.exact) return a.exact;
                         if (a.meaning != b.meaning) return a.meaning < b.meaning;
                         const std::int64_t ca = entries_[a.record].count;
                         const std::int64_t cb = entries_[b.record].count;
                         if (ca != cb) return ca < cb;
                         return keyOf(a.record) < keyOf(b.record);
                     });
    std::vector<std::string> result;
    result.reserve(found.size());
    for (const MeaningTable::Match& m : found) {
        result.push_back(entries_[m.record].character);
    }
    return result;
}

}  // namespace sumiro
