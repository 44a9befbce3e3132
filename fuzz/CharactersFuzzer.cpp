// The inventory decoder on arbitrary bytes: a record list and its meanings or a DataError,
// nothing else.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/DataDecoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    try {
        sumiro::MeaningTable meanings;
        sumiro::decodeCharacters(json, "characters.json", &meanings);
    } catch (const sumiro::DataError&) {
    }
    return 0;
}
