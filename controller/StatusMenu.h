#pragma once

#include <QMenu>
#include <optional>

#include "desktop/Autostart.h"

namespace sumiro {

/// The pad's menu ("statusMenu"): "Sumiroを表示", "入力の許可を設定…", "使い方・ライセンス",
/// "ログイン時に起動" (with a login entry to switch) and "Sumiroを終了" (Ctrl+Q), each action named
/// by its title. It opens from the tray icon "字" (the status item) where the desktop has a tray,
/// and with a right click on a row of the panel everywhere.
class StatusMenu final : public QMenu {
    Q_OBJECT

public:
    explicit StatusMenu(std::optional<Autostart> autostart);

    /// Opens the menu on a right click into `row`.
    void openOn(QWidget* row);
    /// Puts the tray icon (a QSystemTrayIcon child of this menu) into the desktop's tray.
    void showStatusItem();

signals:
    void showPad();
    void allowInput();
    void help();
    void quit();
    /// The login entry could not be written: the reason, for the status line.
    void failed(const QString& message);

protected:
    /// Ctrl+Q while the menu is open quits, as its item says.
    void keyPressEvent(QKeyEvent* event) override;

private:
    /// Adds or removes the login entry as its item now says, then shows what is on disk.
    void toggleLoginItem();

    std::optional<Autostart> autostart_;
    QAction* loginItem_ = nullptr;
};

}  // namespace sumiro
