#pragma once

#include "controller/PadMode.h"

class QComboBox;

namespace sumiro {

/// "ソフトキーボード": the character keys of the layout chosen in "keyboardMode" (hiragana,
/// katakana, ASCII, full-width) and a row of editing keys, in "keyboardBody".
class KeyboardMode final : public PadMode {
    Q_OBJECT

public:
    KeyboardMode();

    /// Puts the keys of the chosen layout in place of the previous ones; never called from a
    /// key's own click.
    void rebuildKeyboard();

    /// The layout.
    void saveChoices(QSettings& settings) const override;
    void restoreChoices(const QSettings& settings) override;

private:
    QComboBox* layoutPopup_;
    QWidget* keys_;
};

}  // namespace sumiro
