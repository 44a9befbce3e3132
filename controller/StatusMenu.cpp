#include "controller/StatusMenu.h"

#include <QKeyEvent>
#include <QPainter>
#include <QSystemTrayIcon>

namespace sumiro {

namespace {

QIcon characterIcon() {
    // Painted rather than shipped: one glyph, sharp at every tray size.
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x33, 0x33, 0x33));
        painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.18, size * 0.18);
        QFont font(QStringLiteral("Noto Sans CJK JP"));
        font.setPixelSize(static_cast<int>(size * 0.8));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("字"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

StatusMenu::StatusMenu(std::optional<Autostart> autostart) : autostart_(std::move(autostart)) {
    setObjectName(QStringLiteral("statusMenu"));
    addAction(tr("Sumiroを表示"), this, &StatusMenu::showPad);
    addAction(tr("入力の許可を設定…"), this, &StatusMenu::allowInput);
    addAction(tr("使い方・ライセンス"), this, &StatusMenu::help);
    if (autostart_) {
        loginItem_ = addAction(tr("ログイン時に起動"), this, &StatusMenu::toggleLoginItem);
        loginItem_->setCheckable(true);
        loginItem_->setChecked(autostart_->enabled());
        // The entry can change behind the pad's back (the desktop's settings, a file manager).
        connect(this, &QMenu::aboutToShow, this,
                [this] { loginItem_->setChecked(autostart_->enabled()); });
    }
    addSeparator();
    QAction* quitItem = addAction(tr("Sumiroを終了"), this, &StatusMenu::quit);
    quitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (QAction* item : actions()) {
        if (!item->isSeparator()) item->setObjectName(item->text());
    }
}

void StatusMenu::openOn(QWidget* row) {
    row->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(row, &QWidget::customContextMenuRequested, this,
            [this, row](const QPoint& at) { popup(row->mapToGlobal(at)); });
}

void StatusMenu::showStatusItem() {
    auto* statusItem = new QSystemTrayIcon(characterIcon(), this);
    statusItem->setToolTip(QStringLiteral("Sumiro"));
    statusItem->setContextMenu(this);
    // A left click opens the menu too, as the status item's menu does.
    connect(statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger) popup(QCursor::pos());
            });
    statusItem->show();
}

void StatusMenu::keyPressEvent(QKeyEvent* event) {
    // The item's shortcut alone never fires: the pad has no window that takes the keyboard and
    // holds the menu. The open menu has the keyboard, so it takes the key itself.
    if (event->key() == Qt::Key_Q &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier) {
        close();
        emit quit();
        return;
    }
    QMenu::keyPressEvent(event);
}

void StatusMenu::toggleLoginItem() {
    try {
        autostart_->setEnabled(loginItem_->isChecked());
    } catch (const std::exception& error) {
        emit failed(
            tr("ログイン時の起動を設定できません：%1").arg(QString::fromStdString(error.what())));
    }
    loginItem_->setChecked(autostart_->enabled());
}

}  // namespace sumiro
