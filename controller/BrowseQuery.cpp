#include "controller/BrowseQuery.h"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <unordered_set>

#include "controller/PadTexts.h"
#include "engine/CharacterDatabase.h"
#include "engine/Text.h"

namespace sumiro {

namespace {

constexpr std::int64_t kRadicals = 214;
constexpr int kStrokeCounts = 64;
constexpr int kRadicalStrokeCounts = 17;

const icu::Normalizer2& nfc() {
    // Owned by ICU for the life of the process; it only fails when ICU's data is missing.
    static const icu::Normalizer2* instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        return icu::Normalizer2::getNFCInstance(status);
    }();
    return *instance;
}

QString scalarText(char32_t c) { return QString::fromUcs4(&c, 1); }

bool isScalar(char32_t v) { return v <= QChar::LastValidCodePoint && !QChar::isSurrogate(v); }

// Whether every scalar of the text is lower-case ASCII or caseless ASCII, or lies in
// U+3000–U+9FFF (kana, CJK punctuation, ideographs) other than its combining marks (tone
// marks, voiced sound marks): such a text is its own NFC and its own case folding, so it is
// searched as it is. Nearly every reading of the inventory is such a text.
bool isPlain(std::string_view text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        if (b < 0x80) {
            if (b >= 'A' && b <= 'Z') return false;
            ++i;
        } else if (b >= 0xE3 && b <= 0xE9) {
            if (i + 2 >= n) return false;
            if (b == 0xE3) {
                const unsigned c = 0x3000u | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
                if ((c >= 0x302A && c <= 0x302F) || c == 0x3099 || c == 0x309A) return false;
            }
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// The NFC form of the case folding of `text`, written into `out`; `scratch` holds the folding.
void foldInto(std::string_view text, std::string& out, std::string& scratch) {
    out.clear();
    if (isPlain(text)) {
        out.assign(text);
        return;
    }
    scratch.clear();
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> foldSink(&scratch);
    icu::CaseMap::utf8Fold(U_FOLD_CASE_DEFAULT,
                           icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())),
                           foldSink, nullptr, status);
    if (U_FAILURE(status)) scratch.assign(text);
    status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> nfcSink(&out);
    nfc().normalizeUTF8(0,
                        icu::StringPiece(scratch.data(), static_cast<std::int32_t>(scratch.size())),
                        nfcSink, nullptr, status);
    if (U_FAILURE(status)) out = scratch;
}

// Readings write okurigana in parentheses, み(る); they are searched as if written みる.
void dropParentheses(std::string& text) {
    std::erase_if(text, [](char c) { return c == '(' || c == ')'; });
}

// Whether the scalar at byte `at` continues the user-perceived character before it.
bool extendsCharacter(std::string_view text, std::size_t at) {
    if (at >= text.size()) return false;
    const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
    auto i = static_cast<std::int32_t>(at);
    UChar32 c = 0;
    U8_NEXT(s, i, static_cast<std::int32_t>(text.size()), c);
    if (c < 0) return false;
    const auto kind = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
    return kind == U_GCB_EXTEND || kind == U_GCB_SPACING_MARK || kind == U_GCB_ZWJ;
}

bool isOneCharacter(const QString& text) {
    if (text.isEmpty()) return false;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    return finder.toNextBoundary() == text.size();
}

// Whether a search text is looked up in the English meanings too: ASCII, with a letter.
bool isMeaningQuery(const QString& query) {
    bool letter = false;
    for (const QChar c : query) {
        const char16_t u = c.unicode();
        if (u >= 0x80) return false;
        letter = letter || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
    }
    return letter;
}

// Appends the characters whose English meanings hold the search text as whole words, best
// first, leaving out those listed already and, when `within` is given, those not in it.
void appendMeaningMatches(const CharacterDatabase& database, const QString& query,
                          const std::vector<std::string>* within, QStringList& list) {
    if (!isMeaningQuery(query)) return;
    const std::vector<std::string> found = database.searchMeanings(query.toStdString());
    if (found.empty()) return;
    std::unordered_set<std::string_view> allowed;
    if (within != nullptr) allowed.insert(within->begin(), within->end());
    const QSet<QString> listed(list.begin(), list.end());
    for (const std::string& c : found) {
        if (within != nullptr && !allowed.contains(c)) continue;
        QString text = QString::fromStdString(c);
        if (!listed.contains(text)) list.append(std::move(text));
    }
}

// The characters from `found` that equal the search text or whose reading contains it, then
// those whose meanings hold it.
QStringList filtered(const CharacterDatabase& database, const std::vector<std::string>& found,
                     const QString& query) {
    QStringList list;
    if (query.isEmpty()) {
        list.reserve(static_cast<qsizetype>(found.size()));
        for (const std::string& c : found) list.append(QString::fromStdString(c));
        return list;
    }
    const SearchText text(query.toStdString());
    for (const std::string& c : found) {
        const CharacterEntry* entry = nullptr;
        if (text.equals(c) ||
            ((entry = database.byCharacter(c)) != nullptr && text.inReading(entry->reading))) {
            list.append(QString::fromStdString(c));
        }
    }
    appendMeaningMatches(database, query, &found, list);
    return list;
}

QStringList rangeList(const NamedRange& range) {
    QStringList list;
    if (range.first > range.last) return list;
    list.reserve(static_cast<qsizetype>(range.last - range.first) + 1);
    for (char32_t v = range.first;; ++v) {
        if (isScalar(v)) list.append(scalarText(v));
        if (v == range.last) break;
    }
    return list;
}

QStringList textSearch(const CharacterDatabase& database, const QString& query) {
    const SearchText text(query.toStdString());
    // The best matches first: the character itself, a whole reading, the start of one, the rest;
    // then the common characters, those used in Japanese, the rest; then inventory order.
    struct Found {
        int match;
        int rarity;
        const std::string* character;
    };
    std::vector<Found> found;
    for (const CharacterEntry& entry : database.entries()) {
        int match = 0;
        if (!text.equals(entry.character)) {
            const SearchText::ReadingMatch reading = text.readingMatch(entry.reading);
            if (reading == SearchText::ReadingMatch::None) continue;
            match = 1 + static_cast<int>(reading);
        }
        found.push_back({match, entry.common ? 0 : entry.japanese ? 1 : 2, &entry.character});
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::pair(a.match, a.rarity) < std::pair(b.match, b.rarity);
    });
    QStringList list;
    list.reserve(static_cast<qsizetype>(found.size()));
    for (const Found& f : found) list.append(QString::fromStdString(*f.character));
    if (list.isEmpty() && isOneCharacter(query)) list.append(query);
    appendMeaningMatches(database, query, nullptr, list);
    return list;
}

}  // namespace

