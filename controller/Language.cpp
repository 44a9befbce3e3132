#include "controller/Language.h"

#include <QLocale>
#include <QTranslator>

#include "engine/ResourceDirectory.h"

namespace sumiro {

std::optional<Language> languageNamed(std::string_view name) {
    if (name == "ja") return Language::Japanese;
    if (name == "en") return Language::English;
    return std::nullopt;
}

Language preferredLanguage(const QStringList& uiLanguages) {
    for (const QString& name : uiLanguages) {
        switch (QLocale(name).language()) {
            case QLocale::Japanese:
                return Language::Japanese;
            case QLocale::English:
                return Language::English;
            default:
                break;
        }
    }
    return Language::Japanese;
}

std::unique_ptr<QTranslator> loadCatalogue(Language language,
                                           const std::filesystem::path& executable) {
    if (language == Language::Japanese) return nullptr;
    const auto file = findResource(executable, "sumiro_en.qm");
    auto catalogue = std::make_unique<QTranslator>();
    if (!file || !catalogue->load(QString::fromStdString(file->string()))) return nullptr;
    return catalogue;
}

}  // namespace sumiro
