#include "tools/recognize/RecognizeProtocol.h"

#include <simdjson.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "engine/Candidates.h"
#include "engine/CharacterDatabase.h"
#include "engine/InkReading.h"
#include "engine/JsonValidation.h"
#include "tools/JsonString.h"

namespace sumiro {

namespace {

using simdjson::ondemand::json_type;
using simdjson::ondemand::object;
using simdjson::ondemand::value;

struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void reject(std::string message) { throw BadRequest(std::move(message)); }

void require(simdjson::error_code error, const char* message) {
    if (error == simdjson::INCORRECT_TYPE) {
        reject(message);
    }
    if (error != simdjson::SUCCESS) {
        reject(std::string("invalid JSON (") + simdjson::error_message(error) + ")");
    }
}

[[noreturn]] void rejectId(simdjson::error_code error) {
    reject(std::string("\"id\": invalid JSON (") + simdjson::error_message(error) + ")");
}

// The id as JSON: a string re-escaped, a number as written, true, false or null. Anything
// else is refused, so that the answer is always valid JSON.
std::string readId(value id) {
    json_type type;
    if (auto error = id.type().get(type)) {
        rejectId(error);
    }
    switch (type) {
        case json_type::string: {
            std::string_view text;
            if (auto error = id.get_string().get(text)) {
                rejectId(error);
            }
            if (!simdjson::validate_utf8(text.data(), text.size())) {
                rejectId(simdjson::UTF8_ERROR);
            }
            return jsonString(text);
        }
        case json_type::number: {
            double number = 0;
            if (auto error = id.get_double().get(number)) {
                rejectId(error);
            }
            std::string_view token = id.raw_json_token();
            while (!token.empty() && (token.back() == ' ' || token.back() == '\t' ||
                                      token.back() == '\n' || token.back() == '\r')) {
                token.remove_suffix(1);
            }
            return std::string(token);
        }
        case json_type::boolean: {
            bool flag = false;
            if (auto error = id.get_bool().get(flag)) {
                rejectId(error);
            }
            return flag ? "true" : "false";
        }
        case json_type::null: {
            bool isNull = false;
            if (auto error = id.is_null().get(isNull)) {
                rejectId(error);
            }
            if (!isNull) {
                rejectId(simdjson::N_ATOM_ERROR);
            }
            return "null";
        }
        default:
            reject("\"id\": expected a string, a number, true, false or null");
    }
}

Ink readInk(value strokes) {
    Ink ink;
    readInkJson(
        strokes, ink,
        [](simdjson::error_code error, std::string_view message) {
            require(error == simdjson::SUCCESS ? simdjson::INCORRECT_TYPE : error,
                    ("\"strokes\": " + std::string(message)).c_str());
        },
        kMaxStrokes);
    return ink;
}

// The writing area [width, height]: two positive numbers.
WritingArea readBox(value box) {
    simdjson::ondemand::array pair;
    require(box.get_array().get(pair), "\"box\": expected [width, height]");
    double sides[2] = {0.0, 0.0};
    std::size_t count = 0;
    for (auto element : pair) {
        double side = 0.0;
        require(element.get_double().get(side), "\"box\": expected [width, height]");
        if (count < 2) {
            sides[count] = side;
        }
        ++count;
    }
    if (count != 2 || !(sides[0] > 0) || !(sides[1] > 0) || !std::isfinite(sides[0]) ||
        !std::isfinite(sides[1])) {
        reject("\"box\": expected [width, height], two positive numbers");
    }
    return {sides[0], sides[1]};
}

std::string errorLine(const std::string& id, std::string_view message) {
    return "{\"id\": " + id + ", \"error\": " + jsonString(message) + "}";
}

}  // namespace

std::string answerRequest(std::string_view line, const CharacterDatabase& database,
                          std::ptrdiff_t limit, const MicrosecondClock& clock, bool distinct) {
    std::string id = "null";
    Ink ink;
    std::optional<WritingArea> box;
    try {
        const simdjson::padded_string padded(line);
        simdjson::ondemand::parser parser;
        simdjson::ondemand::document document;
        require(parser.iterate(padded).get(document), "invalid JSON");
        object request;
        require(document.get_object().get(request), "expected a JSON object");
        // The id first, so that an error in the strokes can still be attributed.
        for (auto field : request) {
            std::string_view key;
            require(field.unescaped_key().get(key), "invalid JSON");
            if (key == "id") {
                value v;
                require(field.value().get(v), "invalid JSON");
                id = readId(v);
            } else if (key == "box") {
                value v;
                require(field.value().get(v), "invalid JSON");
                box = readBox(v);
            } else if (key != "strokes") {
                // Ignored keys must still hold valid JSON.
                value v;
                require(field.value().get(v), "invalid JSON");
                require(validateJsonValue(v), "invalid JSON value");
            }
        }
        document.rewind();
        require(document.get_object().get(request), "expected a JSON object");
        bool hasStrokes = false;
        for (auto field : request) {
            std::string_view key;
            require(field.unescaped_key().get(key), "invalid JSON");
            if (key == "strokes") {
                value v;
                require(field.value().get(v), "invalid JSON");
                ink = readInk(v);
                hasStrokes = true;
            }
        }
        const char* rest = nullptr;
        if (document.current_location().get(rest) == simdjson::SUCCESS) {
            reject("invalid JSON (content after the object)");
        }
        if (!hasStrokes) {
            reject("\"strokes\": missing");
        }
    } catch (const BadRequest& error) {
        return errorLine(id, error.what());
    }

    const long long start = clock();
    std::vector<std::string> candidates = database.recognize(ink, limit, box);
    const long long elapsed = clock() - start;
    if (distinct) {
        candidates = distinctCandidates(candidates);
    }

    std::string out = "{\"id\": " + id + ", \"candidates\": [";
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        out += i == 0 ? "" : ", ";
        out += jsonString(candidates[i]);
    }
    out += "], \"us\": " + std::to_string(elapsed) + "}";
    return out;
}

}  // namespace sumiro
