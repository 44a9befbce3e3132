#include "input/HelpPage.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "engine/ResourceDirectory.h"

namespace sumiro {

std::optional<QUrl> helpPage(const QString& section) {
    // Each language has its own page: the catalogue names the page in its language.
    const QString translated = QCoreApplication::translate("HelpPage", "Help.html");
    auto file = findResource(runningExecutable(), translated.toStdString());
    if (!file) file = findResource(runningExecutable(), "Help.html");
    if (!file) return std::nullopt;
    QUrl url =
        QUrl::fromLocalFile(QFileInfo(QString::fromStdString(file->string())).canonicalFilePath());
    if (!section.isEmpty()) url.setFragment(section);
    return url;
}

}  // namespace sumiro