QStringList strokeCountTitles() {
    QStringList titles;
    for (int n = 1; n <= kStrokeCounts; ++n) titles.append(texts::strokeCount(n));
    return titles;
}

QStringList radicalCountTitles() {
    QStringList titles{QCoreApplication::translate("BrowseQuery", "部首の画数：すべて")};
    for (int n = 1; n <= kRadicalStrokeCounts; ++n) {
        titles.append(QCoreApplication::translate("BrowseQuery", "部首 %n画", nullptr, n));
    }
    return titles;
}

std::vector<std::int64_t> radicalNumbersFor(int index, std::span<const std::int64_t> strokeEnds) {
    std::int64_t first = 1;
    std::int64_t last = kRadicals;
    if (index >= 1 && static_cast<std::size_t>(index) <= strokeEnds.size()) {
        const auto i = static_cast<std::size_t>(index);
        first = i == 1 ? 1 : strokeEnds[i - 2] + 1;
        last = strokeEnds[i - 1];
    }
    std::vector<std::int64_t> numbers;
    for (std::int64_t n = first; n <= last; ++n) numbers.push_back(n);
    return numbers;
}

QString radicalTitle(std::int64_t n) {
    return scalarText(static_cast<char32_t>(0x2EFF + n)) + u"  "_qs + QString::number(n);
}

QStringList fontFamilies(const QStringList& listed) {
    static const QRegularExpression foundry(QStringLiteral(R"(\s*\[[^\]]*\]$)"));
    std::vector<std::pair<QList<uint>, QString>> keyed;
    QSet<QString> seen;
    for (QString family : listed) {
        family.remove(foundry);
        if (family.isEmpty() || seen.contains(family)) continue;
        seen.insert(family);
        keyed.emplace_back(family.normalized(QString::NormalizationForm_C).toUcs4(), family);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList families;
    for (auto& [key, family] : keyed) families.append(std::move(family));
    return families;
}

BrowseSelectors selectorsFor(Mode mode) {
    return {.range = mode == Mode::Ranges,
            .count = mode == Mode::StrokeCounts,
            .radical = mode == Mode::Radicals,
            .scope = mode != Mode::Ranges};
}

std::optional<char32_t> codeQuery(const QString& query) {
    if (!query.toUpper().startsWith(u"U+"_qs) || query.size() <= 2) return std::nullopt;
    const QStringView digits = QStringView(query).mid(2);
    std::uint32_t v = 0;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        int digit = 0;
        if (u >= '0' && u <= '9') {
            digit = u - '0';
        } else if (u >= 'A' && u <= 'F') {
            digit = u - 'A' + 10;
        } else if (u >= 'a' && u <= 'f') {
            digit = u - 'a' + 10;
        } else {
            return std::nullopt;
        }
        if (v > 0x0FFFFFFF) return std::nullopt;  // more than 32 bits
        v = v * 16 + static_cast<std::uint32_t>(digit);
    }
    if (!isScalar(v)) return std::nullopt;
    return v;
}

