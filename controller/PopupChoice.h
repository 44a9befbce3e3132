#pragma once

class QComboBox;

namespace sumiro {

/// Lets assistive technology choose an item of `popup` by selecting it in the pop-up's list while
/// the list is closed: Qt's combo box lists its items to AT-SPI, but selecting one of them does
/// not choose it.
void chooseOnSelection(QComboBox* popup);

}  // namespace sumiro
