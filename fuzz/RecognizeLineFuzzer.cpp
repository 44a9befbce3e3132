// sumiro-recognize's line reader on arbitrary lines: every answer is one valid JSON object.
#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/JsonValidation.h"
#include "fuzz/FuzzDatabase.h"
#include "tools/recognize/RecognizeProtocol.h"

namespace {

// Whether `text` is exactly one valid JSON object (numbers of any length included).
bool isJsonObject(const std::string& text) {
    static simdjson::ondemand::parser parser;
    const simdjson::padded_string padded(text);
    simdjson::ondemand::document document;
    simdjson::ondemand::object object;
    if (parser.iterate(padded).get(document) || document.get_object().get(object)) {
        return false;
    }
    for (auto field : object) {
        std::string_view key;
        simdjson::ondemand::value value;
        if (field.unescaped_key().get(key) || field.value().get(value) ||
            sumiro::validateJsonValue(value)) {
            return false;
        }
    }
    const char* rest = nullptr;
    return document.current_location().get(rest) != simdjson::SUCCESS;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    // The tool reads lines: a newline never reaches the reader.
    if (line.find('\n') != std::string_view::npos) {
        return 0;
    }
    const std::string answer =
        sumiro::answerRequest(line, sumiro::fuzz::database(), 10, [] { return 0LL; });
    if (answer.find('\n') != std::string::npos || !isJsonObject(answer)) {
        std::abort();
    }
    return 0;
}
