#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace sumiro {

/// The installed help page (Help.html, found where the character data are found), opened at
/// `section` when one is given; empty when the page is missing.
std::optional<QUrl> helpPage(const QString& section = {});

}  // namespace sumiro
