#pragma once

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CharacterEntry.h"
#include "engine/InkTemplate.h"
#include "engine/Meanings.h"

namespace sumiro {

/// A data file that cannot be read or decoded; `what()` names the file and, for a decoding
/// error, the record index and the key.
class DataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Reads a whole file; throws DataError naming the path and the system's reason.
std::string readDataFile(const std::filesystem::path& path);

/// Decodes the inventory (a JSON array of character records). `fileName` only labels errors.
/// Throws DataError on any malformed record: one bad record fails the whole file. A record's
/// optional "meanings" (an array of strings) go to `meanings` under the record's index; they
/// are checked even when `meanings` is null.
std::vector<CharacterEntry> decodeCharacters(std::string_view json, std::string_view fileName,
                                             MeaningTable* meanings = nullptr);

/// Decodes the templates (a JSON array of {"character", "strokes"} records), keeping each
/// point's first two numbers. Throws DataError on any malformed record.
std::vector<RawTemplate> decodeTemplates(std::string_view json, std::string_view fileName);

/// Decodes an inventory already read with readDataFile, using its spare capacity as the
/// parser's padding when it has enough. `fileName` only labels errors.
std::vector<CharacterEntry> decodeCharacterFile(const std::string& bytes, std::string_view fileName,
                                                MeaningTable* meanings = nullptr);

/// Reads and decodes an inventory file; errors are labelled with the file's name.
std::vector<CharacterEntry> loadCharacters(const std::filesystem::path& path);

/// Reads and decodes a template file, handing each record to `take` in file order as it is
/// decoded, so that the raw coordinates of the whole file are never held at once. The record
/// is a reused buffer: `take` may move from it but must not keep references into it.
void loadTemplates(const std::filesystem::path& path,
                   const std::function<void(RawTemplate&)>& take);

}  // namespace sumiro
