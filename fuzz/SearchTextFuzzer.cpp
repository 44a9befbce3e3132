// Text that a user can type or paste into the browse search, against the character database:
// lookup by character (any bytes, invalid UTF-8 included), the one-line detail, and the
// stroke-count and radical search with any numbers.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "fuzz/FuzzDatabase.h"

namespace {

// The browse query that the pad's controller builds from the search text goes here once it
// exists, so that the same inputs reach it: browseQuery(text).
void fuzzBrowseQuery(const std::string& /*text*/) {}

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
    fuzzBrowseQuery(text);
    return 0;
}
