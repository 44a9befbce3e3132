#include "views/FontCoverage.h"

#include <fontconfig/fontconfig.h>

#include <QChar>

namespace sumiro {

namespace {

template <auto Destroy>
struct FcDeleter {
    template <typename T>
    void operator()(T* p) const {
        if (p) Destroy(p);
    }
};
using PatternPtr = std::unique_ptr<FcPattern, FcDeleter<FcPatternDestroy>>;
using ObjectSetPtr = std::unique_ptr<FcObjectSet, FcDeleter<FcObjectSetDestroy>>;
using FontSetPtr = std::unique_ptr<FcFontSet, FcDeleter<FcFontSetDestroy>>;
using CharSetPtr = std::unique_ptr<FcCharSet, FcDeleter<FcCharSetDestroy>>;

// Invisible modifiers that fonts handle in their shaping tables rather than in their character
// maps: variation selectors (standard and ideographic) and the zero-width (non-)joiner.
bool isInvisibleModifier(char32_t scalar) {
    return (scalar >= 0xFE00 && scalar <= 0xFE0F) || (scalar >= 0xE0100 && scalar <= 0xE01EF) ||
           scalar == 0x200C || scalar == 0x200D;
}

}  // namespace

struct FontCoverage::Charset {
    CharSetPtr set{FcCharSetCreate()};
};

FontCoverage::FontCoverage() : charset_(std::make_unique<Charset>()) {
    // A missing or broken fontconfig leaves the set empty: every character then shows its
    // code, which is readable, rather than an empty box.
    if (!charset_->set || !FcInit()) return;
    const PatternPtr pattern{FcPatternCreate()};
    const ObjectSetPtr objects{FcObjectSetBuild(FC_CHARSET, static_cast<char*>(nullptr))};
    if (!pattern || !objects) return;
    const FontSetPtr fonts{FcFontList(nullptr, pattern.get(), objects.get())};
    if (!fonts) return;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcCharSet* fontSet = nullptr;
        if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &fontSet) == FcResultMatch &&
            fontSet) {
            FcCharSetMerge(charset_->set.get(), fontSet, nullptr);
        }
    }
}

FontCoverage::~FontCoverage() = default;

const FontCoverage& FontCoverage::installed() {
    static const FontCoverage coverage;
    return coverage;
}

bool FontCoverage::covers(char32_t scalar) const {
    return charset_->set && FcCharSetHasChar(charset_->set.get(), scalar);
}

bool FontCoverage::renders(QStringView text) const {
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t scalar = text[i].unicode();
        if (QChar::isSurrogate(scalar)) {
            if (!QChar::isHighSurrogate(scalar) || i + 1 >= text.size() ||
                !text[i + 1].isLowSurrogate()) {
                return false;
            }
            scalar = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (!covers(scalar) && !isInvisibleModifier(scalar)) return false;
    }
    return true;
}

}  // namespace sumiro
