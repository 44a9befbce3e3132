#pragma once

#include <QList>
#include <QRect>
#include <optional>

namespace sumiro {

/// The panel's size when nothing was saved.
inline constexpr QSize kPanelSize{820, 485};
/// The panel cannot be made smaller.
inline constexpr QSize kPanelMinimumSize{760, 490};
/// Nor larger: room for plenty of characters, and a bound on what a program that resizes it
/// makes the pad draw.
inline constexpr QSize kPanelMaximumSize{2560, 1600};

/// Where the panel opens: the saved size (else `defaultSize`), no smaller than `minimum` and no
/// larger than the screen, centred on the screen that holds the middle of the saved frame, or on
/// the first of `screens` (the primary one) when none does, as after a monitor was unplugged.
QRect placeFrame(std::optional<QRect> saved, QSize defaultSize, QSize minimum,
                 const QList<QRect>& screens);

}  // namespace sumiro
