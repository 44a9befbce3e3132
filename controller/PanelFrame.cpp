#include "controller/PanelFrame.h"

#include <algorithm>

namespace sumiro {

QRect placeFrame(std::optional<QRect> saved, QSize defaultSize, QSize minimum,
                 const QList<QRect>& screens) {
    QSize size = saved ? saved->size() : defaultSize;
    size = size.expandedTo(minimum);
    if (screens.isEmpty()) return {QPoint(0, 0), size};
    QRect screen = screens.front();
    if (saved) {
        const auto holder = std::find_if(screens.begin(), screens.end(), [&](const QRect& s) {
            return s.contains(saved->center());
        });
        if (holder != screens.end()) screen = *holder;
    }
    size = size.boundedTo(screen.size()).expandedTo(minimum.boundedTo(screen.size()));
    QRect frame({0, 0}, size);
    frame.moveCenter(screen.center());
    return frame;
}

}  // namespace sumiro
