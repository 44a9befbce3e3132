#include "engine/CharacterDatabase.h"

#include <algorithm>
#include <atomic>
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

// Walks the strokes of an ink with the given joins (ascending): kept(s) for each stroke s left
// as it is, joined(first, last) for each run of strokes first to last made one, in order.
template <class Kept, class Joined>
void forEachPiece(std::span<const std::uint32_t> joins, std::size_t strokes, Kept kept,
                  Joined joined) {
    auto next = joins.begin();
    for (std::size_t s = 0; s < strokes; ++s) {
        if (next == joins.end() || *next != s) {
            kept(s);
            continue;
        }
        const std::size_t first = s;
        for (; next != joins.end() && *next == s; ++next) {
            ++s;
        }
        joined(first, s);
    }
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
    // The file's inks, until the joined specimens are derived from them.
    std::vector<Ink> rawInks;
    const bool joining = joins.maxJoins > 0 && joins.maxSpecimens > 0;
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
                // the joined specimens (the inventory usually decodes first); the others stay
                // with the decoder, which reuses their buffers.
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
    addJoinedSpecimens(std::move(rawInks), joins);
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
    addJoinedSpecimens(std::move(rawInks), joins);
    flagCommonTemplates();
}

// templates.json holds one drawing per record. The joined specimens are not stored there but
// derived here, from each template's own ink, and placed right after it: the same templates in
// the same order as a file holding them would give, at a fraction of its size and load time.
// So there are more templates than the file has records (fileTemplates() of them are the
// file's), and only templates of common characters, which are written fast, get specimens.
// A derived specimen is kept as its template and its joins, and laid out for matching; its
// double-precision strokes are made again when needed (an exact rescoring, templates()), which
// keeps memory to a third.
void CharacterDatabase::addJoinedSpecimens(std::vector<Ink> rawInks, const JoinPolicy& joins) {
    SUMIRO_EXPECTS(joins.costPerJoin >= 0 && joins.costPerUnlikeliness >= 0,
                   "JoinPolicy: a specimen's cost must not be negative");
    const std::size_t files = fileTemplates_.size();
    derivations_.assign(files, {});
    if (joins.maxJoins > 0 && joins.maxSpecimens > 0 && rawInks.size() == files) {
        helper_->split([&](std::size_t share) {
            // Every other template to each thread: neighbours have similar stroke counts.
            for (std::size_t t = share; t < files; t += 2) {
                Ink raw = std::move(rawInks[t]);
                const CharacterEntry* entry = byCharacter(fileTemplates_[t].character);
                if (entry == nullptr || !entry->common) {
                    continue;
                }
                Derivation& derivation = derivations_[t];
                std::vector<double> likelihoods;
                const std::vector<std::vector<std::size_t>> sets =
                    joinSets(raw, joins, &likelihoods);
                for (std::size_t k = 0; k < sets.size(); ++k) {
                    const std::vector<std::size_t>& set = sets[k];
                    SUMIRO_EXPECTS(set.size() <= JoinSet{}.at.size(),
                                   "joinSets: more joins than connected writing is modelled with");
                    JoinSet compact;
                    std::copy(set.begin(), set.end(), compact.at.begin());
                    compact.count = static_cast<std::uint32_t>(set.size());
                    derivation.sets.push_back(compact);
                    derivation.costs.push_back(specimenCost(set.size(), likelihoods[k], joins));
                }
                if (derivation.sets.empty()) {
                    continue;
                }
                derivation.boxed =
                    fileTemplates_[t].count == raw.size() && normalizingBox(raw, derivation.box);
                derivation.raw = std::move(raw);
            }
        });
    }
    std::size_t total = files;
    for (const Derivation& derivation : derivations_) {
        total += derivation.sets.size();
    }
    order_.reserve(total);
    templateCost_.reserve(total);
    std::vector<std::uint32_t> strokeCounts;
    strokeCounts.reserve(total);
    for (std::size_t t = 0; t < files; ++t) {
        const std::uint32_t m = fileTemplates_[t].count;
        order_.push_back({static_cast<std::uint32_t>(t), 0});
        templateCost_.push_back(0.0);
        strokeCounts.push_back(m);
        const std::vector<JoinSet>& sets = derivations_[t].sets;
        for (std::size_t k = 0; k < sets.size(); ++k) {
            order_.push_back({static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(k + 1)});
            templateCost_.push_back(derivations_[t].costs[k]);
            // Joined strokes are never empty, so each join takes one stroke off.
            strokeCounts.push_back(m - sets[k].count);
        }
    }
    templateSet_ = TemplateSet(
        strokeCounts,
        [this](std::size_t id, std::vector<std::span<const InkPoint>>& strokes, Ink& scratch) {
            listStrokes(id, strokes, scratch);
        },
        [this](std::size_t id, std::vector<TemplateSet::StrokeOrigin>& origins) {
            listOrigins(id, origins);
        },
        *helper_);
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
    std::vector<std::span<const InkPoint>> strokes;
    Ink joined;
    listStrokes(id, strokes, joined);
    scratch.clear();
    scratch.reserve(strokes.size());
    for (const std::span<const InkPoint> stroke : strokes) {
        scratch.emplace_back(stroke.begin(), stroke.end());
    }
    return scratch;
}

