#include "input/HelpPage.h"

#include <QFileInfo>

#include "engine/ResourceDirectory.h"

namespace sumiro {

std::optional<QUrl> helpPage(const QString& section) {
    const auto file = findResource(runningExecutable(), "Help.html");
    if (!file) return std::nullopt;
    QUrl url =
        QUrl::fromLocalFile(QFileInfo(QString::fromStdString(file->string())).canonicalFilePath());
    if (!section.isEmpty()) url.setFragment(section);
    return url;
}

}  // namespace sumiro
