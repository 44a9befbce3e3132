#pragma once

#include <QString>
#include <array>
#include <functional>

#include "input/Keys.h"

class QWidget;

namespace sumiro {

/// One key of the strip beside the canvas and the browse grid.
struct StripKey {
    QString title;
    Key key;
    QString toolTip;
};

/// The strip's nine keys, top to bottom.
std::array<StripKey, 9> stripKeys();

/// A new column of the nine keys ("keyStrip"); a click on one runs `press` with its key.
QWidget* makeKeyStrip(std::function<void(Key)> press);

}  // namespace sumiro