void CharacterDatabase::listStrokes(std::size_t id, std::vector<std::span<const InkPoint>>& strokes,
                                    Ink& scratch) const {
    strokes.clear();
    const TemplateRef ref = order_[id];
    const FileTemplate& file = fileTemplates_[ref.file];
    const auto own = [&](std::size_t s) { return strokes_[file.first + s]; };
    if (ref.joins == 0) {
        for (std::size_t s = 0; s < file.count; ++s) {
            strokes.push_back(own(s));
        }
        return;
    }
    const Derivation& derivation = derivations_[ref.file];
    const Ink& raw = derivation.raw;
    const JoinSet& set = derivation.sets[ref.joins - 1];
    if (!derivation.boxed) {
        // An empty stroke shifts the template's strokes against the raw ones.
        const std::vector<std::size_t> joins(set.at.begin(), set.at.begin() + set.count);
        scratch = normalized(joinStrokes(raw, joins));
        for (const Stroke& stroke : scratch) {
            strokes.push_back(stroke);
        }
        return;
    }
    // normalized(joinStrokes(raw, joins)), made faster: the joined ink has the points of the
    // raw ink, so the same box, and the strokes it keeps are the template's own. The scratch's
    // strokes keep their buffers from one specimen to the next; no more joined strokes than
    // joins, so it never grows while its strokes are listed.
    thread_local Stroke chain;
    thread_local std::vector<double> lengths;
    scratch.resize(set.count);
    std::size_t made = 0;
    forEachPiece(
        {set.at.data(), set.count}, raw.size(), [&](std::size_t s) { strokes.push_back(own(s)); },
        [&](std::size_t first, std::size_t last) {
            chain.assign(raw[first].begin(), raw[first].end());
            for (std::size_t s = first + 1; s <= last; ++s) {
                chain.insert(chain.end(), raw[s].begin(), raw[s].end());
            }
            Stroke& joined = scratch[made++];
            normalizeStrokeInto(chain, derivation.box, joined, lengths);
            strokes.push_back(joined);
        });
}

// A specimen that listStrokes makes from its template's box keeps the template's own strokes
// where it joins none: they are laid out once, for both.
void CharacterDatabase::listOrigins(std::size_t id,
                                    std::vector<TemplateSet::StrokeOrigin>& origins) const {
    origins.clear();
    const TemplateRef ref = order_[id];
    if (ref.joins == 0 || !derivations_[ref.file].boxed) {
        return;
    }
    const Derivation& derivation = derivations_[ref.file];
    const JoinSet& set = derivation.sets[ref.joins - 1];
    // The template itself comes right before its specimens.
    const auto base = static_cast<std::uint32_t>(id - ref.joins);
    forEachPiece(
        {set.at.data(), set.count}, derivation.raw.size(),
        [&](std::size_t s) {
            origins.push_back({base, static_cast<std::uint32_t>(s)});
        },
        [&](std::size_t, std::size_t) {
            origins.push_back({TemplateSet::kOwn, 0});
        });
}

const std::vector<InkTemplate>& CharacterDatabase::templates() const {
    std::call_once(listOnce_, [this] {
        list_.reserve(order_.size());
        for (std::size_t id = 0; id < order_.size(); ++id) {
            Ink scratch;
            const Ink& strokes = templateStrokes(id, scratch);
            list_.push_back({templateCharacter(id), strokes});
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
    std::vector<char> fileCommon;
    fileCommon.reserve(fileTemplates_.size());
    for (const FileTemplate& t : fileTemplates_) {
        const CharacterEntry* entry = byCharacter(t.character);
        fileCommon.push_back(entry != nullptr && entry->common ? 1 : 0);
    }
    templateCommon_.reserve(order_.size());
    for (const TemplateRef& ref : order_) {
        templateCommon_.push_back(fileCommon[ref.file]);
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
