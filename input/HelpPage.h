#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace sumiro {

/// The installed help page in the pad's language (Help.html, the English catalogue's
/// Help.en.html; found where the character data are found), opened at `section` when one is
/// given; the Japanese page when the translated one is missing; empty when both are.
std::optional<QUrl> helpPage(const QString& section = {});

}  // namespace sumiro
