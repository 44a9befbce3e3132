#pragma once

#include <QStringView>
#include <memory>

namespace sumiro {

/// Answers whether some installed font can draw a string, from fontconfig's view of the
/// installed fonts. The coverage of every font is merged once into one character set, so a
/// question afterwards is a lookup per code point and costs well under a microsecond.
class FontCoverage {
public:
    /// Coverage of the fonts fontconfig currently knows about.
    FontCoverage();
    ~FontCoverage();
    FontCoverage(const FontCoverage&) = delete;
    FontCoverage& operator=(const FontCoverage&) = delete;

    /// The process's shared coverage of the installed fonts, gathered on first use.
    static const FontCoverage& installed();

    /// Whether some installed font has a glyph for `scalar`.
    bool covers(char32_t scalar) const;
    /// Whether every Unicode scalar of `text` is covered (an empty text is); variation selectors
    /// and zero-width joiners need no glyph of their own. A lone surrogate is never covered.
    bool renders(QStringView text) const;

private:
    struct Charset;
    std::unique_ptr<Charset> charset_;
};

}  // namespace sumiro
