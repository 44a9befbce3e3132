#include "engine/DataDecoding.h"

#include <fcntl.h>
#include <simdjson.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "engine/InkReading.h"
#include "engine/JsonValidation.h"

namespace sumiro {

namespace {

using simdjson::ondemand::array;
using simdjson::ondemand::object;
using simdjson::ondemand::value;

// Labels errors with the file and, once known, the record and the key.
class Context {
public:
    explicit Context(std::string_view file) : file_(file) {}
    void record(std::size_t index) { record_ = index; }

    [[noreturn]] void fail(std::string_view message) const {
        std::string text(file_);
        if (record_) {
            text += ": record " + std::to_string(*record_);
        }
        text += ": ";
        text += message;
        throw DataError(text);
    }
    [[noreturn]] void fail(std::string_view key, std::string_view message) const {
        std::string text = "\"" + std::string(key) + "\": ";
        text += message;
        fail(text);
    }
    [[noreturn]] void fail(std::string_view key, simdjson::error_code error,
                           std::string_view expected) const {
        switch (error) {
            case simdjson::NUMBER_ERROR:
            case simdjson::NUMBER_OUT_OF_RANGE:
                fail(key, "malformed or out-of-range number");
            case simdjson::INCORRECT_TYPE:
                fail(key, expected);
            default:
                fail(key, std::string("invalid JSON (") + simdjson::error_message(error) + ")");
        }
    }

private:
    std::string_view file_;
    std::optional<std::size_t> record_;
};

value requireValue(simdjson::simdjson_result<value> result, const Context& context,
                   std::string_view key) {
    value v;
    if (auto error = std::move(result).get(v)) {
        context.fail(key, error, "invalid value");
    }
    bool isNull = false;
    if (v.is_null().get(isNull) == simdjson::SUCCESS && isNull) {
        context.fail(key, "must not be null");
    }
    return v;
}

std::string readString(value v, const Context& context, std::string_view key) {
    std::string_view text;
    if (auto error = v.get_string().get(text)) {
        context.fail(key, error, "expected a string");
    }
    return std::string(text);
}

std::int64_t readInteger(value v, const Context& context, std::string_view key) {
    std::int64_t number = 0;
    if (auto error = v.get_int64().get(number)) {
        context.fail(key, error, "expected an integer");
    }
    return number;
}

bool readFlag(value v, const Context& context, std::string_view key) {
    bool flag = false;
    if (auto error = v.get_bool().get(flag)) {
        context.fail(key, error, "expected true or false");
    }
    return flag;
}

array readArray(value v, const Context& context, std::string_view key) {
    array a;
    if (auto error = v.get_array().get(a)) {
        context.fail(key, error, "expected an array");
    }
    return a;
}

// Iterates the top-level array, handing each record's object and index to `decode`.
template <typename Decode>
void forEachRecord(simdjson::padded_string_view padded, std::string_view fileName, Decode decode) {
    Context context(fileName);
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document document;
    if (auto error = parser.iterate(padded).get(document)) {
        context.fail(std::string("invalid JSON (") + simdjson::error_message(error) + ")");
    }
    array records;
    if (auto error = document.get_array().get(records)) {
        context.fail(error == simdjson::INCORRECT_TYPE
                         ? std::string("expected an array of records")
                         : std::string("invalid JSON (") + simdjson::error_message(error) + ")");
    }
    std::size_t index = 0;
    for (auto element : records) {
        context.record(index);
        value record;
        if (auto error = element.get(record)) {
            context.fail(std::string("invalid JSON (") + simdjson::error_message(error) + ")");
        }
        object fields;
        if (auto error = record.get_object().get(fields)) {
            context.fail(error == simdjson::INCORRECT_TYPE
                             ? std::string("expected an object")
                             : std::string("invalid JSON (") + simdjson::error_message(error) +
                                   ")");
        }
        decode(fields, context);
        ++index;
    }
    // A location inside the input means bytes are left after the array.
    const char* rest = nullptr;
    if (document.current_location().get(rest) == simdjson::SUCCESS) {
        Context(fileName).fail("invalid JSON (content after the top-level array)");
    }
}

// Visits each field of a record; the key is unescaped so "\u0063haracter" still matches.
template <typename Visit>
void forEachField(object& fields, const Context& context, Visit visit) {
    for (auto field : fields) {
        std::string_view key;
        if (auto error = field.unescaped_key().get(key)) {
            context.fail(std::string("invalid JSON (") + simdjson::error_message(error) + ")");
        }
        // The key view dies with the next string read, so keep a copy of the short key.
        const std::string name(key);
        if (!visit(name, field.value())) {
            // An ignored key must still hold valid JSON.
            value ignored;
            auto error = field.value().get(ignored);
            if (error == simdjson::SUCCESS) {
                error = validateJsonValue(ignored);
            }
            if (error != simdjson::SUCCESS) {
                context.fail(name, error, "invalid JSON value");
            }
        }
    }
}

}  // namespace

std::string readDataFile(const std::filesystem::path& path) {
    const auto failure = [&](int error) {
        return DataError(path.string() + ": " + std::strerror(error));
    };
    // Opened without waiting, so that a pipe without a writer cannot hold the open; a file
    // that is not a regular one is refused before anything is read from it.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        throw failure(errno);
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(::fdopen(descriptor, "rb"), &std::fclose);
    if (!file) {
        const int error = errno;
        ::close(descriptor);
        throw failure(error);
    }
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        throw failure(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        throw failure(EISDIR);
    }
    // A pipe may never end and a device such as /dev/zero never does.
    if (!S_ISREG(info.st_mode)) {
        throw DataError(path.string() + ": not a regular file");
    }
    // Room for the parser's padding, so decoding needs no second copy of the file.
    std::string bytes;
    const auto expected = static_cast<std::size_t>(info.st_size);
    bytes.reserve(expected + simdjson::SIMDJSON_PADDING);
    bytes.resize(expected);
    std::size_t size = 0;
    while (size < bytes.size()) {
        const std::size_t got = std::fread(bytes.data() + size, 1, bytes.size() - size, file.get());
        if (got == 0) {
            break;
        }
        size += got;
    }
    // Whatever the size said, read on to the end (a file still growing).
    char more[1 << 16];
    for (std::size_t got; (got = std::fread(more, 1, sizeof more, file.get())) > 0;) {
        bytes.resize(size);
        bytes.append(more, got);
        size += got;
    }
    if (std::ferror(file.get())) {
        throw failure(errno != 0 ? errno : EIO);
    }
    bytes.resize(size);
    return bytes;
}

namespace {

// Views a buffer with the parser's padding, copying only when it lacks the room.
template <typename Body>
void withPadding(const std::string& bytes, Body body) {
    if (bytes.capacity() >= bytes.size() + simdjson::SIMDJSON_PADDING) {
        body(simdjson::padded_string_view(bytes.data(), bytes.size(), bytes.capacity()));
    } else {
        const simdjson::padded_string copy(bytes);
        body(simdjson::padded_string_view(copy));
    }
}

void decodeCharacterRecords(simdjson::padded_string_view json, std::string_view fileName,
                            std::vector<CharacterEntry>& entries, MeaningTable* meanings) {
    std::vector<std::string> recordMeanings;
    forEachRecord(json, fileName, [&](object& fields, const Context& context) {
        CharacterEntry entry;
        recordMeanings.clear();
        unsigned seen = 0;
        forEachField(fields, context, [&](const std::string& key, auto result) {
            if (key == "character") {
                entry.character = readString(requireValue(result, context, key), context, key);
                seen |= 1U;
            } else if (key == "count") {
                entry.count = readInteger(requireValue(result, context, key), context, key);
                seen |= 2U;
            } else if (key == "radicals") {
                entry.radicals.clear();
                for (auto element : readArray(requireValue(result, context, key), context, key)) {
                    value number;
                    if (auto error = element.get(number)) {
                        context.fail(key, error, "invalid radical");
                    }
                    entry.radicals.push_back(readInteger(number, context, key));
                }
                seen |= 4U;
            } else if (key == "reading") {
                entry.reading = readString(requireValue(result, context, key), context, key);
                seen |= 8U;
            } else if (key == "common") {
                entry.common = readFlag(requireValue(result, context, key), context, key);
                seen |= 16U;
            } else if (key == "japanese") {
                entry.japanese = readFlag(requireValue(result, context, key), context, key);
                seen |= 32U;
            } else if (key == "meanings") {
                recordMeanings.clear();
                for (auto element : readArray(requireValue(result, context, key), context, key)) {
                    value meaning;
                    if (auto error = element.get(meaning)) {
                        context.fail(key, error, "invalid meaning");
                    }
                    recordMeanings.push_back(readString(meaning, context, key));
                }
            } else {
                return false;
            }
            return true;
        });
        static constexpr const char* kKeys[] = {"character", "count",  "radicals",
                                                "reading",   "common", "japanese"};
        for (unsigned bit = 0; bit < 6; ++bit) {
            if ((seen & (1U << bit)) == 0) {
                context.fail(kKeys[bit], "missing");
            }
        }
        if (meanings != nullptr) {
            meanings->add(static_cast<std::uint32_t>(entries.size()), recordMeanings);
        }
        entries.push_back(std::move(entry));
    });
}

void decodeTemplateRecords(simdjson::padded_string_view json, std::string_view fileName,
                           const std::function<void(RawTemplate&)>& take) {
    RawTemplate raw;
    forEachRecord(json, fileName, [&](object& fields, const Context& context) {
        bool hasCharacter = false;
        bool hasStrokes = false;
        forEachField(fields, context, [&](const std::string& key, auto result) {
            if (key == "character") {
                raw.character = readString(requireValue(result, context, key), context, key);
                hasCharacter = true;
            } else if (key == "strokes") {
                readInkJson(requireValue(result, context, key), raw.strokes,
                            [&](simdjson::error_code error, std::string_view message) {
                                if (error == simdjson::SUCCESS) {
                                    context.fail(key, message);
                                }
                                context.fail(key, error, message);
                            });
                hasStrokes = true;
            } else {
                return false;
            }
            return true;
        });
        if (!hasCharacter) {
            context.fail("character", "missing");
        }
        if (!hasStrokes) {
            context.fail("strokes", "missing");
        }
        take(raw);
    });
}

}  // namespace

std::vector<CharacterEntry> decodeCharacters(std::string_view json, std::string_view fileName,
                                             MeaningTable* meanings) {
    std::vector<CharacterEntry> entries;
    const simdjson::padded_string padded(json);
    decodeCharacterRecords(padded, fileName, entries, meanings);
    return entries;
}

std::vector<RawTemplate> decodeTemplates(std::string_view json, std::string_view fileName) {
    std::vector<RawTemplate> templates;
    const simdjson::padded_string padded(json);
    decodeTemplateRecords(padded, fileName, [&](RawTemplate& raw) { templates.push_back(raw); });
    return templates;
}

std::vector<CharacterEntry> decodeCharacterFile(const std::string& bytes, std::string_view fileName,
                                                MeaningTable* meanings) {
    std::vector<CharacterEntry> entries;
    withPadding(bytes, [&](simdjson::padded_string_view json) {
        decodeCharacterRecords(json, fileName, entries, meanings);
    });
    return entries;
}

std::vector<CharacterEntry> loadCharacters(const std::filesystem::path& path) {
    return decodeCharacterFile(readDataFile(path), path.filename().string());
}

void loadTemplates(const std::filesystem::path& path,
                   const std::function<void(RawTemplate&)>& take) {
    const std::string bytes = readDataFile(path);
    const std::string fileName = path.filename().string();
    withPadding(bytes, [&](simdjson::padded_string_view json) {
        decodeTemplateRecords(json, fileName, take);
    });
}

}  // namespace sumiro
