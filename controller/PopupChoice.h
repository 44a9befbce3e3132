#pragma once

class QComboBox;

namespace sumiro {

/// Lets assistive technology choose an item of `popup` by selecting it in the pop-up's list while
/// the list is closed: Qt's combo box lists its items to AT-SPI, but selecting one of them does
/// not choose it.
void chooseOnSelection(QComboBox* popup);

/// Opens `popup`'s list as a window that never becomes the focus window, so that the user's input
/// method keeps the focus in the application being typed into: Qt makes an open pop-up the focus
/// window, and input-method modules focus their context in whatever window has the focus (the
/// pad's, which takes no text; once the list closed, no field had the input method). The list
/// closes on a choice, on a press elsewhere in the pad and when the pad hides; it takes no keys.
void openWithoutFocus(QComboBox* popup);

}  // namespace sumiro
