// Text that a user can type or paste into the browse search, against the character database:
// lookup by character (any bytes, invalid UTF-8 included), the one-line detail, the
// stroke-count and radical search with any numbers, the search by meaning, and the browse list
// of every browse mode.
#include <fuzzer/FuzzedDataProvider.h>

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "controller/BrowseQuery.h"
#include "fuzz/FuzzDatabase.h"

namespace {

// The list the browse mode shows for the search text in each of its modes: a code names one
// scalar, a stroke-count or radical list holds only inventory characters.
void fuzzBrowseQuery(const sumiro::CharacterDatabase& db, const std::string& text,
                     bool japaneseOnly) {
    static const std::array<sumiro::NamedRange, 2> ranges{{
        {QStringLiteral("ひらがな"), 0x3041, 0x3096},
        {QStringLiteral("外字領域"), 0xE000, 0xF8FF},
    }};
    static const std::vector<std::int64_t> radicals = sumiro::radicalNumbersFor(0, {});
    sumiro::BrowseState state;
    state.search = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    state.japaneseOnly = japaneseOnly;
    state.radicalIndex = 74;  // 木
    for (const auto mode :
         {sumiro::Mode::Ranges, sumiro::Mode::StrokeCounts, sumiro::Mode::Radicals}) {
        state.mode = mode;
        const QStringList listed = sumiro::browseList(db, state, radicals, ranges);
        if (mode == sumiro::Mode::Ranges) {
            if (sumiro::codeQuery(state.search.trimmed()) && listed.size() != 1) std::abort();
            continue;
        }
        for (const QString& c : listed) {
            if (db.byCharacter(c.toStdString()) == nullptr) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const sumiro::CharacterDatabase& db = sumiro::fuzz::database();
    std::optional<std::int64_t> count;
    std::optional<std::int64_t> radical;
    if (input.ConsumeBool()) {
        count = input.ConsumeIntegral<std::int64_t>();
    }
    if (input.ConsumeBool()) {
        radical = input.ConsumeIntegral<std::int64_t>();
    }
    const bool japaneseOnly = input.ConsumeBool();
    const std::string text = input.ConsumeRemainingBytesAsString();

    const sumiro::CharacterEntry* entry = db.byCharacter(text);
    if (entry != nullptr && db.byCharacter(entry->character) != entry) {
        std::abort();
    }
    const std::string detail = db.detail(text);
    if (detail.compare(0, text.size(), text) != 0) {
        std::abort();
    }
    for (const std::string& found : db.search(count, radical, japaneseOnly)) {
        const sumiro::CharacterEntry* e = db.byCharacter(found);
        if (e == nullptr) {
            std::abort();
        }
    }
    for (const std::string& found : db.searchMeanings(text)) {
        if (db.byCharacter(found) == nullptr) {
            std::abort();
        }
    }
    fuzzBrowseQuery(db, text, japaneseOnly);
    return 0;
}
