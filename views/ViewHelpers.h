#pragma once

#include <QLabel>
#include <QWidget>
#include <initializer_list>
#include <memory>

namespace sumiro {

/// A read-only, non-selectable label showing `text` in the system font of `size` pixels,
/// bold when asked.
std::unique_ptr<QLabel> label(const QString& text, double size = 13.0, bool bold = false);

/// A new container laying `views` out in order (it becomes their parent): vertical ones are
/// aligned on their leading edge, horizontal ones centred vertically; `spacing` pixels apart,
/// no margins.
std::unique_ptr<QWidget> stack(std::initializer_list<QWidget*> views, bool vertical = false,
                               double spacing = 8.0);

/// Makes `view` a child of `container` filling it with a margin of `inset` on every side.
/// Several views pinned to one container lie on top of each other (hide all but one); the
/// last inset given applies to all of them.
void pin(QWidget* view, QWidget* container, double inset = 0.0);

}  // namespace sumiro
