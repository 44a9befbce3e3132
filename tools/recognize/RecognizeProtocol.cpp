#include "tools/recognize/RecognizeProtocol.h"

#include <simdjson.h>

#include <cstdio>
#include <stdexcept>

#include "engine/Candidates.h"
#include "engine/CharacterDatabase.h"
#include "engine/JsonValidation.h"
#include "tools/JsonString.h"

namespace sumiro {

namespace {

using simdjson::ondemand::array;
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

// The id as JSON: a string re-escaped, a number, boolean or null as written, anything else null.
std::string readId(value id) {
    json_type type;
    if (id.type().get(type) != simdjson::SUCCESS) {
        return "null";
    }
    if (type == json_type::string) {
        std::string_view text;
        if (id.get_string().get(text) == simdjson::SUCCESS) {
            return jsonString(text);
        }
        return "null";
    }
    if (type == json_type::number || type == json_type::boolean) {
        std::string_view token = id.raw_json_token();
        while (!token.empty() && (token.back() == ' ' || token.back() == '\t' ||
                                  token.back() == '\n' || token.back() == '\r')) {
            token.remove_suffix(1);
        }
        return std::string(token);
    }
    return "null";
}

Ink readInk(value strokes) {
    array strokeList;
    require(strokes.get_array().get(strokeList), "\"strokes\": expected an array of strokes");
    Ink ink;
    for (auto strokeElement : strokeList) {
        array stroke;
        require(strokeElement.get_array().get(stroke),
                "\"strokes\": expected a stroke as an array of points");
        if (ink.size() == kMaxStrokes) {
            reject("\"strokes\": more than " + std::to_string(kMaxStrokes) + " strokes");
        }
        ink.emplace_back();
        for (auto pointElement : stroke) {
            array point;
            require(pointElement.get_array().get(point),
                    "\"strokes\": expected a point as an array of numbers");
            double xy[2] = {0, 0};
            std::size_t count = 0;
            for (auto numberElement : point) {
                double number = 0;
                require(numberElement.get_double().get(number),
                        "\"strokes\": expected a number in a point");
                if (count < 2) {
                    xy[count] = number;
                }
                ++count;
            }
            if (count < 2) {
                reject("\"strokes\": a point needs at least two numbers");
            }
            ink.back().push_back({xy[0], xy[1]});
        }
    }
    return ink;
}

std::string errorLine(const std::string& id, std::string_view message) {
    return "{\"id\": " + id + ", \"error\": " + jsonString(message) + "}";
}

}  // namespace

std::string answerRequest(std::string_view line, const CharacterDatabase& database,
                          std::ptrdiff_t limit, const MicrosecondClock& clock, bool distinct) {
    std::string id = "null";
    Ink ink;
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
    std::vector<std::string> candidates = database.recognize(ink, limit);
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
