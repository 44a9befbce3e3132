#pragma once

#include <unicode/uversion.h>

#include <memory>
#include <string>
#include <string_view>

U_NAMESPACE_BEGIN
class Transliterator;
U_NAMESPACE_END

namespace sumiro::databuild {

/// Turns Unihan's romanized Japanese readings ("BOKU", "KI") into kana with ICU.
class KanaTransliterator {
public:
    /// Throws std::runtime_error when ICU lacks the Latin-to-kana transforms.
    KanaTransliterator();
    ~KanaTransliterator();
    KanaTransliterator(const KanaTransliterator&) = delete;
    KanaTransliterator& operator=(const KanaTransliterator&) = delete;

    /// "BOKU" → "ボク" (on readings are written in katakana).
    std::string katakana(std::string_view romanized) const;
    /// "KI" → "き" (kun readings are written in hiragana).
    std::string hiragana(std::string_view romanized) const;

private:
    std::unique_ptr<icu::Transliterator> toKatakana_;
    std::unique_ptr<icu::Transliterator> toHiragana_;
};

}  // namespace sumiro::databuild
