#pragma once

// Strict checking of JSON values that a decoder otherwise skips. The on-demand parser only
// looks at the bytes it is asked for, so without this an ignored key could hold "tru" or
// "[1,,2]" and the document would still be accepted.

#include <simdjson.h>

namespace sumiro {

/// Walks `v` completely, returning the first syntax error in it (SUCCESS when it is valid).
/// Numbers must fit a double.
inline simdjson::error_code validateJsonValue(simdjson::ondemand::value v, int depth = 0) {
    using simdjson::ondemand::json_type;
    // The parser itself stops deeper documents; this only bounds the recursion.
    if (depth > 1024) {
        return simdjson::DEPTH_ERROR;
    }
    json_type type;
    if (auto error = v.type().get(type)) {
        return error;
    }
    switch (type) {
        case json_type::array: {
            simdjson::ondemand::array a;
            if (auto error = v.get_array().get(a)) {
                return error;
            }
            for (auto element : a) {
                simdjson::ondemand::value item;
                if (auto error = element.get(item)) {
                    return error;
                }
                if (auto error = validateJsonValue(item, depth + 1)) {
                    return error;
                }
            }
            return simdjson::SUCCESS;
        }
        case json_type::object: {
            simdjson::ondemand::object o;
            if (auto error = v.get_object().get(o)) {
                return error;
            }
            for (auto field : o) {
                std::string_view key;
                if (auto error = field.unescaped_key().get(key)) {
                    return error;
                }
                simdjson::ondemand::value item;
                if (auto error = field.value().get(item)) {
                    return error;
                }
                if (auto error = validateJsonValue(item, depth + 1)) {
                    return error;
                }
            }
            return simdjson::SUCCESS;
        }
        case json_type::string: {
            std::string_view text;
            return v.get_string().get(text);
        }
        case json_type::number: {
            double number = 0;
            return v.get_double().get(number);
        }
        case json_type::boolean: {
            bool flag = false;
            return v.get_bool().get(flag);
        }
        case json_type::null: {
            bool isNull = false;
            if (auto error = v.is_null().get(isNull)) {
                return error;
            }
            return isNull ? simdjson::SUCCESS : simdjson::N_ATOM_ERROR;
        }
    }
    return simdjson::TAPE_ERROR;
}

}  // namespace sumiro
