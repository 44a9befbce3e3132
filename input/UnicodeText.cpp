#include "input/UnicodeText.h"

#include <QList>
#include <QStringDecoder>
#include <QStringView>

namespace sumiro {

std::optional<std::u32string> scalarsFromUtf16(std::u16string_view text) {
    const QStringView units(text.data(), static_cast<qsizetype>(text.size()));
    if (!units.isValidUtf16()) return std::nullopt;
    const QList<uint> scalars = units.toUcs4();
    return std::u32string(scalars.begin(), scalars.end());
}

std::optional<std::u32string> scalarsFromUtf8(std::string_view text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString units = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (decoder.hasError()) return std::nullopt;
    return scalarsFromUtf16(std::u16string_view(reinterpret_cast<const char16_t*>(units.utf16()),
                                                static_cast<std::size_t>(units.size())));
}

}  // namespace sumiro
