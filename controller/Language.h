#pragma once

#include <QStringList>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

class QTranslator;

namespace sumiro {

/// The language the pad speaks. Its texts are written in Japanese, the default; the English
/// catalogue (sumiro_en.qm, beside the character data) translates them.
enum class Language { Japanese, English };

/// The language `--language` names: "ja" or "en"; nothing for any other name.
std::optional<Language> languageNamed(std::string_view name);

/// The language for the user's languages in order of preference (QLocale::uiLanguages, from
/// LANGUAGE, LC_ALL, LC_MESSAGES and LANG): the first that is Japanese or English, else
/// Japanese.
Language preferredLanguage(const QStringList& uiLanguages);

/// The catalogue that makes the pad speak `language`, found where the program at `executable`
/// finds its data (findResource): none for Japanese, the source; none either when the English
/// catalogue is missing or unreadable.
std::unique_ptr<QTranslator> loadCatalogue(Language language,
                                           const std::filesystem::path& executable);

}  // namespace sumiro
