#include "engine/Text.h"

#include <unicode/bytestream.h>
#include <unicode/normalizer2.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <cstdio>

namespace sumiro {

namespace {

const icu::Normalizer2* nfc() {
    // The instance is owned by ICU and lives for the whole process.
    static const icu::Normalizer2* instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return instance;
}

// Walks the scalars of a UTF-8 text; ill-formed sequences count as U+FFFD.
template <typename Visit>
void forEachScalar(std::string_view utf8, Visit visit) {
    const auto* s = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto length = static_cast<std::int32_t>(utf8.size());
    std::int32_t i = 0;
    while (i < length) {
        UChar32 c = 0;
        U8_NEXT(s, i, length, c);
        visit(c < 0 ? 0xFFFD : c);
    }
}

}  // namespace

std::string canonicalKey(std::string_view utf8) {
    const icu::Normalizer2* n = nfc();
    if (n == nullptr) {
        return std::string(utf8);
    }
    const icu::StringPiece piece(utf8.data(), static_cast<std::int32_t>(utf8.size()));
    UErrorCode status = U_ZERO_ERROR;
    // Nearly every key is already in NFC; skip the copy through the normalizer for those.
    if (n->isNormalizedUTF8(piece, status) && U_SUCCESS(status)) {
        return std::string(utf8);
    }
    status = U_ZERO_ERROR;
    std::string out;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(utf8.size()));
    n->normalizeUTF8(0, piece, sink, nullptr, status);
    return U_SUCCESS(status) ? out : std::string(utf8);
}

std::string codeList(std::string_view utf8) {
    std::string out;
    char buffer[16];
    forEachScalar(utf8, [&](UChar32 c) {
        if (!out.empty()) {
            out += ' ';
        }
        const int written =
            std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(c));
        out.append(buffer, static_cast<std::size_t>(written));
    });
    return out;
}

std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    forEachScalar(utf8, [&](UChar32 c) { units += U16_LENGTH(c); });
    return units;
}

}  // namespace sumiro
