#pragma once

#include <QWidget>

#include "input/InputPlatform.h"

namespace sumiro {

class TextLabel;

/// "Sumiroの初回設定": the window shown instead of the panel while nothing can be typed. It says
/// what keeps the pad from typing here and how to mend it, opens the help page on input
/// ("使い方を開く", its default button) or quits ("終了"), and remembers that the pad waits for
/// input to become possible even after the user closed it. It cannot be minimized: a minimized
/// window would hide what the pad is waiting for.
class SetupWindow final : public QWidget {
    Q_OBJECT

public:
    SetupWindow();

    /// Shows the window in front, its default button focused, with the steps for `obstacle`,
    /// and starts waiting.
    void open(InputPlatform::Obstacle obstacle);
    /// Input became possible: stops waiting and hides.
    void granted();
    /// Whether the pad waits for input to become possible.
    bool waiting() const { return waiting_; }

    /// What the window says about `obstacle`: what is wrong, and the commands or settings that
    /// mend it.
    static QString steps(InputPlatform::Obstacle obstacle);

signals:
    void openSettings();
    void quit();

protected:
    void changeEvent(QEvent* event) override;

private:
    TextLabel* steps_;
    bool waiting_ = false;
};

}  // namespace sumiro
