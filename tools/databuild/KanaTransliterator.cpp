#include "tools/databuild/KanaTransliterator.h"

#include <unicode/locid.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <stdexcept>

namespace sumiro::databuild {
namespace {

std::unique_ptr<icu::Transliterator> create(const char* id) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> transliterator(
        icu::Transliterator::createInstance(id, UTRANS_FORWARD, status));
    if (U_FAILURE(status) || !transliterator)
        throw std::runtime_error(std::string("ICU transform ") + id +
                                 " unavailable: " + u_errorName(status));
    return transliterator;
}

std::string transform(const icu::Transliterator& transliterator, std::string_view text) {
    // Unihan writes readings in capitals; the transforms are defined on lower case.
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    unicode.toLower(icu::Locale::getRoot());
    transliterator.transliterate(unicode);
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

}  // namespace

KanaTransliterator::KanaTransliterator()
    : toKatakana_(create("Latin-Katakana")), toHiragana_(create("Latin-Hiragana")) {}

KanaTransliterator::~KanaTransliterator() = default;

std::string KanaTransliterator::katakana(std::string_view romanized) const {
    return transform(*toKatakana_, romanized);
}

std::string KanaTransliterator::hiragana(std::string_view romanized) const {
    return transform(*toHiragana_, romanized);
}

}  // namespace sumiro::databuild