QStringList browseList(const CharacterDatabase& database, const BrowseState& state,
                       std::span<const std::int64_t> radicalNumbers,
                       std::span<const NamedRange> ranges) {
    const QString query = state.search.trimmed();
    switch (state.mode) {
        case Mode::Ranges: {
            if (const auto code = codeQuery(query)) return {scalarText(*code)};
            if (!query.isEmpty()) return textSearch(database, query);
            const auto index = static_cast<std::size_t>(std::max(state.rangeIndex, 0));
            return index < ranges.size() ? rangeList(ranges[index]) : QStringList();
        }
        case Mode::StrokeCounts:
            return filtered(database,
                            database.search(state.countIndex + 1, std::nullopt, state.japaneseOnly),
                            query);
        case Mode::Radicals: {
            const auto index = static_cast<std::size_t>(std::max(state.radicalIndex, 0));
            if (index >= radicalNumbers.size()) return {};
            return filtered(
                database, database.search(std::nullopt, radicalNumbers[index], state.japaneseOnly),
                query);
        }
        default:
            return {};
    }
}

SearchText::SearchText(std::string_view utf8) : key_(canonicalKey(utf8)) {
    foldInto(utf8, folded_, foldBuffer_);
    dropParentheses(folded_);
}

bool SearchText::equals(std::string_view character) const {
    if (character == key_) return true;
    // A different spelling can only be equivalent when it is not in NFC itself.
    if (isPlain(character)) return false;
    UErrorCode status = U_ZERO_ERROR;
    const icu::StringPiece piece(character.data(), static_cast<std::int32_t>(character.size()));
    if (nfc().isNormalizedUTF8(piece, status) && U_SUCCESS(status)) return false;
    return canonicalKey(character) == key_;
}

bool SearchText::inReading(std::string_view reading) const {
    if (folded_.empty()) return false;
    if (isPlain(reading)) {
        if (reading.find('(') == std::string_view::npos) return containsFolded(reading);
        nfcBuffer_.assign(reading);
    } else {
        foldInto(reading, nfcBuffer_, foldBuffer_);
    }
    dropParentheses(nfcBuffer_);
    return containsFolded(nfcBuffer_);
}

std::string_view SearchText::foldedReading(std::string_view reading) const {
    if (isPlain(reading)) return reading;
    foldInto(reading, nfcBuffer_, foldBuffer_);
    return nfcBuffer_;
}

SearchText::ReadingMatch SearchText::readingMatch(std::string_view reading) const {
    // Few readings hold the text at all: only those are taken apart.
    if (!inReading(reading)) return ReadingMatch::None;
    static constexpr std::string_view kSeparator = "、";
    const std::string_view folded = foldedReading(reading);
    ReadingMatch best = ReadingMatch::Inside;
    std::string whole;
    for (std::size_t start = 0; start <= folded.size();) {
        std::size_t end = folded.find(kSeparator, start);
        if (end == std::string_view::npos) end = folded.size();
        const std::string_view one = folded.substr(start, end - start);
        const std::string_view stem = one.substr(0, one.find('('));
        whole.assign(one);
        dropParentheses(whole);
        if (whole == folded_ || stem == folded_) return ReadingMatch::Whole;
        if (whole.starts_with(folded_) && !extendsCharacter(whole, folded_.size())) {
            best = ReadingMatch::Start;
        }
        start = end + kSeparator.size();
    }
    return best;
}

bool SearchText::containsFolded(std::string_view haystack) const {
    for (std::size_t at = haystack.find(folded_); at != std::string_view::npos;
         at = haystack.find(folded_, at + 1)) {
        if (!extendsCharacter(haystack, at + folded_.size())) return true;
    }
    return false;
}

}  // namespace sumiro
