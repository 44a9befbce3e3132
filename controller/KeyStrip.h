#pragma once

#include <QString>
#include <array>

#include "input/Keys.h"

namespace sumiro {

/// One key of the strip beside the canvas and the browse grid.
struct StripKey {
    QString title;
    Key key;
    QString toolTip;
};

/// The strip's nine keys, top to bottom.
const std::array<StripKey, 9>& stripKeys();

}  // namespace sumiro
