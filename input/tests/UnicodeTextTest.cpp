#include <gtest/gtest.h>

#include "input/UnicodeText.h"

namespace sumiro {
namespace {

TEST(UnicodeText, Utf16KeepsPairsTogetherAndRejectsLoneSurrogates) {
    EXPECT_EQ(scalarsFromUtf16(u"木あ𠮷a"), std::u32string(U"木あ𠮷a"));
    EXPECT_EQ(scalarsFromUtf16(u""), std::u32string());
    // A high surrogate at the end, a low one alone, a high one before text, a pair reversed.
    for (const std::u16string_view bad : {u"木\xD842", u"\xDFB7木", u"\xD842木", u"\xDFB7\xD842"})
        EXPECT_FALSE(scalarsFromUtf16(bad).has_value());
}

TEST(UnicodeText, Utf8IsDecodedStrictly) {
    EXPECT_EQ(scalarsFromUtf8("a\xC3\xA9\xE6\x9C\xA8\xF0\xA0\xAE\xB7"), std::u32string(U"aé木𠮷"));
    EXPECT_EQ(scalarsFromUtf8("\xF4\x8F\xBF\xBF"), std::u32string(U"\U0010FFFF"));
    for (const char* bad : {
             "\x80",              // stray continuation
             "\xC0\x80",          // overlong NUL
             "\xE0\x80\xAF",      // overlong slash
             "\xED\xA0\x80",      // a surrogate
             "\xF4\x90\x80\x80",  // past U+10FFFF
             "\xF8\x88\x80\x80",  // five-byte form
             "\xE6\x9C",          // truncated
             "\xE6\x41\xA8",      // broken sequence
         }) {
        EXPECT_FALSE(scalarsFromUtf8(bad).has_value()) << bad;
    }
}

}  // namespace
}  // namespace sumiro
