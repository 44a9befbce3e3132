#pragma once

#include <QWidget>

namespace sumiro {

/// "Sumiroの初回設定": the window shown instead of the panel while input cannot be posted. It
/// explains the permission, opens the settings ("システム設定を開く", its default button) or quits
/// ("終了"), and remembers that the pad waits for the grant even after the user closed it.
class SetupWindow final : public QWidget {
    Q_OBJECT

public:
    SetupWindow();

    /// Shows the window in front, its default button focused, and starts waiting.
    void open();
    /// The grant came: stops waiting and hides.
    void granted();
    /// Whether the pad waits for the grant.
    bool waiting() const { return waiting_; }

signals:
    void openSettings();
    void quit();

private:
    bool waiting_ = false;
};

}  // namespace sumiro
