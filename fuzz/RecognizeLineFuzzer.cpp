// sumiro-recognize's line reader on arbitrary lines: every answer is one valid JSON object.
#include <simdjson.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/FuzzDatabase.h"
#include "tools/recognize/RecognizeProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    // The tool reads lines: a newline never reaches the reader.
    if (line.find('\n') != std::string_view::npos) {
        return 0;
    }
    const std::string answer =
        sumiro::answerRequest(line, sumiro::fuzz::database(), 10, [] { return 0LL; });
    static simdjson::dom::parser parser;
    simdjson::dom::object object;
    const auto error = parser.parse(answer).get(object);
    // An id of more digits than 64 bits hold is valid JSON that this parser declines.
    if (answer.find('\n') != std::string::npos ||
        (error != simdjson::SUCCESS && error != simdjson::BIGINT_ERROR)) {
        std::abort();
    }
    return 0;
}
